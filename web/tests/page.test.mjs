// The page in headless Chromium against the desktop program built from the
// same checkout (build/bin/veldar-convert, or $VELDAR_CONVERT): the same
// bytes for every kind, series and preparation, and for every kind of
// picture the program decodes itself (the page decodes them with the
// program's decoders); the same dots of a GROB read back, the same causes
// for damaged files, and no request beyond the page's own files.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import { mkdtempSync, readFileSync, renameSync, writeFileSync, statSync, readdirSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { basename, join } from 'node:path';
import { root, site, serve, launch, openPage, openFile, settled, download } from './browser.mjs';

const program = process.env.VELDAR_CONVERT || join(root, 'build/bin/veldar-convert');
const work = mkdtempSync(join(tmpdir(), 'veldar-web-'));
const kinds = ['gro', 'gro2', 'gro4', 'g04', 'g08', 'g16', 'g32'];

function desktop(...args) {
    const run = spawnSync(program, args, { env: { ...process.env, windir: work }, encoding: 'latin1' });
    return { status: run.status, stderr: run.stderr };
}

// Two pictures whose pixels every decoder agrees on: an 8-bit RGB PNG with
// no gamma or colour profile, and a 24-bit BMP of an odd size; both hold
// every hue and gray level, so that each kind's bands and each dithering
// show. Debian's Python with Debian's Pillow writes them.
function makePictures() {
    execFileSync('/usr/bin/python3', [
        '-c',
        `
from PIL import Image
def picture(w, h):
    im = Image.new('RGB', (w, h))
    im.putdata([(x * 255 // (w - 1), y * 255 // (h - 1), (x * y) % 256) if y < h * 2 // 3
                else ((x * 255 // (w - 1),) * 3) for y in range(h) for x in range(w)])
    return im
picture(160, 100).save('${work}/photo.png')
picture(97, 61).save('${work}/chart.bmp')
# Clear on the left, opaque on the right: clear counts as white.
clear = picture(48, 32).convert('RGBA')
clear.putdata([(0, 0, 0, 0) if i % 48 < 24 else p for i, p in enumerate(clear.getdata())])
clear.save('${work}/clear.png')
`,
    ]);
}

// Photo-like JPEGs (smooth shapes, blurred): one shown at natural size, one
// stored on its side (Exif orientation 6: 159 x 240 upright), one large
// enough that the program decodes it at 1/4 for a 131 x 64 fit, one
// progressive; a PNG of 16 bits a channel (Pillow writes none: written
// here), one partly transparent; an interlaced GIF (Pillow interlaces one
// of 16 rows or more) and an animated one whose frames clear their place.
function makePhotos() {
    execFileSync('/usr/bin/python3', [
        '-c',
        `
import random, struct, zlib
from PIL import Image, ImageDraw, ImageFilter
def scene(w, h):
    im = Image.new('RGB', (w, h))
    d = ImageDraw.Draw(im)
    for y in range(h):
        d.line([(0, y), (w, y)], fill=(40 + 200 * y // h, 90 + 120 * y // h, 220 - 150 * y // h))
    d.ellipse([w // 8, h // 6, w // 2, h * 5 // 6], fill=(230, 180, 60))
    d.polygon([(w // 2, h), (w * 3 // 4, h // 3), (w, h)], fill=(30, 90, 40))
    return im.filter(ImageFilter.GaussianBlur(3))
scene(240, 159).save('${work}/photo.jpg', quality=90)
exif = Image.Exif()
exif[0x0112] = 6
scene(240, 159).save('${work}/turned.jpg', quality=90, exif=exif.tobytes())
scene(640, 480).save('${work}/large.jpg', quality=90)
scene(320, 240).save('${work}/progressive.jpg', quality=85, progressive=True)
scene(60, 40).quantize(64).save('${work}/interlaced.gif')
moving = [scene(48 + 8 * i, 32).crop((8 * i, 0, 48 + 8 * i, 32)).quantize(32) for i in range(3)]
moving[0].save('${work}/animated.gif', save_all=True, append_images=moving[1:], duration=[100, 200, 300], disposal=2)
alpha = Image.new('RGBA', (40, 30))
alpha.putdata([(x * 6, y * 8, 255 - x * 6, x * 255 // 39) for y in range(30) for x in range(40)])
alpha.save('${work}/alpha.png')
draw = random.Random(7)
w, h = 48, 32
samples = [[tuple(draw.randrange(65536) for _ in range(3)) for x in range(w)] for y in range(h)]
raw = b''.join(b'\\0' + b''.join(struct.pack('>HHH', *p) for p in row) for row in samples)
chunk = lambda t, d: struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d))
ihdr = struct.pack('>IIBBBBB', w, h, 16, 2, 0, 0, 0)
with open('${work}/deep.png', 'wb') as f:
    f.write(b'\\x89PNG\\r\\n\\x1a\\n' + chunk(b'IHDR', ihdr) + chunk(b'IDAT', zlib.compress(raw)) + chunk(b'IEND', b''))
`,
    ]);
}

