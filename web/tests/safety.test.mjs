// The page's safety and resilience in headless Chromium: the policy sent as
// a header keeps the workers from asking anyone else; pictures too large
// are refused from their header, and hostile ones as the program's decoders
// refuse them, in the program's words, before any decoding; a reload
// offline works and the page installs as an app;
// opened as a file or without its engine it says why it cannot work.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { createServer } from 'node:http';
import { mkdtempSync, readFileSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { basename, join } from 'node:path';
import { root, site, serve, launch, openPage, openFile, settled } from './browser.mjs';

const program = process.env.VELDAR_CONVERT || join(root, 'build/bin/veldar-convert');
const data = join(root, 'tests/data');
let server, browser;

before(async () => {
    server = await serve();
    browser = await launch();
});

after(async () => {
    await browser?.close();
    await server?.close();
});

test('the policy sent as a header keeps the worker from asking anyone else', async () => {
    let asked = 0;
    const other = createServer((request, response) => {
        ++asked;
        response.writeHead(200, { 'Access-Control-Allow-Origin': '*' }).end('pixels');
    });
    await new Promise((resolve) => other.listen(0, '127.0.0.1', resolve));
    try {
        const { page, errors } = await openPage(browser, server.url);
        const response = await page.goto(server.url);
        assert.match(response.headers()['content-security-policy'], /^default-src 'self';.* frame-ancestors 'none'$/);
        await page.waitForSelector('body[data-ready="true"]');
        const engine = page.workers().find((worker) => worker.url().endsWith('/worker.js'));
        const elsewhere = `http://127.0.0.1:${other.address().port}/`;
        const outcome = await engine.evaluate(
            (url) => fetch(url).then(() => 'sent', () => 'blocked'),
            elsewhere,
        );
        assert.equal(outcome, 'blocked');
        assert.equal(asked, 0);
        // The page works under the header.
        await openFile(page, join(data, 'reference.gif'));
        await settled(page);
        assert.match(await page.textContent('#preview-info'), /^48 x 32 on screen/);
        assert.deepEqual(errors, []);
    } finally {
        other.close();
    }
});

test("pictures too large are refused from their header, in the program's words, undecoded", async () => {
    const { page, errors } = await openPage(browser, server.url);
    for (const name of ['huge.png', 'huge.gif', 'huge.jpg', 'huge.bmp']) {
        const run = spawnSync(program, ['--kind', 'gro', '--output-dir', mkdtempSync(join(tmpdir(), 'veldar-')), join(data, name)], {
            encoding: 'utf8',
        });
        assert.equal(run.status, 1, name);
        const cause = run.stderr.trim().split(`${name}: `)[1];
        assert.match(cause, /^the picture is \d+ x \d+ pixels; at most 16384 x 16384/);
        await openFile(page, join(data, name));
        assert.equal(await page.textContent('#file-error'), `Cannot open "${name}": ${cause}.`);
    }
    assert.equal(await page.evaluate(() => performance.getEntriesByName('veldar-decoding').length), 0);
    assert.deepEqual(errors, []);
});

test("hostile pictures are refused before decoding, in the program's one line, at once", async () => {
    const { page, errors } = await openPage(browser, server.url);
    const work = mkdtempSync(join(tmpdir(), 'veldar-'));
    // 1,200 scans: the last AC scan of codecs-scans.jpg (600) said 600 times more.
    const jpeg = readFileSync(join(data, 'codecs-scans.jpg'));
    const scan = jpeg.subarray(jpeg.lastIndexOf(Buffer.from([0xff, 0xda])), jpeg.length - 2);
    const scans = join(work, 'scans.jpg');
    writeFileSync(scans, Buffer.concat([jpeg.subarray(0, jpeg.length - 2), ...Array(600).fill(scan), jpeg.subarray(-2)]));
    // A 16384 x 2048 frame in 48 bytes: cut short (a fit lets the program decode it).
    for (const [file, args] of [[scans, []], [join(data, 'gif-no-data.gif'), ['--fit', '131x64']]]) {
        const run = spawnSync(program, ['--kind', 'gro', ...args, '--output-dir', work, file], { encoding: 'utf8' });
        assert.equal(run.status, 1, file);
        const cause = run.stderr.trim().split(`${file}: `)[1];
        assert.match(cause, /^the JPEG has 1201 scans|^the GIF data is cut short$/);
        await page.setInputFiles('#file', file);
        await page.waitForSelector('#file-error:not(:empty)', { timeout: 5000 });
        assert.equal(await page.textContent('#file-error'), `Cannot open "${basename(file)}": ${cause}.`);
    }
    assert.deepEqual(errors, []);
});

test('a reload offline works from the copy the page keeps, and the page installs as an app', async () => {
    const { context, page, errors } = await openPage(browser, server.url);
    await page.waitForFunction(() => navigator.serviceWorker.controller);
    const cdp = await context.newCDPSession(page);
    // Every test profile is a private one, which installs nothing: that alone may be said.
    const { installabilityErrors } = await cdp.send('Page.getInstallabilityErrors');
    assert.deepEqual(installabilityErrors.filter((e) => e.errorId !== 'in-incognito'), []);
    await context.setOffline(true);
    await page.reload();
    await page.waitForSelector('body[data-ready="true"]');
    await openFile(page, join(data, 'reference.gif'));
    await page.selectOption('#kind', 'g32');
    await settled(page);
    assert.match(await page.textContent('#preview-info'), /^48 x 32 on screen, 5 frames/);
    assert.deepEqual(errors, []);
});

test('opened as a file, or without its engine, the page says why it cannot work', async () => {
    const context = await browser.newContext();
    const page = await context.newPage();
    await page.goto(`file://${join(site, 'index.html')}`);
    assert.ok(await page.isVisible('#need-server'));
    assert.match(await page.textContent('#need-server'), /cannot work opened as a file: .* Serve its folder over HTTP/s);

    const bare = await serve({ missing: ['engine.wasm'] });
    try {
        const broken = await context.newPage();
        await broken.goto(bare.url);
        await broken.waitForSelector('body[data-ready="false"]');
        const said = 'The converter cannot start: its engine, engine.wasm, is missing from this site.';
        assert.ok((await broken.textContent('#cannot-start')).startsWith(said));
        await broken.setInputFiles('#file', join(data, 'reference.gif'));
        await broken.waitForSelector('#file-error:not(:empty)');
        assert.equal(
            await broken.textContent('#file-error'),
            'Cannot open "reference.gif": its engine, engine.wasm, is missing from this site.',
        );
        assert.doesNotMatch(await broken.textContent('body'), /Aborted|CompileError|ASSERTIONS/);
    } finally {
        await bare.close();
        await context.close();
    }
});
