// The service worker that keeps one build of the page for playing offline. precache.sh writes it
// into the built folder with BUILD in front: the build's files and a hash of their contents. The
// hash names the cache, so a new build is a new worker with a cache of its own, filled whole before
// it takes over; the old caches go as it does, and a page is only ever served from one build.
const CACHE = 'disco ' + self.registration.scope + ' ' + BUILD.version;

self.addEventListener('install', event => {
  event.waitUntil((async () => {
    const cache = await caches.open(CACHE);
    // Checked with the server: the browser's HTTP cache may still hold the previous build's files.
    await cache.addAll(BUILD.files.map(file => new Request(file, { cache: 'no-cache' })));
    await self.skipWaiting();
  })());
});

self.addEventListener('activate', event => {
  event.waitUntil((async () => {
    const ours = 'disco ' + self.registration.scope + ' ';  // another page on this host keeps its own
    for (const name of await caches.keys()) {
      if (name.startsWith(ours) && name !== CACHE) await caches.delete(name);
    }
    await self.clients.claim();
  })());
});

self.addEventListener('fetch', event => {
  const url = new URL(event.request.url);
  if (event.request.method !== 'GET' || url.origin !== location.origin) return;
  // The folder itself is its index.html; the page's test parameters ask for the same files.
  const file = url.pathname === new URL(self.registration.scope).pathname ? 'index.html' : url.pathname;
  event.respondWith(caches.open(CACHE)
    .then(cache => cache.match(file, { ignoreSearch: true }))
    .then(kept => kept || fetch(event.request)));
});