const variants = [
    { name: 'plain', args: [], set: {} },
    {
        name: '131x64, Floyd-Steinberg, padding cleared',
        args: ['--fit', '131x64', '--dither', 'floyd-steinberg', '--clear-padding'],
        set: { fit: '131x64', dither: 'floyd-steinberg', 'clear-padding': true },
    },
    {
        name: '40x30, ordered, toned, inverted',
        args: ['--fit', '40x30', '--dither', 'ordered', '--brightness', '10', '--contrast', '-20', '--gamma', '1.5', '--invert'],
        set: { fit: 'any', 'fit-width': 40, 'fit-height': 30, dither: 'ordered', brightness: 10, contrast: -20, gamma: 1.5, invert: true },
    },
    {
        name: '320x250 enlarged, Atkinson',
        args: ['--fit', '320x250', '--upscale', '--dither', 'atkinson'],
        set: { fit: 'any', 'fit-width': 320, 'fit-height': 250, upscale: true, dither: 'atkinson' },
    },
];

// Sets the page's controls as a visitor would.
async function choose(page, set) {
    await page.click('#reset');
    for (const [key, value] of Object.entries(set)) {
        if (typeof value === 'boolean') await page.setChecked(`#${key}`, value);
        else if (typeof value === 'number') await page.fill(`#${key}`, String(value));
        else await page.selectOption(`#${key}`, value);
    }
}

let server, browser, seen = [];

before(async () => {
    makePictures();
    makePhotos();
    server = await serve();
    browser = await launch();
});

after(async () => {
    await browser?.close();
    await server?.close();
});

test('the page writes the bytes and the text of the desktop program', async () => {
    const { page, errors } = await openPage(browser, server.url, seen);
    let compared = 0;
    for (const [v, variant] of variants.entries()) {
        for (const kind of kinds) {
            for (const series of ['48', '49']) {
                const out = join(work, `v${v}-${kind}-${series}`);
                const common = ['--kind', kind, '--series', series, ...variant.args, '--quiet'];
                const pictures = [join(work, 'photo.png'), join(work, 'chart.bmp')];
                assert.equal(desktop(...common, '--output-dir', out, ...pictures).status, 0);
                assert.equal(desktop(...common, '--text', '--output-dir', `${out}-text`, ...pictures).status, 0);
            }
        }
    }
    for (const picture of ['photo.png', 'chart.bmp']) {
        await openFile(page, join(work, picture));
        for (const [v, variant] of variants.entries()) {
            await choose(page, variant.set);
            for (const kind of kinds) {
                for (const series of ['48', '49']) {
                    await page.selectOption('#kind', kind);
                    await page.selectOption('#series', series);
                    await settled(page);
                    const what = `${picture} ${kind} HP ${series} ${variant.name}`;
                    const got = await download(page, '#download');
                    const name = picture.replace(/\.[^.]*$/, `.${kind}`);
                    assert.equal(got.name, name, what);
                    const wanted = readFileSync(join(work, `v${v}-${kind}-${series}`, name));
                    assert.ok(got.bytes.equals(wanted), `${what}: the GROB differs`);
                    await page.click('#copy');
                    await page.waitForSelector('#action-status:has-text("as text")');
                    const text = await page.evaluate(() => navigator.clipboard.readText());
                    // The object alone: the text form without its first line.
                    const wantedText = readFileSync(join(work, `v${v}-${kind}-${series}-text`, name), 'latin1');
                    assert.ok(wantedText.startsWith('%%HP: T(3)A(R)F(.);\r\nGROB '));
                    assert.equal(text, wantedText.slice(wantedText.indexOf('\n') + 1), `${what}: the text differs`);
                    await page.evaluate(() => (document.getElementById('action-status').textContent = ''));
                    ++compared;
                }
            }
        }
    }
    assert.equal(compared, 2 * variants.length * kinds.length * 2);
    assert.deepEqual(errors, []);
});

