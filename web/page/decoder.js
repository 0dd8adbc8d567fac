// Decodes one picture with the browser's own decoders, away from the page
// and from the engine's worker: a long decoding is cancelled by ending this
// worker, and the engine keeps the picture it has meanwhile.
//   in:  { file, maxSide, maxPixels, frames }
//   out: { loaded: true } once, as it starts; then { width, height, pixels
//        (RGBA, straight alpha), bitmap, frames }, or { width, height,
//        tooLarge: true }, or { error }
// With `frames` (an animated GIF), `frames` is every frame's pixels one
// after another, each the whole picture as the browser shows it at that
// moment, when the browser can give them (WebCodecs' ImageDecoder), and
// their pixels together stay within maxPixels; else it is left out.
'use strict';

self.postMessage({ loaded: true });

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

self.onmessage = async ({ data: { file, maxSide, maxPixels, frames } }) => {
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
        self.postMessage({ error: 'not a picture of a kind this browser reads, or a damaged one' });
        return;
    }
    const { width, height } = bitmap;
    if (width > maxSide || height > maxSide || width * height > maxPixels) {
        bitmap.close();
        self.postMessage({ width, height, tooLarge: true });
        return;
    }
    const canvas = new OffscreenCanvas(width, height);
    const context = canvas.getContext('2d', { willReadFrequently: true });
    context.drawImage(bitmap, 0, 0);
    const pixels = context.getImageData(0, 0, width, height).data.buffer;
    canvas.width = canvas.height = 0;
    const all = frames ? await allFrames(file, width, height, maxPixels) : null;
    const transfer = all ? [pixels, bitmap, all] : [pixels, bitmap];
    self.postMessage({ width, height, pixels, bitmap, frames: all ?? undefined }, transfer);
};
