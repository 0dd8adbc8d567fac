// The page's files beside the GROB, against the desktop program
// (build/bin/veldar-convert, or $VELDAR_CONVERT): a crop drawn and dragged
// on the picture, the text form as a file, numbered files, a list opened
// and split, a GROB read as a chosen kind.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import { mkdtempSync, readFileSync, readdirSync, renameSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { root, serve, launch, openPage, openFile, settled, download } from './browser.mjs';

const program = process.env.VELDAR_CONVERT || join(root, 'build/bin/veldar-convert');
const work = mkdtempSync(join(tmpdir(), 'veldar-web-'));
const desktop = (...args) => assert.equal(spawnSync(program, [...args, '--quiet']).status, 0, args.join(' '));
const file = (...parts) => readFileSync(join(work, ...parts));
let server, browser;

// A 262 x 128 gradient, a 3 x 2 sheet of 8 x 8 tiles with clear ones, and
// an animated GIF of 3 frames; Debian's Pillow writes them.
before(async () => {
    execFileSync('/usr/bin/python3', [
        '-c',
        `
from PIL import Image, ImageDraw
Image.radial_gradient('L').resize((262, 128)).convert('RGB').save('${work}/wide.png')
sheet = Image.new('RGBA', (24, 16), (0, 0, 0, 0))
d = ImageDraw.Draw(sheet)
d.ellipse([16, 0, 23, 7], fill=(200, 40, 40, 255))
d.rectangle([0, 8, 11, 15], fill=(30, 60, 90, 200))
sheet.save('${work}/sheet.png')
frames = [Image.new('L', (16, 12), 255) for i in range(3)]
for i, im in enumerate(frames):
    ImageDraw.Draw(im).rectangle([i * 4, 2, i * 4 + 5, 9], fill=60 * i)
frames[0].save('${work}/walk.gif', save_all=True, append_images=frames[1:], duration=[100, 200, 300])
`,
    ]);
    server = await serve();
    browser = await launch();
});

after(async () => {
    await browser?.close();
    await server?.close();
});

// An archive the page saved, unpacked by Python (which checks every CRC).
function unpack(bytes, folder) {
    writeFileSync(join(work, `${folder}.zip`), bytes);
    const script = 'import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); assert z.testzip() is None; z.extractall(sys.argv[2])';
    execFileSync('/usr/bin/python3', ['-c', script, join(work, `${folder}.zip`), join(work, folder)]);
    return readdirSync(join(work, folder)).sort();
}

// Whether two folders hold PNGs of the same pixels, file by file.
function samePixels(a, b) {
    const script = `
import os, sys
from PIL import Image
a, b = sys.argv[1:]
names = sorted(os.listdir(a))
pixels = lambda p: list(Image.open(p).convert('RGBA').getdata())
assert names == sorted(os.listdir(b)), names
assert all(pixels(os.path.join(a, n)) == pixels(os.path.join(b, n)) for n in names)`;
    return spawnSync('/usr/bin/python3', ['-c', script, a, b]).status === 0;
}

test("a crop drawn and dragged on the picture sets the four boxes, and the program's --crop bytes", async () => {
    const { page, errors } = await openPage(browser, server.url);
    await openFile(page, join(work, 'wide.png'));
    assert.ok(await page.isHidden('#crop-frame'));
    const box = await page.locator('#picture').boundingBox();
    assert.equal(box.width, 262); // a dot a pixel: the mouse's moves are the picture's
    const drag = async ([x0, y0], [x1, y1]) => {
        await page.mouse.move(box.x + x0, box.y + y0);
        await page.mouse.down();
        await page.mouse.move(box.x + (x0 + x1) / 2, box.y + (y0 + y1) / 2);
        await page.mouse.move(box.x + x1, box.y + y1);
        await page.mouse.up();
    };
    await drag([110, 84], [10, 20]); // drawn from its lower right corner
    await drag([50, 50], [80, 60]); // moved by its body
    await drag([135, 90], [145, 86]); // its lower right corner dragged
    // The keyboard: one to the right, one lower with Shift.
    await page.focus('#crop-frame');
    await page.keyboard.press('ArrowRight');
    await page.keyboard.press('Shift+ArrowDown');
    const boxes = [];
    for (const part of ['width', 'height', 'x', 'y']) boxes.push(await page.inputValue(`#crop-${part}`));
    assert.deepEqual(boxes, ['110', '61', '41', '30']);
    assert.ok(await page.isChecked('#crop'));
    assert.match(await page.getAttribute('#crop-frame', 'aria-label'), /^Crop, 110 x 61 from 41, 30: the arrow keys/);
    await settled(page);
    desktop('--kind', 'gro', '--crop', '110x61+41+30', '--output-dir', join(work, 'crop'), join(work, 'wide.png'));
    assert.ok((await download(page, '#download')).bytes.equals(file('crop', 'wide.gro')));

    // Outside the picture: nothing to download. Another picture clears it,
    // and a crop is not kept for the next visit.
    await page.fill('#crop-x', '300');
    await settled(page);
    assert.match(await page.textContent('#preview-info'), /^No preview: /);
    assert.ok(await page.isDisabled('#download'));
    await openFile(page, join(work, 'sheet.png'));
    assert.ok(!(await page.isChecked('#crop')));
    assert.ok(await page.isEnabled('#download'));
    await page.setChecked('#crop', true);
    await page.goto(server.url);
    await page.waitForSelector('body[data-ready="true"]');
    assert.ok(!(await page.isChecked('#crop')));
    assert.deepEqual(errors, []);
});