// The GROB the program makes of `picture` with `args`, and the one the page
// makes of `shown` with the same settings.
async function both(page, picture, shown, { args, set }) {
    const out = join(work, `both-${basename(picture)}-${args.join('')}`);
    assert.equal(desktop('--kind', 'g16', '--series', '48', ...args, '--output-dir', out, join(work, picture)).status, 0);
    await openFile(page, join(work, shown));
    assert.equal(await page.textContent('#file-error'), '');
    await choose(page, { kind: 'g16', series: '48', ...set });
    await settled(page);
    const program = readFileSync(join(out, picture.replace(/\.[^.]*$/, '.g16')));
    return { program, page: (await download(page, '#download')).bytes };
}

test("every kind of picture the program decodes itself: the program's bytes", async () => {
    const { page, errors } = await openPage(browser, server.url, seen);
    const plain = { args: [], set: {} };
    const fitted = { args: ['--fit', '131x64', '--dither', 'floyd-steinberg'], set: { fit: '131x64', dither: 'floyd-steinberg' } };
    const small = { args: ['--fit', '40x30', '--dither', 'atkinson'], set: { fit: 'any', 'fit-width': 40, 'fit-height': 30, dither: 'atkinson' } };
    // The fit modes, the background and the newer dithering, from the options table alike.
    const filled = { args: ['--fit', '131x64', '--fit-mode', 'fill', '--anchor', 'top', '--dither', 'search'], set: { fit: '131x64', 'fit-mode': 'fill', anchor: 'top', dither: 'search' } };
    const padded = { args: ['--fit', '40x30', '--fit-mode', 'pad', '--background', '0', '--dither', 'blue-noise', '--linear'], set: { fit: 'any', 'fit-width': 40, 'fit-height': 30, 'fit-mode': 'pad', background: 0, dither: 'blue-noise', linear: true } };
    // Under a fit the program decodes a JPEG at 1/2 to 1/8 of its size first;
    // a 16-bit PNG's samples are rounded to 8 bits; partly clear pixels are
    // composed over white; a JPEG stored on its side is turned upright.
    const table = [
        ['photo.jpg', plain], ['large.jpg', fitted], ['progressive.jpg', plain], ['progressive.jpg', fitted],
        ['turned.jpg', small], ['deep.png', plain], ['alpha.png', plain], ['alpha.png', small],
        ['interlaced.gif', plain], ['interlaced.gif', small], ['animated.gif', plain], ['chart.bmp', small],
        ['turned.jpg', filled], ['alpha.png', padded],
    ];
    for (const [picture, settings] of table) {
        const made = await both(page, picture, picture, settings);
        assert.ok(made.page.equals(made.program), `${picture} ${settings.args.join(' ')}: the GROB differs`);
    }
    // Its list too, which the program decodes fitted as well (no tiles, no masks).
    const listed = join(work, 'listed');
    assert.equal(desktop('--kind', 'g16', '--series', '48', ...fitted.args, '--list', '--output-dir', listed, join(work, 'large.jpg')).status, 0);
    await both(page, 'large.jpg', 'large.jpg', fitted);
    assert.ok((await download(page, '#download-list')).bytes.equals(readFileSync(join(listed, 'large.g16.lst'))), 'large.jpg: the list differs');
    assert.deepEqual(errors, []);
});

