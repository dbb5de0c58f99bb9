// Keeps the page's files so that the game starts without a network after one visit. The build
// writes its files' digest into the name below: a new build is a new worker, which fetches the
// new files, takes over and drops the old ones.
var files = 'korvastil-@BUILD@', list = ['./', 'index.html', 'game.js', 'game.wasm', 'anton.woff2', 'manifest.json', 'icon.svg'];
self.addEventListener('install', function (e) {
  e.waitUntil(caches.open(files).then(function (c) {
    return c.addAll(list.map(function (f) { return new Request(f, { cache: 'no-cache' }); }));
  }).then(function () { return self.skipWaiting(); }));
});
self.addEventListener('activate', function (e) {
  e.waitUntil(caches.keys().then(function (names) {
    return Promise.all(names.filter(function (n) { return n != files; }).map(function (n) { return caches.delete(n); }));
  }).then(function () { return self.clients.claim(); }));
});
// The kept copy first (a query such as ?record=10 names the same page), else the network.
self.addEventListener('fetch', function (e) {
  if (e.request.method != 'GET') return;
  e.respondWith(caches.open(files).then(function (c) {
    return c.match(e.request, { ignoreSearch: true });
  }).then(function (r) { return r || fetch(e.request); }));
});
