// The web build's screens for the README: node bench/web_screens.mjs [--phone] [OUT_DIR] (after
// scripts/build.sh web and scripts/deps.sh web). Plays as a player, with the page's
// hooks telling where the targets are; --phone in a phone's 740x360 touch viewport, by taps.
import { open, pace, frames, stepUntil, touch } from '../tests/web/harness.mjs';
const args = process.argv.slice(2), out = args.filter(a => a !== '--phone')[0] || new URL('../docs', import.meta.url).pathname;
if (args.includes('--phone')) { await phone(); process.exit(0); }
const { page, close } = await open();
await page.waitForFunction(() => !document.getElementById('start').disabled);
await page.check('#windowed');
await page.locator('#setup').screenshot({ path: `${out}/web-setup.png` });
await page.click('#start');
const el = page.locator('#stage'), box = await page.locator('#screen').boundingBox();
const at = (x, y) => [box.x + x, box.y + y];  // canvas pixels to the page's
await page.waitForFunction(() => korva.state == 'title' && korva.frames > 30);
await page.waitForTimeout(1200);
await el.screenshot({ path: `${out}/web-title.png` });
await page.mouse.click(...at(320, 240));
await page.waitForFunction(() => korva.state == 'briefing');
await page.waitForTimeout(1500);
await el.screenshot({ path: `${out}/web-briefing.png` });
await page.mouse.click(...at(320, 240));
await page.waitForFunction(() => korva.state == 'game');
await page.waitForTimeout(2500);
await page.mouse.move(...at(400, 300));
await page.waitForTimeout(100);
await el.screenshot({ path: `${out}/web-play.png` });
// Every target, each clicked inside its box until it counts as hit: the interlude.
const end = Date.now() + 60000;
while (Date.now() < end && (await page.evaluate(() => korva.level())) == 1) {
  const t = (await page.evaluate(() => korva.targets())).filter(t => !t.hit && t.x > 5 && t.x < 635 && t.y > 5 && t.y < 475);
  if (t.length) await page.mouse.click(...at(t[0].x, t[0].y)); else await page.waitForTimeout(50);
  if ((await page.evaluate(() => korva.targets())).every(t => t.hit)) { await page.waitForTimeout(1500); await el.screenshot({ path: `${out}/web-interlude.png` }); break; }
}
await page.waitForFunction(() => korva.level() == 2, null, { timeout: 15000 });
await page.mouse.move(...at(320, 240));
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
await close();

// The phone's screens, the whole viewport as the phone shows it (the picture letterboxed at 4:3).
// The game's frames are made by the script (harness.mjs, pace): each tap at a target's box hits.
async function phone() {
  const { page, close } = await open('', { context: { viewport: { width: 360, height: 740 }, hasTouch: true, isMobile: true, deviceScaleFactor: 1 } });
  const snap = name => page.screenshot({ path: `${out}/phone-${name}.png` });
  const tap = async sel => { const b = await page.locator(sel).boundingBox(); await page.touchscreen.tap(b.x + b.width / 2, b.y + b.height / 2); };
  try {
    await page.waitForFunction(() => !document.getElementById('start').disabled);
    await tap('#windowed');
    await snap('setup');  // held upright
    await page.setViewportSize({ width: 740, height: 360 });
    await pace(page, true, false);
    await tap('#start');
    await page.waitForFunction(() => __pace.waiting.length > 0);
    const cdp = await page.context().newCDPSession(page);
    await stepUntil(page, () => korva.state == 'title', 10, 'the title');
    await frames(page, 70); await snap('title');
    await touch(page, cdp, 320, 240); await frames(page, 90); await snap('briefing');
    await touch(page, cdp, 320, 240); await frames(page, 150);
    const target = () => korva.targets().filter(t => !t.hit && t.x > t.r && t.x < 640 - t.r && t.y > t.r && t.y < 480 - t.r)[0] || null;
    // The first shot at a target, shown a few frames on (its explosion), then every target: the interlude.
    await stepUntil(page, target, 300, 'a target on the screen');
    let t = await page.evaluate(target); await touch(page, cdp, t.x, t.y); await frames(page, 4); await snap('play');
    while (await page.evaluate(() => korva.level()) == 1 && await page.evaluate(() => korva.targets().some(t => !t.hit))) {
      await stepUntil(page, target, 600, 'a target on the screen');
      t = await page.evaluate(target); await touch(page, cdp, t.x, t.y);
    }
    await frames(page, 90); await snap('interlude');
    await stepUntil(page, () => korva.level() == 2, 700, 'level 2');  // the interlude's 10 s
    // A finger held drains 200 a frame: the death screen comes.
    const [x, y] = [370, 180];
    await cdp.send('Input.dispatchTouchEvent', { type: 'touchStart', touchPoints: [{ x, y, id: 1 }] });
    // The death screen charges nothing: the score stands still for the first time since the press.
    await stepUntil(page, () => (s => s === window.__last || void (window.__last = s))(korva.score()), 1000, 'the death screen');
    await cdp.send('Input.dispatchTouchEvent', { type: 'touchEnd', touchPoints: [] });
    await frames(page, 30); await snap('death');
  } finally { await close(); }
}