test("several pictures at once: one archive of the program's GROBs, and the causes of the rest", async () => {
    const { page, errors } = await openPage(browser, server.url, seen);
    const bad = join(work, 'bad.png');
    writeFileSync(bad, Buffer.concat([readFileSync(join(work, 'photo.png')).subarray(0, 60), Buffer.alloc(200, 7)]));
    const good = ['photo.png', 'chart.bmp', 'clear.png'].map((name) => join(work, name));
    await page.setInputFiles('#file', [...good, bad]);
    await settled(page);
    assert.equal(await page.textContent('#several-text'), '4 pictures: photo.png is shown, and every one is converted with its settings into one archive.');
    await choose(page, { kind: 'g16', fit: '131x64', dither: 'floyd-steinberg' });
    await settled(page);
    const archive = await download(page, '#download-all');
    assert.equal(archive.name, 'photo.g16.zip');
    const unpacked = join(work, 'unpacked');
    writeFileSync(join(work, 'all.zip'), archive.bytes);
    // Python's reader checks every entry's CRC.
    execFileSync('/usr/bin/python3', ['-c', 'import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); assert z.testzip() is None; z.extractall(sys.argv[2])', join(work, 'all.zip'), unpacked]);
    const out = join(work, 'several');
    assert.equal(desktop('--kind', 'g16', '--fit', '131x64', '--dither', 'floyd-steinberg', '--output-dir', out, ...good).status, 0);
    assert.deepEqual(readdirSync(unpacked).sort(), ['chart.g16', 'clear.g16', 'photo.g16']);
    for (const name of readdirSync(unpacked)) assert.ok(readFileSync(join(unpacked, name)).equals(readFileSync(join(out, name))), name);
    assert.match(await page.textContent('#action-status'), /^photo\.g16\.zip saved to your downloads, 3 GROBs; not converted: bad\.png: .+\.$/);
    assert.deepEqual(errors, []);
});

