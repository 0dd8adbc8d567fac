// Decodes one picture away from the page and from the engine's worker: a
// long decoding is cancelled by ending this worker (the page starts
// another), and the engine keeps the picture it has meanwhile. PNG, JPEG,
// GIF and BMP/DIB are decoded by the program's own decoders (the engine's
// veldar_decode, on the libraries the program decodes with), which give the
// program's pixels and refuse what it refuses, in its words; only the kinds
// the program hands to its renderer (WebP, TIFF, SVG, ...) by the browser.
//   in:  { file, maxSide, maxPixels, frames }
//   out: { loaded: true } once, when it is ready; then { width, height,
//        pixels, bitmap, frames, delays, composed }, or { width, height, tooLarge:
//        true }, or { error }
// The program's pixels come `composed`: over white, the fourth byte how
// opaque the picture was there (the browser's have straight alpha). With
// `frames` (an animated GIF), `frames` is every frame's pixels one after
// another, each the whole picture as shown at that moment, when they can be
// had (the browser's: with WebCodecs' ImageDecoder) and their pixels
// together stay within maxPixels; else it is left out; `delays`, each
// frame's time in milliseconds, where the program's decoder gives them.
/* global VeldarEngine */
'use strict';
importScripts('engine.js');

const ready = VeldarEngine();
ready.then(
    () => self.postMessage({ loaded: true }),
    () => self.postMessage({ loaded: true }),
);

// The picture as the program decodes it; null for a kind it does not decode.
function programDecoded(engine, bytes, frames) {
    const pointer = engine._malloc(Math.max(bytes.length, 1) + 1);
    if (!pointer) return { error: 'there is not enough memory to convert it' };
    engine.HEAPU8.set(bytes, pointer);
    engine.HEAPU8[pointer + bytes.length] = 0; // no settings: the picture whole and upright
    const code = engine._veldar_decode(pointer, bytes.length, pointer + bytes.length, frames ? 1 : 0);
    engine._free(pointer);
    if (code === 3) return null;
    const heap = engine.HEAPU8;
    let end = engine._veldar_message();
    const at = end;
    while (heap[end]) ++end;
    if (code) return { error: new TextDecoder().decode(heap.subarray(at, end)) };
    const width = engine._veldar_result_width();
    const height = engine._veldar_result_height();
    const count = engine._veldar_result_info(0);
    const start = engine._veldar_result();
    const all = heap.slice(start, start + engine._veldar_result_size());
    const pixels = all.slice(0, width * height * 4).buffer;
    const delays = Array.from({ length: count }, (_, i) => engine._veldar_result_number(i));
    return { width, height, pixels, frames: count > 1 ? all.buffer : undefined, delays, composed: true };
}

// What the page shows of composed pixels: their colours, opaque.
function shown({ width, height, pixels }) {
    const opaque = new Uint8ClampedArray(pixels.slice(0));
    for (let i = 3; i < opaque.length; i += 4) opaque[i] = 255;
    return createImageBitmap(new ImageData(opaque, width, height));
}

// Every frame of an animation, drawn one after another into one buffer.
async function allFrames(file, width, height, maxPixels) {
    if (typeof ImageDecoder === 'undefined') return null;
    const decoder = new ImageDecoder({ data: await file.arrayBuffer(), type: 'image/gif' });
    try {
        await decoder.tracks.ready;
        const count = decoder.tracks.selectedTrack.frameCount;
        if (count < 2 || count * width * height > maxPixels) return null;
        const canvas = new OffscreenCanvas(width, height);
        const context = canvas.getContext('2d', { willReadFrequently: true });
        const all = new Uint8ClampedArray(count * width * height * 4);
        for (let i = 0; i < count; ++i) {
            const { image } = await decoder.decode({ frameIndex: i });
            context.clearRect(0, 0, width, height);
            context.drawImage(image, 0, 0);
            image.close();
            all.set(context.getImageData(0, 0, width, height).data, i * width * height * 4);
        }
        return all.buffer;
    } catch {
        return null;
    } finally {
        decoder.close();
    }
}

// The browser's decoding, for the kinds the program does not decode itself.
async function browserDecoded(file, maxSide, maxPixels, frames) {
    let bitmap;
    try {
        // Turned as its file says, its colours and alpha as stored (as the
        // desktop program reads them).
        bitmap = await createImageBitmap(file, {
            imageOrientation: 'from-image',
            premultiplyAlpha: 'none',
            colorSpaceConversion: 'none',
        });
    } catch {
        return { error: 'not a picture of a kind this browser reads, or a damaged one' };
    }
    const { width, height } = bitmap;
    if (width > maxSide || height > maxSide || width * height > maxPixels) {
        bitmap.close();
        return { width, height, tooLarge: true };
    }
    const canvas = new OffscreenCanvas(width, height);
    const context = canvas.getContext('2d', { willReadFrequently: true });
    context.drawImage(bitmap, 0, 0);
    const pixels = context.getImageData(0, 0, width, height).data.buffer;
    canvas.width = canvas.height = 0;
    const all = frames ? await allFrames(file, width, height, maxPixels) : null;
    return { width, height, pixels, bitmap, frames: all ?? undefined };
}

self.onmessage = async ({ data: { file, maxSide, maxPixels, frames } }) => {
    let engine = null;
    try {
        engine = await ready;
    } catch {
        // No engine: the engine's worker says why the page cannot start.
    }
    const bytes = engine ? new Uint8Array(await file.arrayBuffer()) : null;
    let answer = engine ? programDecoded(engine, bytes, frames) : null;
    // Frames too many to hold at once: the first, as the program converts it.
    if (frames && answer?.error) answer = programDecoded(engine, bytes, false);
    if (answer && !answer.error) answer.bitmap = await shown(answer);
    answer ??= await browserDecoded(file, maxSide, maxPixels, frames);
    const transfer = [answer.pixels, answer.bitmap, answer.frames].filter(Boolean);
    self.postMessage(answer, transfer);
};
