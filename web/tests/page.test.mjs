// The page in headless Chromium against the desktop program built from the
// same checkout (build/bin/veldar-convert, or $VELDAR_CONVERT): the same
// bytes for every kind, series and preparation, the same dots of a GROB read
// back, the same causes for damaged files, and no request beyond the page's
// own files.
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
        set: { fit: 'any', width: 40, height: 30, dither: 'ordered', brightness: 10, contrast: -20, gamma: 1.5, invert: true },
    },
    {
        name: '320x250 enlarged, Atkinson',
        args: ['--fit', '320x250', '--upscale', '--dither', 'atkinson'],
        set: { fit: 'any', width: 320, height: 250, upscale: true, dither: 'atkinson' },
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
                    const wantedText = readFileSync(join(work, `v${v}-${kind}-${series}-text`, name), 'latin1');
                    assert.equal(text, wantedText, `${what}: the text form differs`);
                    await page.evaluate(() => (document.getElementById('action-status').textContent = ''));
                    ++compared;
                }
            }
        }
    }
    assert.equal(compared, 2 * variants.length * kinds.length * 2);
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
    for (const [name, series] of [['PHOTO.G16', '48'], ['photo.gro4', '48']]) {
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
        // A binary GROB brings its series, the text form keeps the one chosen;
        // the same kind again gives the same bytes.
        assert.equal(await page.inputValue('#series'), series);
        if (name.endsWith('G16')) {
            await page.selectOption('#kind', 'g16');
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
    await choose(page, { fit: 'any', width: 16000, height: 10000, upscale: true });
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
    assert.match(await page.textContent('#preview-info'), /^97 x 305 dots, [\d,]+ bytes$/);
    const own = readdirSync(site).map((file) => `/${file}`);
    for (const url of seen) {
        if (url.startsWith('blob:')) continue;
        assert.ok(url.startsWith(server.url), `a request beyond the page: ${url}`);
        const path = new URL(url).pathname;
        assert.ok(path === '/' || own.includes(path), `not one of the page's files: ${path}`);
    }
    const policy = await page.getAttribute('meta[http-equiv="Content-Security-Policy"]', 'content');
    assert.match(policy, /^default-src 'self';/);
    // The goals for the page's size, uncompressed.
    const size = (file) => statSync(join(site, file)).size;
    const total = readdirSync(site).reduce((sum, file) => sum + size(file), 0);
    console.log(`the page's files: ${total} bytes, the WebAssembly: ${size('engine.wasm')} bytes`);
    assert.ok(total < 300 * 1024 && size('engine.wasm') < 200 * 1024);
});