test("with the grayscale viewer: the program of --viewer for one picture and several, and the viewer alone", async () => {
    const { page, errors } = await openPage(browser, server.url, seen);
    const photo = join(work, 'photo.png');
    const chart = join(work, 'chart.bmp');
    await openFile(page, photo);
    // Where it has no effect it is not offered: the 1-bit kind has no shades.
    await choose(page, { kind: 'gro', series: '48' });
    assert.ok(await page.isHidden('#row-viewer'));
    assert.ok(await page.isHidden('#download-viewer'));
    const table = (await import(join(site, 'options.js'))).default;
    assert.equal(await page.textContent('#viewer-help'), table.options.find((o) => o.name === 'viewer').web);
    const settings = { fit: '131x64', dither: 'floyd-steinberg' };
    const args = ['--fit', '131x64', '--dither', 'floyd-steinberg'];
    for (const [kind, series] of [['g16', '48'], ['gro2', '49']]) {
        const out = join(work, `viewer-${kind}`);
        assert.equal(desktop('--kind', kind, '--series', series, ...args, '--viewer', '--output-dir', out, photo, chart).status, 0);
        await choose(page, { kind, series, ...settings, viewer: true });
        await settled(page);
        assert.equal(await page.textContent('#download'), 'Download photo.prg');
        const got = await download(page, '#download');
        assert.equal(got.name, 'photo.prg');
        assert.ok(got.bytes.equals(readFileSync(join(out, 'photo.prg'))), `${kind}: the program differs`);
        // The preview shows the GROB still, and its text is the GROB's.
        assert.match(await page.textContent('#preview-info'), kind === 'g16' ? /^102 x 64 on screen, 4 frames, GROB 102 x 256,/ : /^102 x 64 on screen, 2 columns a dot,/);
        // Several pictures: one archive of programs.
        await page.setInputFiles('#file', [photo, chart]);
        await settled(page);
        const archive = await download(page, '#download-all');
        assert.equal(archive.name, 'photo.prg.zip');
        const unpacked = join(work, `viewer-${kind}-unpacked`);
        writeFileSync(join(work, `viewer-${kind}.zip`), archive.bytes);
        execFileSync('/usr/bin/python3', ['-c', 'import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); assert z.testzip() is None; z.extractall(sys.argv[2])', join(work, `viewer-${kind}.zip`), unpacked]);
        assert.deepEqual(readdirSync(unpacked).sort(), ['chart.prg', 'photo.prg']);
        for (const name of readdirSync(unpacked)) assert.ok(readFileSync(join(unpacked, name)).equals(readFileSync(join(out, name))), `${kind} ${name}`);
        assert.match(await page.textContent('#action-status'), /^photo\.prg\.zip saved to your downloads, 2 programs\.$/);
        // The viewer alone for the series chosen, as --viewer without pictures writes it.
        const alone = join(work, `GV${series}`);
        assert.equal(desktop('--viewer', '--series', series, '-o', alone).status, 0);
        assert.ok(await page.isVisible('#download-viewer'));
        const viewer = await download(page, '#download-viewer');
        assert.equal(viewer.name, 'GV');
        assert.ok(viewer.bytes.equals(readFileSync(alone)), `HP ${series}: the viewer differs`);
        await openFile(page, photo);
    }
    // Not with the text form (the sprite tools' check box), nor without it: the GROB again.
    await page.setChecked('#text', true);
    assert.ok(await page.isHidden('#row-viewer'));
    assert.equal(await page.textContent('#download'), 'Download photo.gro2');
    await page.setChecked('#text', false);
    await page.setChecked('#viewer', false);
    await settled(page);
    const plain = await download(page, '#download');
    assert.equal(plain.name, 'photo.gro2');
    assert.equal(desktop('--kind', 'gro2', '--series', '49', ...args, '--output-dir', join(work, 'viewer-off'), photo).status, 0);
    assert.ok(plain.bytes.equals(readFileSync(join(work, 'viewer-off', 'photo.gro2'))), 'the GROB differs');
    assert.deepEqual(errors, []);
});

test('transparent parts count as white, as in the program', async () => {
    const { page, errors } = await openPage(browser, server.url, seen);
    await openFile(page, join(work, 'clear.png'));
    await page.selectOption('#kind', 'gro4');
    await settled(page);
    assert.equal(desktop('--kind', 'gro4', '--series', '49', '--output-dir', join(work, 'clear'), join(work, 'clear.png')).status, 0);
    assert.ok((await download(page, '#download')).bytes.equals(readFileSync(join(work, 'clear', 'clear.gro4'))));
    assert.deepEqual(errors, []);
});

// The pixels of a PNG as the browser decodes it.
async function pixelsOf(page, png) {
    return page.evaluate(async (base64) => {
        const bytes = Uint8Array.from(atob(base64), (c) => c.charCodeAt(0));
        const bitmap = await createImageBitmap(new Blob([bytes]));
        const canvas = new OffscreenCanvas(bitmap.width, bitmap.height);
        const context = canvas.getContext('2d');
        context.drawImage(bitmap, 0, 0);
        return [bitmap.width, bitmap.height, Array.from(context.getImageData(0, 0, bitmap.width, bitmap.height).data)];
    }, png.toString('base64'));
}

