// What the page's tests share: the built page (build-web/) served on this
// machine with its headers (build-web/_headers) and every request recorded,
// and Debian's Chromium, headless.
import { createServer } from 'node:http';
import { readFileSync } from 'node:fs';
import { readFile } from 'node:fs/promises';
import { extname, join, normalize } from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

export const root = fileURLToPath(new URL('../..', import.meta.url));
export const site = join(root, 'build-web');

const types = {
    '.html': 'text/html; charset=utf-8',
    '.js': 'text/javascript; charset=utf-8',
    '.css': 'text/css; charset=utf-8',
    '.wasm': 'application/wasm',
    '.png': 'image/png',
    '.webmanifest': 'application/manifest+json',
};

// The headers a host sends for the page: "  Name: value" under "/*".
export function pageHeaders() {
    const lines = readFileSync(join(site, '_headers'), 'latin1').split('\n');
    return Object.fromEntries(lines.filter((l) => l.startsWith('  ')).map((l) => l.trim().split(': ')));
}

// Serves build-web/ on a free port of 127.0.0.1 with the page's headers
// (none with `bare`); `requests` lists every path asked for; the files of
// `missing` are not found.
export async function serve({ bare = false, missing = [] } = {}) {
    const requests = [];
    const headers = bare ? {} : pageHeaders();
    const server = createServer(async (request, response) => {
        const path = new URL(request.url, 'http://localhost').pathname;
        requests.push(path);
        const file = normalize(join(site, path === '/' ? 'index.html' : path));
        try {
            if (!file.startsWith(site) || missing.includes(path.slice(1))) throw new Error('not here');
            const body = await readFile(file);
            response.writeHead(200, { ...headers, 'Content-Type': types[extname(file)] || 'application/octet-stream' });
            response.end(request.method === 'HEAD' ? undefined : body);
        } catch {
            response.writeHead(404).end();
        }
    });
    await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
    const url = `http://127.0.0.1:${server.address().port}/`;
    // Closed at once, the browser's idle keep-alive connections too (which
    // would otherwise hold the close for a minute while a page stays open).
    const close = () =>
        new Promise((resolve) => {
            server.close(resolve);
            server.closeAllConnections();
        });
    return { url, requests, close };
}

export function launch() {
    return chromium.launch({
        executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
        args: [
            '--headless',
            '--no-sandbox',
            '--disable-gpu',
            '--disable-quic',
            '--no-first-run',
            '--disable-background-networking',
            '--disable-component-update',
            '--disable-sync',
        ], // and a new, empty --user-data-dir, which Playwright gives every launch

    });
}

// A new page at the site, ready for a picture; every request any page of
// its context makes is added to `seen`; `options` for the context (a
// phone's touch, say).
export async function openPage(browser, url, seen = [], viewport = { width: 1280, height: 900 }, options = {}) {
    const context = await browser.newContext({ viewport, acceptDownloads: true, ...options });
    await context.grantPermissions(['clipboard-read', 'clipboard-write'], { origin: url });
    context.on('request', (request) => seen.push(request.url()));
    const page = await context.newPage();
    const errors = [];
    page.on('pageerror', (error) => errors.push(error.message));
    // Content-Security-Policy refusals, failed loads and the like.
    page.on('console', (message) => message.type() === 'error' && errors.push(message.text()));
    await page.goto(url);
    await page.waitForSelector('body[data-ready="true"]');
    return { context, page, errors };
}

// Opens a file on the page and waits for its preview (or its error).
export async function openFile(page, file) {
    await page.setInputFiles('#file', file);
    await page.waitForFunction(
        () =>
            document.getElementById('file-error').textContent ||
            document.body.dataset.busy === 'false',
    );
}

// Waits until the preview shown is that of the settings chosen.
export function settled(page) {
    return page.waitForSelector('body[data-busy="false"]');
}

export async function download(page, button) {
    const [file] = await Promise.all([page.waitForEvent('download'), page.click(button)]);
    return { name: file.suggestedFilename(), bytes: await readFile(await file.path()) };
}
