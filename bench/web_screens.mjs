// The web build's screens for the README: node bench/web_screens.mjs [OUT_DIR] (after
// scripts/build.sh web and scripts/deps.sh web). Plays as a player, with the page's
// hooks telling where the targets are.
import { chromium } from 'playwright-core';
import http from 'http'; import fs from 'fs'; import path from 'path';
const root = new URL('../build/web', import.meta.url).pathname, out = process.argv[2] || new URL('../docs', import.meta.url).pathname;
const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm', '.woff2': 'font/woff2' };
const server = http.createServer((q, r) => { const f = path.join(root, q.url.split('?')[0] == '/' ? 'index.html' : q.url.split('?')[0]);
  fs.readFile(f, (e, d) => { if (e) { r.writeHead(404); r.end(); return; } r.writeHead(200, { 'Content-Type': types[path.extname(f)] || 'application/octet-stream' }); r.end(d); }); });
await new Promise(ok => server.listen(0, '127.0.0.1', ok));
const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', headless: true,
  args: ['--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--autoplay-policy=no-user-gesture-required', '--no-sandbox'] });
const page = await browser.newPage({ viewport: { width: 640, height: 480 } });
await page.goto(`http://127.0.0.1:${server.address().port}/`);
await page.waitForFunction(() => !document.getElementById('start').disabled);
await page.check('#windowed');
await page.locator('#setup').screenshot({ path: `${out}/web-setup.png` });
await page.click('#start');
const el = page.locator('#stage');
await page.waitForFunction(() => korva.state == 'title' && korva.frames > 30);
await page.waitForTimeout(1200);
await el.screenshot({ path: `${out}/web-title.png` });
await page.mouse.click(320, 240);
await page.waitForFunction(() => korva.state == 'briefing');
await page.waitForTimeout(1500);
await el.screenshot({ path: `${out}/web-briefing.png` });
await page.mouse.click(320, 240);
await page.waitForFunction(() => korva.state == 'game');
await page.waitForTimeout(2500);
await page.mouse.move(400, 300);
await page.waitForTimeout(100);
await el.screenshot({ path: `${out}/web-play.png` });
// Every target, each clicked inside its box until it counts as hit: the interlude.
const end = Date.now() + 60000;
while (Date.now() < end && (await page.evaluate(() => korva.level())) == 1) {
  const t = (await page.evaluate(() => korva.targets())).filter(t => !t.hit && t.x > 5 && t.x < 635 && t.y > 5 && t.y < 475);
  if (t.length) await page.mouse.click(t[0].x, t[0].y); else await page.waitForTimeout(50);
  if ((await page.evaluate(() => korva.targets())).every(t => t.hit)) { await page.waitForTimeout(1500); await el.screenshot({ path: `${out}/web-interlude.png` }); break; }
}
await page.waitForFunction(() => korva.level() == 2, null, { timeout: 15000 });
await page.mouse.move(320, 240);
await page.mouse.down();
// Holding the button drains 200 a frame: the death screen comes, and after it level 1.
const shot = Date.now() + 30000;
while (Date.now() < shot) {
  await page.waitForTimeout(300);
  const px = await el.screenshot();
  if (px.length < 30000) break;  // the white death screen compresses to almost nothing
}
await page.mouse.up();
await page.waitForTimeout(500);
await el.screenshot({ path: `${out}/web-death.png` });
await browser.close(); server.close();