test('a GROB opened in either form shows the dots of --to png', async () => {
    const { page, errors } = await openPage(browser, server.url, seen);
    const grobs = join(work, 'grobs');
    const photo = join(work, 'photo.png');
    assert.equal(desktop('--kind', 'g16', '--series', '48', '--fit', '131x64', '--output-dir', grobs, photo).status, 0);
    assert.equal(desktop('--kind', 'gro4', '--text', '--output-dir', grobs, photo).status, 0);
    // An upper-case extension tells the kind as well.
    renameSync(join(grobs, 'photo.g16'), join(grobs, 'PHOTO.G16'));
    for (const [name, series, kind] of [['PHOTO.G16', '48', 'g16'], ['photo.gro4', '49', 'gro4']]) {
        const file = join(grobs, name);
        const png = name.replace(/\.[^.]*$/, '.png');
        const pngs = join(work, `png-${name}`);
        assert.equal(desktop('--to', 'png', '--output-dir', pngs, file).status, 0);
        const wanted = await pixelsOf(page, readFileSync(join(pngs, png)));
        await openFile(page, file);
        assert.equal(await page.textContent('#file-error'), '');
        const shown = await page.evaluate(() => {
            const canvas = document.getElementById('picture');
            const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
            return [canvas.width, canvas.height, Array.from(data)];
        });
        assert.deepEqual(shown, wanted, `${name}: the dots shown differ`);
        const saved = await download(page, '#save-picture');
        assert.equal(saved.name, png);
        assert.deepEqual(await pixelsOf(page, saved.bytes), wanted, `${name}: the PNG differs`);
        // Its kind from its name; a binary GROB brings its series for itself
        // and says so, the text form has the one chosen, which is kept; the
        // same kind again gives the same bytes.
        assert.equal(await page.inputValue('#kind'), kind);
        assert.equal(await page.inputValue('#series'), series);
        const kept = await page.evaluate(() => JSON.parse(localStorage.getItem('veldar-convert-web')));
        assert.deepEqual([kept.kind, kept.series], [kind, '49']);
        if (name.endsWith('G16')) {
            assert.match(await page.textContent('#advice'), /Series HP 48 for this GROB, as its header says; HP 49, your choice, comes back/);
            await settled(page);
            assert.ok((await download(page, '#download')).bytes.equals(readFileSync(file)));
        }
    }
    assert.deepEqual(errors, []);
});

test('a damaged picture or GROB shows its cause on the page', async () => {
    const { page } = await openPage(browser, server.url, seen);
    const cut = join(work, 'damaged', 'photo.g16');
    assert.equal(desktop('--kind', 'g16', '--output-dir', join(work, 'damaged'), join(work, 'photo.png')).status, 0);
    writeFileSync(cut, readFileSync(cut).subarray(0, 100));
    const empty = join(work, 'damaged', 'empty.gro');
    writeFileSync(empty, 'GROB 8 0 ');
    for (const grob of [cut, empty]) {
        const run = desktop('--to', 'png', '--output-dir', join(work, 'damaged-png'), grob);
        assert.equal(run.status, 1);
        const cause = run.stderr.trim().split(`${grob}: `)[1]; // veldar-convert: FILE: CAUSE
        await openFile(page, grob);
        assert.equal(await page.textContent('#file-error'), `Cannot open "${basename(grob)}": ${cause}.`);
    }

    const picture = join(work, 'broken.png');
    writeFileSync(picture, Buffer.concat([readFileSync(join(work, 'photo.png')).subarray(0, 60), Buffer.alloc(200, 7)]));
    await openFile(page, picture);
    assert.match(await page.textContent('#file-error'), /^Cannot open "broken\.png": .+\.$/);
    assert.equal(await page.getAttribute('#file-error', 'role'), 'alert');

    // Too large when enlarged: said at the fit, in the desktop program's words
    // up to its hint (the page's names its own controls).
    const tooLarge = desktop('--kind', 'gro', '--fit', '16000x10000', '--upscale', join(work, 'photo.png'));
    const [words] = tooLarge.stderr.split(': choose');
    await openFile(page, join(work, 'photo.png'));
    await choose(page, { fit: 'any', 'fit-width': 16000, 'fit-height': 10000, upscale: true });
    await settled(page);
    const said = await page.textContent('#fit-error');
    assert.equal(said, `${words.split('photo.png: ')[1]}: choose a smaller size or do not enlarge.`);
    assert.equal(await page.textContent('#preview-info'), `No preview: ${said}`);
});

