// The page's engine worker: runs the engine (engine.js, WebAssembly) so that
// the page never waits for it. It answers each message with one message
// carrying the same id, one message at a time in the order they came. The
// picture it converts is set by 'picture' alone; the decoding is done by
// another worker (decoder.js), which the page can end.
/* global VeldarEngine */
'use strict';
importScripts('engine.js');

class Refusal extends Error {
    constructor(cause, code = 1) {
        super(cause);
        this.code = code;
    }
}
const kTooLarge = 2; // the engine's answer when a smaller fit would help
const kMaxFileBytes = 256 * 1024 * 1024; // as the desktop program reads

// Why the engine did not start, in words: most often a copy of the site
// without engine.wasm, or with a damaged one.
async function whyNoEngine() {
    let status = 0;
    try {
        status = (await fetch('engine.wasm', { method: 'HEAD', cache: 'no-store' })).status;
    } catch {
        // Offline, and not kept by the browser either: said below.
    }
    if (status === 404) return "its engine, engine.wasm, is missing from this site";
    if (status === 0) return 'its engine, engine.wasm, could not be fetched (the network is down)';
    return "its engine, engine.wasm, is damaged or this browser cannot run WebAssembly";
}

const ready = VeldarEngine().catch(async () => {
    throw new Refusal(await whyNoEngine());
});
// The page counts as loaded (and so works offline) once the engine is.
ready.then(
    () => self.postMessage({ type: 'ready' }),
    (error) => self.postMessage({ type: 'failed', error: error.message }),
);
// The picture converted, composed; and a JPEG's file, which the program
// decodes at a smaller scale for a fit (`held`: its bytes in the engine's
// memory, and their count).
const picture = { pointer: 0, width: 0, height: 0, held: 0, heldSize: 0 };

function bytesIn(engine, bytes) {
    const pointer = engine._malloc(Math.max(bytes.length, 1));
    if (!pointer) throw new Refusal('there is not enough memory to convert it');
    engine.HEAPU8.set(bytes, pointer);
    return pointer;
}

// Calls `work` with the bytes in the engine's memory, freed after.
function withBytes(engine, bytes, work) {
    const pointer = bytesIn(engine, bytes);
    try {
        return work(pointer);
    } finally {
        engine._free(pointer);
    }
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
        info: [0, 1, 2].map((i) => engine._veldar_result_info(i)),
        note: message,
    };
}

function cString(engine, at) {
    const heap = engine.HEAPU8;
    let end = at;
    while (heap[end]) ++end;
    return new TextDecoder().decode(heap.subarray(at, end));
}

// The images of a GIF: more than one is an animation. Walks the blocks as
// the format lays them out; stops at anything it does not know.
function gifImages(bytes) {
    let at = 13;
    if (bytes[10] & 0x80) at += 3 * (2 << (bytes[10] & 7));
    let images = 0;
    const skipBlocks = () => {
        while (at < bytes.length && bytes[at] !== 0) at += bytes[at] + 1;
        ++at;
    };
    while (at < bytes.length) {
        if (bytes[at] === 0x2c) {
            ++images;
            const flags = bytes[at + 9];
            at += 10;
            if (flags & 0x80) at += 3 * (2 << (flags & 7));
            ++at; // the code size
            skipBlocks();
        } else if (bytes[at] === 0x21) {
            at += 2;
            skipBlocks();
        } else {
            break;
        }
    }
    return images;
}

// A GROB's dots in grays, its series and its kind (by its name, as the
// program tells it, or `kind`, the table's index of one chosen); of a list,
// every GROB's (`items`), each read in the list's kind.
function readGrob(engine, bytes, name, kind = -1) {
    const read = (index) => {
        const failed = withBytes(engine, bytes, (pointer) =>
            withBytes(engine, new TextEncoder().encode(name + '\0'), (namePointer) =>
                engine._veldar_read_grob(pointer, bytes.length, namePointer, kind, index),
            ),
        );
        return result(engine, failed);
    };
    const shades = read(0);
    const items = [];
    for (let i = 1; i < shades.info[2]; ++i) {
        const { width, height, bytes: pixels } = read(i);
        items.push({ width, height, pixels: pixels.buffer });
    }
    const pixels = shades.bytes.buffer;
    const { width, height } = shades;
    if (items.length) items.unshift({ width, height, pixels: pixels.slice(0) });
    const transfer = [pixels, ...items.map((item) => item.pixels)];
    return { grob: true, series: shades.info[0], kind: shades.info[1], width, height, pixels, items, transfer };
}

