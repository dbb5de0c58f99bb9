// Shared by the browser tier and the web benchmark: serves build/web on a free loopback port and
// drives Debian's chromium headless with software WebGL (no display, no browser download).
import http from 'node:http'; import fs from 'node:fs'; import path from 'node:path'; import { chromium } from 'playwright-core';

export const root = path.resolve(path.dirname(new URL(import.meta.url).pathname), '../..'),
  web = path.join(root, 'build/web'), shots = path.join(root, 'build/web-shots');
const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm', '.woff2': 'font/woff2',
  '.json': 'application/manifest+json', '.svg': 'image/svg+xml' };

// The page in a browser of its own. `query` follows index.html; `context` is Playwright's (a phone's
// viewport, touch); `serve(name, bytes)` may change a file as served (a new build), or return null
// to fail the request as a cut network would.
export async function open(query = '', { context = {}, serve = (name, data) => data } = {}) {
  const served = [];
  const server = http.createServer((req, res) => {
    const file = path.join(web, path.normalize(decodeURIComponent(req.url.split('?')[0])).replace(/^\/$/, '/index.html'));
    fs.readFile(file, (err, data) => {
      if (err || !file.startsWith(web)) { res.writeHead(404).end(); return; }
      const body = serve(path.basename(file), data);
      if (!body) { res.destroy(); return; }
      served.push(path.basename(file));
      res.writeHead(200, { 'Content-Type': types[path.extname(file)] || 'application/octet-stream' }).end(body);
    });
  });
  await new Promise(ok => server.listen(0, '127.0.0.1', ok));
  const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', headless: true,
    args: ['--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--ignore-gpu-blocklist',
      '--autoplay-policy=no-user-gesture-required', '--no-sandbox', '--disable-background-networking',
      '--disable-background-timer-throttling', '--disable-renderer-backgrounding'] });
  const page = await browser.newPage({ viewport: { width: 1100, height: 800 }, ...context });
  // Bytes leave the page as base64: exact, and far quicker than a JSON array.
  await page.addInitScript(() => { window.__b64 = (a, s = '') => { const u = new Uint8Array(a.buffer, a.byteOffset, a.byteLength);
    for (let i = 0; i < u.length; i += 0x8000) s += String.fromCharCode.apply(null, u.subarray(i, i + 0x8000)); return btoa(s); }; });
  const errors = [];
  page.on('console', m => { if (m.type() === 'error') errors.push(`${m.text()} (${m.location().url})`); });
  page.on('pageerror', e => errors.push(String(e)));
  page.on('response', r => { if (r.status() >= 400) errors.push(`${r.status()} for ${r.url()}`); });
  fs.mkdirSync(shots, { recursive: true });
  const close = async () => { await browser.close().catch(() => {}); server.close(); };
  await page.goto(`http://127.0.0.1:${server.address().port}/index.html${query}`, { timeout: 20000 }).catch(async e => { await close(); throw e; });
  return { page, errors, close, served, browser };
}

// Polls fn (in the page) until it returns something true, at most `seconds`; throws a clear reason.
export async function until(page, fn, seconds, what, arg) {
  for (let end = Date.now() + seconds * 1000, v; ; await new Promise(ok => setTimeout(ok, 100))) {
    if ((v = await page.evaluate(fn, arg))) return v;
    if (Date.now() > end) throw new Error(`${what}: not seen within ${seconds} s`);
  }
}

// Waits until the game has presented n more frames (a press must last a frame to be seen).
export const frames = async (page, n) =>
  void await until(page, f => korva.frames >= f, 10, `${n} more frames`, await page.evaluate(() => korva.frames) + n);

// A press as a player makes it: down over the canvas, held for a few frames, released. Returns
// how many frames were presented while it was held.
export async function press(page, x, y, hold = 2) {
  [x, y] = await toPage(page, x, y);
  await page.mouse.move(x, y);
  const f0 = await page.evaluate(() => korva.frames);
  await page.mouse.down(); await frames(page, hold); await page.mouse.up();
  return await page.evaluate(() => korva.frames) - f0;
}

// Canvas pixels to the page's: the picture is scaled to fit the page.
export async function toPage(page, x, y) {
  const [box, w, h] = await page.evaluate(() => (c => [c.getBoundingClientRect().toJSON(), c.width, c.height])(document.getElementById('screen')));
  return [box.x + (x + 0.5) * box.width / w, box.y + (y + 0.5) * box.height / h];
}

// A finger on the canvas through the DevTools protocol's touch events, as a phone sends them:
// down at canvas pixel (x, y), held while `hold` frames are presented, lifted. Returns the frame
// counts the page saw the finger go down and up at (the game reads it in the frames between).
export async function touch(page, cdp, x, y, hold = 1) {
  [x, y] = await toPage(page, x, y);
  await page.evaluate(() => { window.__touched = []; for (const t of ['pointerdown', 'pointerup'])
    window.addEventListener(t, () => __touched.push(korva.frames), { capture: true, once: true }); });
  await cdp.send('Input.dispatchTouchEvent', { type: 'touchStart', touchPoints: [{ x, y, id: 1 }] });
  await page.evaluate(n => new Promise(ok => { const w = f => () => korva.frames >= f ? ok() : requestAnimationFrame(w(f));
    w(korva.frames + n)(); }), hold);
  await cdp.send('Input.dispatchTouchEvent', { type: 'touchEnd', touchPoints: [] });
  return await until(page, () => __touched.length === 2 && __touched, 5, 'the finger seen down and up');
}

// Screenshot of the game's canvas (with the text canvas over it) to build/web-shots/NAME.png,
// returned as RGBA pixels decoded by the browser's own PNG decoder.
export async function shot(page, name) {
  const png = await page.locator('#screen').screenshot({ path: path.join(shots, name + '.png') });
  const [w, h, px] = await page.evaluate(async b64 => {
    const img = await createImageBitmap(await (await fetch('data:image/png;base64,' + b64)).blob());
    const c = new OffscreenCanvas(img.width, img.height).getContext('2d');
    c.drawImage(img, 0, 0);
    return [img.width, img.height, __b64(c.getImageData(0, 0, img.width, img.height).data)];
  }, png.toString('base64'));
  return { w, h, rgba: Buffer.from(px, 'base64') };
}

// The share of pixels in the rectangle (fractions of the size) that pass test(r, g, b).
export function share({ w, h, rgba }, [x0, y0, x1, y1], test, n = 0, all = 0) {
  for (let y = Math.floor(y0 * h); y < y1 * h; y++)
    for (let x = Math.floor(x0 * w), i = (y * w + x) * 4; x < x1 * w; x++, all++, i += 4) n += !!test(rgba[i], rgba[i + 1], rgba[i + 2]);
  return n / Math.max(all, 1);
}

// The bytes of a typed array the page returns from expr.
export const bytes = async (page, expr) => Buffer.from(await page.evaluate(`__b64(${expr})`), 'base64');