test('the page asks for nothing beyond its own files, and works offline', async () => {
    const { context, page } = await openPage(browser, server.url, seen);
    await context.setOffline(true);
    await openFile(page, join(work, 'chart.bmp'));
    await page.selectOption('#kind', 'g32');
    await settled(page);
    assert.match(await page.textContent('#preview-info'), /^97 x 61 on screen, 5 frames, GROB 97 x 305, [\d,]+ bytes$/);
    const own = readdirSync(site).map((file) => `/${file}`);
    for (const url of seen) {
        if (url.startsWith('blob:')) continue;
        assert.ok(url.startsWith(server.url), `a request beyond the page: ${url}`);
        const path = new URL(url).pathname;
        assert.ok(path === '/' || own.includes(path), `not one of the page's files: ${path}`);
    }
    const policy = await page.getAttribute('meta[http-equiv="Content-Security-Policy"]', 'content');
    assert.match(policy, /^default-src 'self';/);
    // The goals for the page's size, uncompressed: the WebAssembly carries
    // the program's decoders and their libraries (about 420 KB of it).
    const size = (file) => statSync(join(site, file)).size;
    const total = readdirSync(site).reduce((sum, file) => sum + size(file), 0);
    console.log(`the page's files: ${total} bytes, the WebAssembly: ${size('engine.wasm')} bytes`);
    assert.ok(total < 820 * 1024 && size('engine.wasm') < 660 * 1024);
});

// A sheet of 3 x 2 tiles of 8 x 8 with transparency (a tile clear, a tile
// white, a shape half clear, a tile at opacity 127 and 128), and an
// animated GIF of 3 frames with a clear background. Pillow writes both.
function makeSprites() {
    execFileSync('/usr/bin/python3', [
        '-c',
        `
from PIL import Image, ImageDraw
sheet = Image.new('RGBA', (24, 16), (0, 0, 0, 0))
d = ImageDraw.Draw(sheet)
d.rectangle([8, 0, 15, 7], fill=(255, 255, 255, 255))
d.ellipse([16, 0, 23, 7], fill=(200, 40, 40, 255))
d.rectangle([0, 8, 7, 15], fill=(30, 60, 90, 127))
d.rectangle([8, 8, 11, 15], fill=(0, 0, 0, 128))
d.rectangle([16, 8, 23, 15], fill=(120, 200, 80, 255))
sheet.save('${work}/sheet.png')
frames = []
for i in range(3):
    im = Image.new('P', (16, 12), 0)
    im.putpalette([255, 0, 255, 0, 0, 0, 255, 255, 255, 128, 128, 128] + [0] * 756)
    d = ImageDraw.Draw(im)
    d.rectangle([i * 4, 2, i * 4 + 5, 9], fill=1)
    d.rectangle([i * 4 + 1, 3, i * 4 + 3, 5], fill=3)
    frames.append(im)
frames[0].save('${work}/walk.gif', save_all=True, append_images=frames[1:], transparency=0,
               disposal=2, duration=100, loop=0)
`,
    ]);
}

// The sprite tools set as a visitor would.
async function chooseSprites(page, set) {
    for (const [key, value] of Object.entries(set)) {
        if (typeof value === 'boolean') await page.setChecked(`#${key}`, value);
        else await page.fill(`#${key}`, String(value));
    }
}