// What a file holds, as the desktop program tells it: a binary GROB by its
// header (read here, whole), else a picture, its size checked from its
// header before any decoding; text holding a GROB is read only when no
// decoder takes it (the page asks again with 'grob').
async function inspect({ file, name, kind }) {
    const engine = await ready;
    if (file.size === 0) throw new Refusal('the file is empty');
    if (file.size > kMaxFileBytes) throw new Refusal('the file is too large');
    const bytes = new Uint8Array(await file.arrayBuffer());
    const looks = withBytes(engine, bytes, (pointer) => engine._veldar_is_grob(pointer, bytes.length));
    if (looks === 1) return readGrob(engine, bytes, name, kind);
    const peeked = withBytes(engine, bytes, (pointer) =>
        engine._veldar_peek_picture(pointer, bytes.length),
    );
    if (peeked === 1) result(engine, 1);
    const known = peeked === 0 ? result(engine, 0).info : null;
    return {
        grob: false,
        textGrob: looks === 2,
        size: known ? known.slice(0, 2) : null,
        jpeg: known?.[2] === 1,
        images: known?.[2] === 2 ? gifImages(bytes) : 1,
    };
}

async function grob({ file, name, kind }) {
    return readGrob(await ready, new Uint8Array(await file.arrayBuffer()), name, kind);
}

// Whether a picture has the many colours of a photograph: more than 1,024
// among up to 65,536 of its pixels spread over it.
function manyColours(pixels) {
    const count = pixels.length / 4;
    const step = Math.max(1, Math.floor(count / 65536));
    const seen = new Set();
    for (let i = 0; i < count && seen.size <= 1024; i += step)
        seen.add(pixels[4 * i] | (pixels[4 * i + 1] << 8) | (pixels[4 * i + 2] << 16));
    return seen.size > 1024;
}

// The picture to convert from now on: RGBA with straight alpha, composed
// over white here (a GROB's grays are opaque already), or `composed` by
// the program's decoders; a JPEG's `file` kept to be decoded again at each
// fit. Without pixels (too large to decode) it is refused in the program's
// words.
async function usePicture({ pixels, width, height, composed, file }) {
    const engine = await ready;
    if (engine._veldar_check_picture(width, height) || !pixels) result(engine, 1);
    const rgba = new Uint8Array(pixels);
    const pointer = bytesIn(engine, rgba);
    const held = file ? bytesIn(engine, new Uint8Array(await file.arrayBuffer())) : 0;
    if (picture.pointer) engine._free(picture.pointer);
    if (picture.held) engine._free(picture.held);
    Object.assign(picture, { pointer, width, height, held, heldSize: file ? file.size : 0 });
    if (!composed) engine._veldar_compose(pointer, width, height);
    return { photo: manyColours(engine.HEAPU8.subarray(pointer, pointer + rgba.length)) };
}

// Whether the settings fit the picture as it is decoded: a fit and no crop
// (as the program's conversion decodes it, pipeline's LoadingOptions).
function fitsWhenDecoding(settings) {
    return !/^fit=none$/m.test(settings) && /^crop=none$/m.test(settings);
}

// A JPEG's file decoded by the program's decoder for these settings: the
// picture fitted (at a smaller scale first), as the program converts it.
function decodedFor(engine, bytes, size, settings) {
    return result(
        engine,
        withSettings(engine, settings, (text) => engine._veldar_decode(bytes, size, text, 0)),
    );
}

// The options as the engine takes them: "name=value" lines, in its memory,
// ended by a zero byte.
function withSettings(engine, settings, work) {
    return withBytes(engine, new TextEncoder().encode(`${settings}\0`), work);
}

// The GROB file of composed pixels at `pointer` with the page's settings.
function encode(engine, pointer, width, height, settings) {
    return result(
        engine,
        withSettings(engine, settings, (text) => engine._veldar_encode(pointer, width, height, text)),
    );
}

// The text form of a binary GROB file, with its %%HP: line or `bare`.
function textOf(engine, grob, bare) {
    return withBytes(engine, grob, (pointer) => result(engine, engine._veldar_text(pointer, grob.length, bare ? 1 : 0)).bytes);
}

// One of several pictures (or a list's GROBs) converted on its own, in the
// binary form or `form` 'text' or 'bare': the picture shown stays.
async function convert({ pixels, width, height, composed, file, settings, form }) {
    const engine = await ready;
    if (engine._veldar_check_picture(width, height) || !pixels) result(engine, 1);
    let rgba = new Uint8Array(pixels);
    if (file && fitsWhenDecoding(settings.text)) {
        const bytes = new Uint8Array(await file.arrayBuffer());
        const fitted = withBytes(engine, bytes, (at) => decodedFor(engine, at, bytes.length, settings.text));
        ({ width, height } = fitted);
        rgba = fitted.bytes;
    }
    const grob = withBytes(engine, rgba, (pointer) => {
        if (!composed) engine._veldar_compose(pointer, width, height);
        return encode(engine, pointer, width, height, settings.text).bytes;
    });
    const made = form ? textOf(engine, grob, form === 'bare') : grob;
    return { grob: made, transfer: [made.buffer] };
}

