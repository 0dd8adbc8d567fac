// The page as a first-time visitor meets it, in headless Chromium: a large
// photo fitted to the screen with dithering offered, the numbers said in
// words, help for each kind and each control on focus and touch, numbers
// as the program takes them, settings in a link, an animated GIF said, a
// long opening cancelled, and the page on a phone.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import { mkdtempSync, readFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { root, serve, launch, openPage, openFile, settled, download } from './browser.mjs';

const program = process.env.VELDAR_CONVERT || join(root, 'build/bin/veldar-convert');
const work = mkdtempSync(join(tmpdir(), 'veldar-web-'));
const longName = `${'averylongnamewithoutspaces'.repeat(4)}.png`;
let server, browser;

before(async () => {
    // A photo of 720 x 477 (Pillow's gradients and noise), a 262 x 128
    // picture that fits 131 x 64 exactly, and a small one with a long name.
    execFileSync('/usr/bin/python3', [
        '-c',
        `
from PIL import Image
size = (720, 477)
channels = [Image.linear_gradient('L').resize(size), Image.radial_gradient('L').resize(size),
            Image.effect_noise(size, 40)]
Image.merge('RGB', channels).save('${work}/photo.jpg', quality=90)
Image.linear_gradient('L').resize((262, 128)).convert('RGB').save('${work}/wide.png')
Image.new('RGB', (20, 10), (90, 40, 200)).save('${work}/${longName}')
`,
    ]);
    server = await serve();
    browser = await launch();
});

after(async () => {
    await browser?.close();
    await server?.close();
});

