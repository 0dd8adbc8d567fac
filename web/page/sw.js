// Keeps the page's files for use offline: a request for one of them is
// answered from the copy kept when the page was first loaded, so that it
// starts again without a network. Each build of the page (tools/build-web
// writes its version and files below) keeps a new copy and drops the old.
'use strict';
const version = '@VERSION@';
const files = ['./', @FILES@];

self.addEventListener('install', (event) => {
    event.waitUntil(
        caches
            .open(version)
            .then((cache) => cache.addAll(files))
            .then(() => self.skipWaiting()),
    );
});

self.addEventListener('activate', (event) => {
    event.waitUntil(
        caches
            .keys()
            .then((keys) => Promise.all(keys.filter((key) => key !== version).map((key) => caches.delete(key))))
            .then(() => self.clients.claim()),
    );
});

self.addEventListener('fetch', (event) => {
    const { request } = event;
    if (request.method !== 'GET' || new URL(request.url).origin !== location.origin) return;
    event.respondWith(
        caches
            .open(version)
            .then((cache) => cache.match(request, { ignoreSearch: true }))
            .then((kept) => kept || fetch(request)),
    );
});