test('the text form as a file: the bytes of --text and --text --bare', async () => {
    const { page, errors } = await openPage(browser, server.url);
    await openFile(page, join(work, 'wide.png'));
    await page.selectOption('#kind', 'g16');
    await settled(page);
    assert.equal(await page.inputValue('#fit'), '131x64'); // fitted to the screen on opening
    for (const [button, args] of [['#download-text', ['--text']], ['#download-bare', ['--text', '--bare']]]) {
        const out = join(work, `text${args.length}`);
        desktop('--kind', 'g16', '--fit', '131x64', ...args, '--output-dir', out, join(work, 'wide.png'));
        const got = await download(page, button);
        assert.equal(got.name, 'wide.g16');
        assert.ok(got.bytes.equals(file(`text${args.length}`, 'wide.g16')), button);
    }
    assert.deepEqual(errors, []);
});

test("numbered files and a list opened and split: the program's files", async () => {
    const { page, errors } = await openPage(browser, server.url);
    // Tiles, empty ones left out, with masks: sheet-03.gro4, sheet-03.mask.gro, ...
    await openFile(page, join(work, 'sheet.png'));
    await page.selectOption('#kind', 'gro4');
    for (const key of ['tile', 'skip-empty', 'mask']) await page.setChecked(`#${key}`, true);
    await page.fill('#tile-width', '8');
    await page.fill('#tile-height', '8');
    desktop('--kind', 'gro4', '--tile', '8x8', '--skip-empty', '--mask', '--output-dir', join(work, 'tiles'), join(work, 'sheet.png'));
    const tiles = await download(page, '#download-files');
    assert.equal(tiles.name, 'sheet.gro4.zip');
    const names = unpack(tiles.bytes, 'tiles-page');
    assert.deepEqual(names, readdirSync(join(work, 'tiles')).sort());
    assert.ok(names.includes('sheet-04.mask.gro'));
    for (const name of names) assert.ok(file('tiles-page', name).equals(file('tiles', name)), name);

    // A list of an animation's frames opened: its GROBs stepped through,
    // then as numbered GROBs (as --frames converts a list) and PNGs (--to png --split).
    desktop('--kind', 'g04', '--series', '48', '--frames', '--list', '--output-dir', join(work, 'lists'), join(work, 'walk.gif'));
    const list = join(work, 'lists', 'walk.g04.lst');
    desktop('--kind', 'g04', '--series', '48', '--frames', '--output-dir', join(work, 'split'), list);
    desktop('--to', 'png', '--split', '--output-dir', join(work, 'split-png'), list);
    await openFile(page, list);
    assert.equal(await page.textContent('#file-error'), '');
    assert.match(await page.textContent('#file-info'), /^walk\.g04\.lst: a list of 3 GROBs/);
    assert.equal(await page.textContent('#frame-text'), 'GROB 1 of 3');
    await page.click('#frame-on');
    await page.waitForSelector('#frame-text:has-text("GROB 2 of 3")');
    await settled(page);
    assert.ok((await download(page, '#download')).bytes.equals(file('split', 'walk.g04-02.g04')));
    const grobs = await download(page, '#download-files');
    assert.deepEqual(unpack(grobs.bytes, 'split-page'), ['walk.g04-01.g04', 'walk.g04-02.g04', 'walk.g04-03.g04']);
    for (const name of readdirSync(join(work, 'split'))) assert.ok(file('split-page', name).equals(file('split', name)), name);
    const pngs = await download(page, '#save-pngs');
    assert.equal(pngs.name, 'walk.g04.png.zip');
    unpack(pngs.bytes, 'split-png-page');
    assert.ok(samePixels(join(work, 'split-png'), join(work, 'split-png-page')), 'the PNGs differ');
    assert.deepEqual(errors, []);
});

test("a GROB whose name tells no kind, read as a chosen kind: the program's reading of that kind", async () => {
    const { page, errors } = await openPage(browser, server.url);
    desktop('--kind', 'g16', '--fit', '40x30', '--output-dir', join(work, 'kinds'), join(work, 'wide.png'));
    desktop('--to', 'png', '--output-dir', join(work, 'kinds-png'), join(work, 'kinds', 'wide.g16'));
    renameSync(join(work, 'kinds', 'wide.g16'), join(work, 'kinds', 'WIDE'));
    await openFile(page, join(work, 'kinds', 'WIDE'));
    assert.match(await page.textContent('#advice'), /^Read as a 1-bit GROB \(\.gro\): its name tells no kind; choose another kind/);
    await page.selectOption('#read-as', 'g16');
    await page.waitForSelector('#advice:has-text("Read as a 4 page-flipping frames, 16 shades (.g16), as you chose.")');
    assert.equal(await page.inputValue('#kind'), 'g16');
    const saved = await download(page, '#save-picture');
    writeFileSync(join(work, 'kinds-png', 'page.png'), saved.bytes);
    renameSync(join(work, 'kinds-png', 'wide.png'), join(work, 'kinds-png', 'program.png'));
    const script = `
import sys
from PIL import Image
a, b = (list(Image.open(p).convert('RGBA').getdata()) for p in sys.argv[1:])
assert a == b`;
    const pngs = ['program.png', 'page.png'].map((name) => join(work, 'kinds-png', name));
    assert.equal(spawnSync('/usr/bin/python3', ['-c', script, ...pngs]).status, 0, 'the dots differ');
    assert.deepEqual(errors, []);
});
