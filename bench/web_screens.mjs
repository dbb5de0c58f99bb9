// The web build's screens for the README: node bench/web_screens.mjs [OUT_DIR] (after
// scripts/build.sh web and scripts/deps.sh web). Plays as a player, with the page's
// hooks telling where the targets are.
import { open } from '../tests/web/harness.mjs';
const out = process.argv[2] || new URL('../docs', import.meta.url).pathname;
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