test("the sprite tools write the program's lists: tiles, empty ones left out, masks, frames", async () => {
    makeSprites();
    const { page, errors } = await openPage(browser, server.url, seen);
    const sheet = join(work, 'sheet.png');
    await openFile(page, sheet);
    await choose(page, { kind: 'gro4', series: '48' });
    const tiles = { tile: true, 'tile-width': 8, 'tile-height': 8, 'skip-empty': true, mask: true };
    for (const text of [false, true]) {
        const out = join(work, `sheet-${text}`);
        const args = ['--kind', 'gro4', '--series', '48', '--tile', '8x8', '--skip-empty', '--mask', '--list'];
        assert.equal(desktop(...args, ...(text ? ['--text'] : []), '--output-dir', out, sheet).status, 0);
        await chooseSprites(page, { ...tiles, text });
        const got = await download(page, '#download-list');
        assert.equal(got.name, 'sheet.gro4.lst');
        assert.ok(got.bytes.equals(readFileSync(join(out, 'sheet.gro4.lst'))), `text ${text}: the list differs`);
        assert.equal(await page.textContent('#sprites-status'), 'sheet.gro4.lst saved to your downloads: a list of 8 GROBs, tiles kept: 3-6 of 6.');
    }
    // No whole number of tiles: the program's cause, the page's hint.
    const [cause] = desktop('--kind', 'gro4', '--tile', '5x8', '--list', sheet).stderr.split(' (--tile-pad');
    await chooseSprites(page, { 'tile-width': 5 });
    await page.click('#download-list');
    await page.waitForSelector('#sprites-status.error');
    assert.equal(await page.textContent('#sprites-status'), `Cannot write "sheet.gro4.lst": ${cause.split('sheet.png: ')[1]} (choose to pad the last tiles).`);

    // The frames of an animation: stepped through, each converted as the
    // program converts it, and all of them in one list with their masks.
    const walk = join(work, 'walk.gif');
    await openFile(page, walk);
    await choose(page, { kind: 'g04' });
    assert.equal(desktop('--kind', 'g04', '--frames', '--output-dir', join(work, 'walk'), walk).status, 0);
    assert.equal(await page.textContent('#frame-text'), 'Frame 1 of 3');
    await page.focus('#frame-on');
    await page.keyboard.press('Enter');
    await page.waitForSelector('#frame-text:has-text("Frame 2 of 3")');
    await settled(page);
    assert.ok((await download(page, '#download')).bytes.equals(readFileSync(join(work, 'walk', 'walk-02.g04'))), 'frame 2 differs');
    await chooseSprites(page, { tile: false, frames: true, mask: true, text: false });
    assert.equal(desktop('--kind', 'g04', '--frames', '--mask', '--list', '--output-dir', join(work, 'walk'), walk).status, 0);
    const list = await download(page, '#download-list');
    assert.equal(list.name, 'walk.g04.lst');
    assert.ok(list.bytes.equals(readFileSync(join(work, 'walk', 'walk.g04.lst'))), 'the list of frames differs');
    assert.deepEqual(errors, []);
});

test('a link sets the sprite tools too, and follows their changes', async () => {
    makeSprites();
    const link = '#kind=gro4&series=48&rotate=180&tile=8x8&skip-empty=1&mask=1&text=maybe&frames=constructor';
    const { page, errors } = await openPage(browser, server.url + link, seen);
    assert.ok(await page.isChecked('#tile'));
    assert.ok(await page.isChecked('#skip-empty'));
    assert.ok(await page.isChecked('#mask'));
    assert.equal(await page.inputValue('#tile-width'), '8');
    assert.equal(await page.textContent('#advice'), 'Left as they were, not being values of their settings: text=maybe, frames=constructor.');
    const sheet = join(work, 'sheet.png');
    await openFile(page, sheet);
    const out = join(work, 'sheet-linked');
    const args = ['--kind', 'gro4', '--series', '48', '--rotate', '180', '--tile', '8x8', '--skip-empty', '--mask', '--list'];
    assert.equal(desktop(...args, '--output-dir', out, sheet).status, 0);
    const got = await download(page, '#download-list');
    assert.ok(got.bytes.equals(readFileSync(join(out, 'sheet.gro4.lst'))), 'the linked list differs');
    await page.setChecked('#text', true);
    await page.waitForFunction(() => location.hash.includes('text=1'));
    const address = Object.fromEntries(new URLSearchParams(new URL(page.url()).hash.slice(1)));
    assert.deepEqual(address, {
        kind: 'gro4', series: '48', rotate: '180', tile: '8x8', 'skip-empty': '1', mask: '1', text: '1',
    });
    assert.deepEqual(errors, []);
});
