// The page's worker: decodes the picture and runs the engine (engine.js,
// WebAssembly), so that the page never waits for either. It answers each
// message with one message carrying the same id; the page keeps at most one
// render in flight and drops answers it no longer wants.
/* global VeldarEngine */
'use strict';
importScripts('engine.js');

const ready = VeldarEngine();
// The page counts as loaded (and so works offline) once the engine is.
ready.then(
    () => self.postMessage({ type: 'ready' }),
    (error) => self.postMessage({ type: 'failed', error: String(error) }),
);
const picture = { pointer: 0, width: 0, height: 0 };
const kMaxFileBytes = 256 * 1024 * 1024; // as the desktop program reads

class Refusal extends Error {
    constructor(cause, code = 1) {
        super(cause);
        this.code = code;
    }
}
const kTooLarge = 2; // the engine's answer when a smaller fit would help

function bytesIn(engine, bytes) {
    const pointer = engine._malloc(Math.max(bytes.length, 1));
    if (!pointer) throw new Refusal('there is not enough memory to convert it');
    engine.HEAPU8.set(bytes, pointer);
    return pointer;
}

// The last call's result; throws its error.
function result(engine, failed) {
    const message = cString(engine, engine._veldar_message());
    if (failed) throw new Refusal(message, failed);
    const at = engine._veldar_result();
    const view = engine.HEAPU8.subarray(at, at + engine._veldar_result_size());
    return {
        bytes: view.slice(),
        width: engine._veldar_result_width(),
        height: engine._veldar_result_height(),
        info: [engine._veldar_result_info(0), engine._veldar_result_info(1)],
        note: message,
    };
}

function cString(engine, at) {
    const heap = engine.HEAPU8;
    let end = at;
    while (heap[end]) ++end;
    return new TextDecoder().decode(heap.subarray(at, end));
}

function usePicture(engine, rgba, width, height) {
    if (picture.pointer) engine._free(picture.pointer);
    picture.pointer = 0;
    picture.pointer = bytesIn(engine, rgba);
    picture.width = width;
    picture.height = height;
}

async function decode(file) {
    // The browser's own decoders, the picture turned as its file says, its
    // colours as stored (as the desktop program reads them).
    const options = {
        imageOrientation: 'from-image',
        premultiplyAlpha: 'none',
        colorSpaceConversion: 'none',
    };
    try {
        return await createImageBitmap(file, options);
    } catch {
        throw new Refusal('not a picture of a kind this browser reads, or a damaged one');
    }
}

// A GROB's dots in grays as the picture.
async function openGrob(engine, bytes, name) {
    const pointer = bytesIn(engine, bytes);
    const namePointer = bytesIn(engine, new TextEncoder().encode(name + '\0'));
    const failed = engine._veldar_read_grob(pointer, bytes.length, namePointer);
    engine._free(pointer);
    engine._free(namePointer);
    const shades = result(engine, failed);
    usePicture(engine, shades.bytes, shades.width, shades.height);
    const shown = new ImageData(new Uint8ClampedArray(shades.bytes.buffer), shades.width, shades.height);
    const bitmap = await createImageBitmap(shown);
    const { width, height } = shades;
    return { grob: true, series: shades.info[0], width, height, bitmap, transfer: [bitmap] };
}

// As the desktop program tells them: a binary GROB by its header, then a
// picture by the browser's decoders, and only then text holding a GROB.
async function open({ file, name }) {
    const engine = await ready;
    if (file.size === 0) throw new Refusal('the file is empty');
    if (file.size > kMaxFileBytes) throw new Refusal('the file is too large');
    const bytes = new Uint8Array(await file.arrayBuffer());
    const pointer = bytesIn(engine, bytes);
    const looks = engine._veldar_is_grob(pointer, bytes.length);
    engine._free(pointer);
    if (looks === 1) return openGrob(engine, bytes, name);
    let bitmap;
    try {
        bitmap = await decode(file);
    } catch (error) {
        if (looks === 2) return openGrob(engine, bytes, name);
        throw error;
    }
    return usePixels(engine, bitmap);
}

function usePixels(engine, bitmap) {
    const { width, height } = bitmap;
    if (engine._veldar_check_picture(width, height)) {
        bitmap.close();
        result(engine, true);
    }
    const canvas = new OffscreenCanvas(width, height);
    const context = canvas.getContext('2d', { willReadFrequently: true });
    context.drawImage(bitmap, 0, 0);
    usePicture(engine, context.getImageData(0, 0, width, height).data, width, height);
    canvas.width = canvas.height = 0;
    engine._veldar_compose(picture.pointer, width, height);
    return { grob: false, series: 0, width, height, bitmap, transfer: [bitmap] };
}

async function render({ settings }) {
    const engine = await ready;
    if (!picture.pointer) throw new Refusal('there is no picture');
    const s = settings;
    const failed = engine._veldar_encode(
        picture.pointer,
        picture.width,
        picture.height,
        s.kind,
        s.series,
        s.fitWidth,
        s.fitHeight,
        s.upscale ? 1 : 0,
        s.brightness,
        s.contrast,
        s.gamma,
        s.invert ? 1 : 0,
        s.dither,
        s.clearPadding ? 1 : 0,
    );
    const encoded = result(engine, failed);
    const grob = encoded.bytes;
    const pointer = bytesIn(engine, grob);
    try {
        const text = result(engine, engine._veldar_text(pointer, grob.length));
        const form = new TextDecoder('latin1').decode(text.bytes);
        const view = result(engine, engine._veldar_preview(pointer, grob.length, s.kind, s.zoom));
        return {
            grob,
            text: form,
            dots: encoded.info,
            preview: { pixels: view.bytes, width: view.width, height: view.height },
            zoom: view.info[0],
            note: view.note,
            transfer: [grob.buffer, view.bytes.buffer],
        };
    } finally {
        engine._free(pointer);
    }
}

const handlers = { open, render };
let queue = Promise.resolve();

// One message at a time, in the order they came.
self.onmessage = ({ data }) => {
    queue = queue.then(() => answer(data));
};

async function answer(data) {
    try {
        const answer = await handlers[data.type](data);
        const transfer = answer.transfer;
        delete answer.transfer;
        self.postMessage({ id: data.id, type: data.type, ...answer }, transfer);
    } catch (error) {
        const cause =
            error instanceof Refusal
                ? error.message
                : error instanceof RangeError
                  ? 'there is not enough memory to convert it'
                  : String(error && error.message ? error.message : error);
        const tooLarge = error instanceof Refusal && error.code === kTooLarge;
        self.postMessage({ id: data.id, type: data.type, error: cause, tooLarge });
    }
}
