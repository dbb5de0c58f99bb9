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
  // The test's hold on the game's frames and clock (see pace below): the game presents through
  // requestAnimationFrame and reads performance.now(), so wrapping both changes nothing until held.
  await page.addInitScript(() => {
    const raf = requestAnimationFrame.bind(window), now = performance.now.bind(performance);
    const p = window.__pace = { held: false, waiting: [], clock: 0, offset: 0 };
    window.requestAnimationFrame = f => p.held ? p.waiting.push(f) : raf(f);
    performance.now = () => p.held ? p.clock : now() - p.offset;
    p.hold = () => { p.clock = performance.now(); p.held = true; };
    p.free = () => { p.offset = now() - p.clock; p.held = false; p.waiting.splice(0).forEach(raf); };
    // One frame of a sixtieth of a second: the clock moves on, the waiting present returns.
    p.step = () => { p.clock += 1000 / 60; p.waiting.splice(0).forEach(raf); };
  });
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

// The game's frames under the test's hand, so that what a test reads between two frames (the
// targets' boxes) is what the next frame acts on, however slow the machine: held, the game waits
// in its present and its clock stands still; each step is one frame 1/60 s later. Held before
// Start (`started` false), the game waits in its first present; pace(page, false) lets it run on.
export async function pace(page, on, started = true) {
  if (!on) return page.evaluate(() => __pace.free());
  await page.evaluate(() => __pace.hold());
  if (started) await until(page, () => __pace.waiting.length > 0, 10, 'the game waiting in a present');
}
const step = async (page, n) => { for (let i = 0; i < n; i++) await page.evaluate(() => new Promise((ok, fail) => {
  const f = korva.frames, end = (__pace.step(), Date.now() + 10000), seen = () => korva.frames > f && __pace.waiting.length ? ok()
    : Date.now() > end ? fail(new Error('no frame within 10 s of a step')) : setTimeout(seen, 5);
  seen(); })); };

// Start (start() taps or clicks it) with the game held, stepped to its first title frame.
export async function startHeld(page, start) {
  await pace(page, true, false); await start();
  await until(page, () => __pace.waiting.length > 0, 30, 'the first frame after Start');
  await stepUntil(page, () => korva.state === 'title' && korva.frames > 0, 10, 'the title screen after Start');
}

// The biggest target not hit yet that is wholly on the screen, or null (in the page).
export const biggest = () => korva.targets().filter(t => !t.hit && t.x > t.r && t.x < 640 - t.r && t.y > t.r && t.y < 480 - t.r)
  .sort((a, b) => b.r - a.r)[0] || null;

// Waits until the game has presented n more frames (a press must last a frame to be seen); held,
// makes them.
export const frames = async (page, n) => await page.evaluate(() => __pace.held) ? step(page, n) :
  void await until(page, f => korva.frames >= f, 10, `${n} more frames`, await page.evaluate(() => korva.frames) + n);

// Steps a held game until fn (in the page) is true, at most n frames.
export async function stepUntil(page, fn, n, what, arg) {
  for (let i = 0; !await page.evaluate(fn, arg); i++) if (i === n) throw new Error(`${what}: not seen within ${n} frames`); else await step(page, 1);
}

// Records the frame count at the next pointerdown and pointerup (a mouse's or a finger's);
// seen() returns both once the page has had them.
const watch = page => page.evaluate(() => { window.__seen = []; for (const t of ['pointerdown', 'pointerup'])
  window.addEventListener(t, () => __seen.push(korva.frames), { capture: true, once: true }); });
const seen = (page, n) => until(page, k => __seen.length >= k && __seen, 5, n === 1 ? 'the press seen by the page' : 'the release seen by the page', n);

// A press as a player makes it: down over the canvas, held for a few frames, released. Returns
// how many frames were presented while it was held (exactly `hold` when the game is held).
export async function press(page, x, y, hold = 2) {
  [x, y] = await toPage(page, x, y);
  await page.mouse.move(x, y); await watch(page);
  await page.mouse.down(); await seen(page, 1); await frames(page, hold); await page.mouse.up();
  const [down, up] = await seen(page, 2);
  return up - down;
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
  await watch(page);
  await cdp.send('Input.dispatchTouchEvent', { type: 'touchStart', touchPoints: [{ x, y, id: 1 }] });
  await seen(page, 1); await frames(page, hold);
  await cdp.send('Input.dispatchTouchEvent', { type: 'touchEnd', touchPoints: [] });
  return await seen(page, 2);
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
