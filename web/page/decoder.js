// Decodes one picture with the browser's own decoders, away from the page
// and from the engine's worker: a long decoding is cancelled by ending this
// worker, and the engine keeps the picture it has meanwhile.
//   in:  { file, maxSide, maxPixels }
//   out: { loaded: true } once, as it starts; then { width, height, pixels
//        (RGBA, straight alpha), bitmap }, or { width, height, tooLarge:
//        true }, or { error }
'use strict';

self.postMessage({ loaded: true });

self.onmessage = async ({ data: { file, maxSide, maxPixels } }) => {
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
    self.postMessage({ width, height, pixels, bitmap }, [pixels, bitmap]);
};