test('a large photo comes out right the first time, and the numbers say what they are', async () => {
    const { page, errors } = await openPage(browser, server.url);
    await openFile(page, join(work, 'photo.jpg'));
    await settled(page);
    // Fitted to the first screen, dithering offered: one click each.
    assert.equal(await page.inputValue('#fit'), '131x64');
    assert.match(await page.textContent('#preview-info'), /^97 x 64 on screen, GROB 97 x 64, [\d,]+ bytes$/);
    const advice = await page.textContent('#advice');
    assert.match(advice, /Larger than the calculator's screen, so fitted to 131 x 64\./);
    assert.match(advice, /A photograph, it seems/);
    await page.click('text=Use Floyd-Steinberg dithering');
    assert.equal(await page.inputValue('#dither'), 'floyd-steinberg');
    await page.click('text=Keep its natural size');
    await settled(page);
    assert.equal(await page.inputValue('#fit'), 'natural');
    assert.match(await page.textContent('#preview-info'), /^720 x 477 on screen/);
    // The natural size chosen stays chosen; the program's defaults are the
    // page's, and after a reset a large picture is fitted again.
    await openFile(page, join(work, 'photo.jpg'));
    assert.equal(await page.inputValue('#fit'), 'natural');
    await page.click('#reset');
    assert.deepEqual([await page.inputValue('#fit'), await page.inputValue('#dither')], ['natural', 'none']);

    // Worked by hand: 131 x 64 in 4 frames is a GROB of 131 x 256 dots,
    // 17 bytes a row: 4,352 bytes of body and 18 of header and fields.
    await openFile(page, join(work, 'wide.png'));
    await page.selectOption('#kind', 'g16');
    await settled(page);
    assert.equal(await page.textContent('#preview-info'), '131 x 64 on screen, 4 frames, GROB 131 x 256, 4,370 bytes');
    await page.selectOption('#kind', 'gro4');
    await settled(page);
    assert.match(await page.textContent('#preview-info'), /^131 x 64 on screen, 4 columns a dot, GROB 524 x 64, /);
    assert.equal(
        await page.textContent('#legend'),
        'Outlines: solid, 131 x 64 (HP 48, HP 49G); dashed, 131 x 80 (later HP 49).',
    );
    assert.deepEqual(errors, []);
});

test("help in the page's own words: for each kind, and for each control on focus and touch", async () => {
    const table = (await import(join(root, 'build-web/options.js'))).default;
    const { page } = await openPage(browser, server.url);
    const said = new Set();
    for (const kind of table.kinds) {
        await page.selectOption('#kind', kind.extension);
        const about = await page.textContent('#kind-about');
        said.add(about);
        if (kind.depth !== 1) assert.match(about, /grayscale display program on the calculator/, kind.extension);
    }
    assert.equal(said.size, table.kinds.length);
    assert.ok(!(await page.isVisible('#kind-help')));
    await page.focus('#kind');
    assert.ok(await page.isVisible('#kind-help'));
    const help = await page.textContent('#kind-help');
    assert.equal(help, table.options.find((o) => o.name === 'kind').web);
    assert.doesNotMatch(help, /-g32|--/);
    assert.ok(!(await page.isVisible('#dither-help')));
    // Ticked, "Cut into tiles" keeps its help off the tile size it brings.
    await openFile(page, join(work, 'wide.png'));
    await settled(page);
    await page.check('#tile');
    await page.focus('#tile');
    await page.waitForSelector('#tile-help', { state: 'visible' }); // after the pointer's delay
    const [bubble, size] = [await page.locator('#tile-help').boundingBox(), await page.locator('#tile-width').boundingBox()];
    assert.ok(bubble.y + bubble.height <= size.y || bubble.y >= size.y + size.height, 'the help covers the tile size');

    const phone = await openPage(browser, server.url, [], { width: 375, height: 667 }, { hasTouch: true, isMobile: true });
    await phone.page.tap('#dither');
    assert.ok(await phone.page.isVisible('#dither-help'));
    assert.match(await phone.page.textContent('#dither-help'), /best for photographs/);
});

test('numbers as the program takes them, and settings kept in a link', async () => {
    const link = '#kind=g16&series=48&fit=131x64&dither=atkinson&brightness=12.5&invert=1&gamma=x';
    const { page, errors } = await openPage(browser, server.url + link);
    const shown = {};
    for (const key of ['kind', 'series', 'fit', 'dither', 'brightness', 'gamma']) shown[key] = await page.inputValue(`#${key}`);
    assert.deepEqual(shown, { kind: 'g16', series: '48', fit: '131x64', dither: 'atkinson', brightness: '12.5', gamma: '1' });
    assert.ok(await page.isChecked('#invert'));
    assert.equal(await page.textContent('#advice'), 'Left as they were, not being values of their settings: gamma=x.');
    await openFile(page, join(work, 'wide.png'));
    await settled(page);
    const out = join(work, 'linked');
    const args = ['--kind', 'g16', '--series', '48', '--fit', '131x64', '--dither', 'atkinson', '--brightness', '12.5', '--invert'];
    assert.equal(spawnSync(program, [...args, '--output-dir', out, join(work, 'wide.png')]).status, 0);
    assert.ok((await download(page, '#download')).bytes.equals(readFileSync(join(out, 'wide.g16'))));
    // Each change is in the address; a whole-number setting says so.
    await page.fill('#contrast', '-7.25');
    await page.waitForFunction(() => location.hash.includes('contrast='));
    const address = new URLSearchParams(new URL(page.url()).hash.slice(1));
    assert.deepEqual(Object.fromEntries(address), {
        kind: 'g16', series: '48', fit: '131x64', invert: '1', brightness: '12.5', contrast: '-7.25', dither: 'atkinson',
    });
    assert.equal(await page.textContent('#contrast-error'), '');
    await page.fill('#zoom', '2.5');
    assert.equal(await page.textContent('#zoom-error'), 'Zoom takes a whole number from 1 to 16.');
    assert.deepEqual(errors, []);
});

test('turned, mirrored and thresholded as the program does it, from a link too', async () => {
    const link = '#kind=gro&series=48&fit=64x131&rotate=90&flip=horizontal&threshold=90';
    const { page, errors } = await openPage(browser, server.url + link);
    const shown = {};
    for (const key of ['rotate', 'flip', 'threshold']) shown[key] = await page.inputValue(`#${key}`);
    assert.deepEqual(shown, { rotate: '90', flip: 'horizontal', threshold: '90' });
    await openFile(page, join(work, 'wide.png'));
    await settled(page);
    const out = join(work, 'turned');
    const args = ['--kind', 'gro', '--series', '48', '--fit', '64x131', '--rotate', '90', '--flip', 'horizontal', '--threshold', '90'];
    assert.equal(spawnSync(program, [...args, '--output-dir', out, join(work, 'wide.png')]).status, 0);
    const wanted = readFileSync(join(out, 'wide.gro'));
    assert.ok((await download(page, '#download')).bytes.equals(wanted));
    // 262 x 128 turned is 128 x 262, halved into 64 x 131.
    assert.equal(wanted.readUInt8(13), 131);
    // The address written again after a change keeps them all.
    await page.selectOption('#series', '49');
    await page.waitForFunction(() => !location.hash.includes('series='));
    assert.deepEqual(Object.fromEntries(new URLSearchParams(new URL(page.url()).hash.slice(1))), {
        fit: '64x131', rotate: '90', flip: 'horizontal', threshold: '90',
    });
    // A crop from the link too, and its part shown only when it is on.
    // (The settings before a link stay where it says nothing.)
    await page.click('#reset');
    await page.goto(`${server.url}#kind=gro&series=48&crop=100x64+130+40&rotate=270&fit=64x131`);
    await page.waitForSelector('#crop:checked');
    assert.equal(await page.inputValue('#crop-x'), '130');
    await openFile(page, join(work, 'wide.png'));
    await settled(page);
    const cropped = join(work, 'cropped');
    const cropArgs = ['--kind', 'gro', '--series', '48', '--crop', '100x64+130+40', '--rotate', '270', '--fit', '64x131'];
    assert.equal(spawnSync(program, [...cropArgs, '--output-dir', cropped, join(work, 'wide.png')]).status, 0);
    assert.ok((await download(page, '#download')).bytes.equals(readFileSync(join(cropped, 'wide.gro'))));
    await page.setChecked('#crop', false);
    assert.ok(!(await page.isVisible('#crop-x')));
    await page.waitForFunction(() => !location.hash.includes('crop='));
    // The threshold is the 1-bit kind's without dithering: hidden otherwise.
    assert.ok(await page.isVisible('#threshold'));
    await page.selectOption('#dither', 'atkinson');
    assert.ok(!(await page.isVisible('#threshold')));
    await page.selectOption('#dither', 'none');
    await page.selectOption('#kind', 'g16');
    assert.ok(!(await page.isVisible('#threshold')));
    assert.deepEqual(errors, []);
});

test('a crop belongs to its picture; a link read as the program reads values, a long one cut short', async () => {
    const link = `#kind=gro&threshold=0x80&gamma=${'9'.repeat(100)}&crop=20x10+1+1`;
    const { page, errors } = await openPage(browser, server.url + link);
    // The program takes no hexadecimal either.
    assert.equal(spawnSync(program, ['--threshold', '0x80', join(work, 'wide.png')]).status, 2);
    const cut = `gamma=${'9'.repeat(51)}...`;
    assert.equal(await page.textContent('#advice'), `Left as they were, not being values of their settings: threshold=0x80, ${cut}.`);
    await openFile(page, join(work, 'wide.png'));
    assert.ok(await page.isChecked('#crop'));
    await openFile(page, join(work, 'photo.jpg'));
    assert.ok(!(await page.isChecked('#crop')));
    assert.match(await page.textContent('#advice'), /^The crop belonged to the last picture and was cleared\./);
    assert.deepEqual(errors, []);
});

test('an animated GIF says which frame is converted, and steps through them', async () => {
    const { page } = await openPage(browser, server.url);
    await openFile(page, join(root, 'tests/data/codecs-frames.gif'));
    assert.match(await page.textContent('#advice'), /^An animated GIF of 4 frames: the one shown is converted; step through them/);
    assert.equal(await page.textContent('#frame-text'), 'Frame 1 of 4');
    // Back from the first is the last.
    await page.click('#frame-back');
    await page.waitForSelector('#frame-text:has-text("Frame 4 of 4")');
});

test('the series asked on the first visit only; an animation played, paused where motion is reduced', async () => {
    const { page, errors } = await openPage(browser, server.url);
    assert.match(await page.textContent('#first-run'), /refuses the HP 49 files.*Kermit.*SD card/s);
    await page.click('#first-run-48');
    assert.ok(await page.isHidden('#first-run'));
    await page.reload();
    await page.waitForSelector('body[data-ready="true"]');
    assert.ok(await page.isHidden('#first-run'));
    assert.equal(await page.inputValue('#series'), '48');
    const gif = join(root, 'tests/data/codecs-frames.gif');
    await openFile(page, gif);
    assert.equal(await page.getAttribute('#play', 'aria-pressed'), 'true');
    const view = () => page.evaluate(() => document.getElementById('preview').toDataURL());
    const first = await view();
    await page.waitForFunction((shown) => document.getElementById('preview').toDataURL() !== shown, first);
    await page.click('#play');
    assert.equal(await page.textContent('#play'), 'Play');
    const still = await openPage(browser, server.url, [], undefined, { reducedMotion: 'reduce' });
    await openFile(still.page, gif);
    assert.equal(await still.page.getAttribute('#play', 'aria-pressed'), 'false');
    assert.deepEqual([...errors, ...still.errors], []);
});

test('a long opening shows how far it is and can be cancelled', async () => {
    // The decoding held back until Cancel is pressed: the decoder that waits
    // for the next picture is made as a picture opens, and its script is
    // held (the offline copy, which would answer first, is left out).
    const { page, errors } = await openPage(browser, server.url, [], undefined, { serviceWorkers: 'block' });
    let release;
    const held = new Promise((resolve) => (release = resolve));
    await page.route('**/decoder.js', async (route) => {
        await held;
        await route.continue();
    });
    await openFile(page, join(work, 'wide.png'));
    await settled(page);
    const before = await page.textContent('#preview-info');
    await page.setInputFiles('#file', join(work, 'photo.jpg'));
    await page.waitForSelector('#opening-text:has-text("Decoding photo.jpg (720 x 477 pixels)")');
    await page.click('#cancel');
    release();
    assert.equal(await page.textContent('#file-info'), 'Opening photo.jpg cancelled. Still showing wide.png.');
    assert.ok(await page.isHidden('#opening'));
    await settled(page);
    assert.equal(await page.textContent('#preview-info'), before);
    assert.deepEqual(errors, []);
});

test('on a phone: the preview in view while adjusting, long names wrapped, settings first', async () => {
    const { page, errors } = await openPage(browser, server.url, [], { width: 375, height: 667 });
    await openFile(page, join(work, longName));
    await settled(page);
    assert.ok(await page.evaluate(() => document.documentElement.scrollWidth <= 375));
    // The view in the first screen once a picture is open, every action in
    // sight (wrapped, not in a row that scrolls sideways).
    const inView = async (selector) => {
        const box = await page.locator(selector).boundingBox();
        return box.x >= 0 && box.y >= 0 && box.x + box.width <= 375 && box.y + box.height <= 667;
    };
    for (const id of ['preview', 'download', 'download-text', 'download-bare', 'copy', 'save-preview'])
        assert.ok(await inView(`#${id}`), id);
    // A control's help covers none of what follows it.
    await page.check('#tile');
    const [help, size] = [await page.locator('#tile-help').boundingBox(), await page.locator('#tile-width').boundingBox()];
    assert.ok(help && help.y + help.height <= size.y, 'the help covers the tile size');
    await page.focus('#gamma-slider');
    for (let i = 0; i < 5; ++i) await page.keyboard.press('ArrowRight');
    await settled(page);
    const box = await page.locator('#preview').boundingBox();
    assert.ok(box.y >= 0 && box.y + box.height <= 667, `the preview is at ${box.y}..${box.y + box.height}`);
    // From the file box, the Tab key goes to the settings first (on a first
    // visit, the question of the series).
    await page.focus('#file');
    await page.keyboard.press('Tab');
    assert.equal(await page.evaluate(() => document.activeElement.id), 'first-run-48');
    assert.deepEqual(errors, []);
});