async function render({ settings }) {
    const engine = await ready;
    if (!picture.pointer) throw new Refusal('there is no picture');
    let encoded;
    if (picture.held && fitsWhenDecoding(settings.text)) {
        const fitted = decodedFor(engine, picture.held, picture.heldSize, settings.text);
        encoded = withBytes(engine, fitted.bytes, (at) => encode(engine, at, fitted.width, fitted.height, settings.text));
    } else {
        encoded = encode(engine, picture.pointer, picture.width, picture.height, settings.text);
    }
    const grob = encoded.bytes;
    // The text forms: the file --text writes, and the bare object, as the
    // calculator's command line takes it pasted.
    const textFile = textOf(engine, grob, false);
    const bare = textOf(engine, grob, true);
    return withBytes(engine, grob, (pointer) => {
        const form = new TextDecoder('latin1').decode(bare);
        const view = result(
            engine,
            withSettings(engine, settings.text, (text) => engine._veldar_preview(pointer, grob.length, text)),
        );
        return {
            grob,
            text: form,
            textFile,
            bare,
            dots: encoded.info.slice(0, 2),
            preview: { pixels: view.bytes, width: view.width, height: view.height },
            zoom: view.info[0],
            note: view.note,
            transfer: [grob.buffer, view.bytes.buffer, textFile.buffer, bare.buffer],
        };
    });
}

// The list of the sprite tools: `count` pictures of straight-alpha pixels
// or `composed` ones (frames), cut and masked as the settings ask.
// With `files`, one file a GROB, numbered as the program numbers them.
async function sprites({ pixels, width, height, count, composed, settings, files }) {
    const engine = await ready;
    if (engine._veldar_check_picture(width, height)) result(engine, 1);
    let rgba = new Uint8Array(pixels);
    // A JPEG fitted as it is decoded, as the program decodes it when it is
    // neither cut into tiles nor masked (a mask needs the whole opacity).
    const whole = /^tile=none$/m.test(settings.text) && /^mask=false$/m.test(settings.text);
    if (picture.held && whole && fitsWhenDecoding(settings.text)) {
        const fitted = decodedFor(engine, picture.held, picture.heldSize, settings.text);
        ({ width, height } = fitted);
        rgba = fitted.bytes;
    }
    const make = files ? engine._veldar_sprite_files : engine._veldar_sprites;
    const failed = withBytes(engine, rgba, (pointer) =>
        withSettings(engine, settings.text, (text) => make(pointer, width, height, count, composed ? 1 : 0, text)),
    );
    const made = result(engine, failed);
    const parts = [];
    for (let i = 0, at = 0; files && i < made.info[0]; ++i) {
        const [number, mask, size] = [0, 1, 2].map((k) => engine._veldar_result_number(3 * i + k));
        parts.push({ number, mask: mask === 1, bytes: made.bytes.slice(at, (at += size)) });
    }
    const counted = made.info[1];
    return { list: made.bytes, grobs: made.info[0], counted, files: parts, note: made.note, transfer: [made.bytes.buffer] };
}

// The calculator's view of each of `count` frames with the settings, to be
// played at the animation's delays.
async function views({ pixels, width, height, count, composed, settings }) {
    const engine = await ready;
    const all = new Uint8Array(pixels);
    const frameBytes = width * height * 4;
    const made = [];
    for (let i = 0; i < count; ++i) {
        const view = withBytes(engine, all.subarray(i * frameBytes, (i + 1) * frameBytes), (pointer) => {
            if (!composed) engine._veldar_compose(pointer, width, height);
            const grob = encode(engine, pointer, width, height, settings.text).bytes;
            return withBytes(engine, grob, (at) =>
                result(engine, withSettings(engine, settings.text, (text) => engine._veldar_preview(at, grob.length, text))),
            );
        });
        made.push({ width: view.width, height: view.height, pixels: view.bytes.buffer });
    }
    return { views: made, transfer: made.map((view) => view.pixels) };
}

// The grayscale viewer as --viewer writes it: a GROB of the table's `kind`
// with the viewer in one program (photo.prg), or without a GROB the viewer
// alone for the series (GV).
async function viewer({ grob, kind, series }) {
    const engine = await ready;
    const failed = grob
        ? withBytes(engine, grob, (pointer) => engine._veldar_viewer_program(pointer, grob.length, kind))
        : engine._veldar_viewer_file(series);
    const made = result(engine, failed).bytes;
    return { bytes: made, transfer: [made.buffer] };
}

const handlers = { inspect, grob, picture: usePicture, render, convert, sprites, views, viewer };
let queue = Promise.resolve();

self.onmessage = ({ data }) => {
    queue = queue.then(() => answer(data));
};

async function answer(data) {
    try {
        const answer = await handlers[data.type](data);
        const transfer = answer.transfer || [];
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
