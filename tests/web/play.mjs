// The web page as a player meets it, in headless Chromium: the setup form, the title screen with
// the lit uncle and his rays, the briefing, a game with a missed and a hitting shot, Escape; and
// the sound handed to Web Audio and the generated texture, byte for byte against the native tools.
import { execFileSync } from 'node:child_process'; import fs from 'node:fs'; import path from 'node:path';
import { open, until, frames, press, pace, startHeld, stepUntil, biggest, shot, share, bytes, root, shots } from './harness.mjs';

const SECONDS = 10, RATE = 44100; let passed = 0, failed = 0;
const check = (name, ok, why) => console.log(`${ok ? (passed++, 'PASS') : (failed++, 'FAIL')} ${name}${ok ? '' : ': ' + why}`);
const firstDiff = (a, b, i = a.findIndex((v, i) => v !== b[i])) =>  // -1 when equal
  i < 0 && a.length === b.length ? -1 : i < 0 ? a.length : i;
const native = (tool, ...args) => execFileSync(path.join(root, 'build/native', tool), args, { cwd: root });
fs.rmSync(shots, { recursive: true, force: true });  // no picture left from an earlier run
// A page of the mode's size: the picture fills it at 640x480, and its screenshots stay quick (the
// title screen lasts 3 s).
const { page, errors, close } = await open(`?record=${SECONDS}`, { context: { viewport: { width: 640, height: 480 } } }), korva = (fn, arg) => page.evaluate(fn, arg);
try {
  const form = await korva(() => [korva.state, !!document.querySelector('#setup').offsetParent, !document.querySelector('#message').offsetParent,
    ...['mode', 'windowed', 'retrace'].map(id => (e => `${id}=${e.type === 'checkbox' ? e.checked : e.value}`)(document.getElementById(id))),
    /Select render device[^]*Choose videomode/.test(document.querySelector('#setup').textContent)].join(' '));
  await page.screenshot({ path: path.join(shots, 'setup.png') });
  check('the setup form shows with its defaults', form === 'setup true true mode=640x480 windowed=false retrace=true true', form);

  // From Start to the last shot the test makes the game's frames (harness.mjs, pace): the title
  // lasts its 180 frames however long its screenshot takes, and a shot meets the boxes it was aimed at.
  await page.check('#windowed'); await page.selectOption('#mode', '640x480');
  await startHeld(page, () => page.click('#start')); await frames(page, 3);
  const title = await shot(page, 'title'), backing = await korva(() => (c => `${c.width}x${c.height}`)(document.getElementById('screen')));
  // The uncle is the only warm colour; the rays are the only bright pixels below the title's lines.
  const warm = share(title, [0.2, 0.2, 0.8, 0.8], (r, g, b) => r > b + 20 && r > 40),
    rays = share(title, [0, 0.7, 1, 1], (r, g, b) => Math.min(r, g, b) > 150);
  check('Start (windowed 640x480) leads to the title screen, scaled to the page at 4:3, with the lit uncle and his rays',
    Math.abs(title.w * 3 - title.h * 4) <= 4 && backing === '640x480' && warm > 0.01 && rays > 0.003, `${title.w}x${title.h} (${backing} backing), warm ` +
    `${(warm * 100).toFixed(2)}% of the centre, bright ${(rays * 100).toFixed(2)}% of the bottom (build/web-shots/title.png)`);

  for (const [from, to] of [['title', 'briefing'], ['briefing', 'game']]) {
    if (await korva(() => korva.state) !== from) throw new Error(`not on the ${from} screen before the click`);
    await press(page, 320, 240, 1);
    check(`a click on the ${from} screen leads to the ${to}`, await korva(() => korva.state) === to && (await frames(page, 3) || await shot(page, to)),
      `${await korva(() => korva.state)} a frame after the click`);
  }

  const score = () => korva(() => korva.score()), hits = () => korva(() => korva.targets().filter(t => t.hit).length);
  const away = await korva(() => {  // the point farthest from every target's box
    let best = [0, 0, -1];
    for (let x = 20; x <= 620; x += 10) for (let y = 80; y <= 460; y += 10)
      best = (d => d > best[2] ? [x, y, d] : best)(Math.min(...korva.targets().map(t => Math.max(Math.abs(t.x - x), Math.abs(t.y - y)) - t.r)));
    return best;
  });
  // One frame sees the button, and it tests the boxes read above: 100 for the press, 200 for the frame.
  let s0 = await score(), h0 = await hits(), held = await press(page, away[0], away[1], 1), s1 = await frames(page, 2) || await score();
  check('a shot away from every target costs points', held === 1 && s0 - s1 === 300 && await hits() === h0,
    `score ${s0} -> ${s1} at (${away[0]}, ${away[1]}), ${Math.round(away[2])} px clear of every box, held ${held} frames`);

  // Aimed as a player aims, at the biggest target wholly on the screen; the first of the two
  // frames held tests its box as read (the second may catch another that moves under the pointer).
  await stepUntil(page, biggest, 120, 'a target wholly on the screen');
  const t = await korva(biggest);
  [s0, h0] = [await score(), await hits()];
  held = await press(page, t.x, t.y);
  s1 = await frames(page, 2) || await score();
  // 2000 a hit, less 100 for the press and 200 for each frame held (the score read has no drain).
  const n = await hits() - h0;
  check('a shot inside a target\'s box hits it and earns points', held === 2 && n > 0 && s1 - s0 === 2000 * n - 100 - 200 * held,
    `score ${s0} -> ${s1} for ${n} hit(s) held ${held} frames, box (${t.x}, ${t.y}) r ${t.r}`);
  await shot(page, 'game-after-hit');
  await pace(page, false);

  native('texgen', path.join(shots, 'texgen.png'), '--raw', path.join(shots, 'texgen.rgb'));
  const tex = await bytes(page, 'korva.texture()'), want = fs.readFileSync(path.join(shots, 'texgen.rgb')),
    at = firstDiff(tex, want), px = Math.floor(at / 3);
  check('korva.texture() equals texgen\'s raw texture', at < 0, `${tex.length} bytes against ${want.length}; first ` +
    `difference at pixel (${px % 256}, ${Math.floor(px / 256)}) ${'RGB'[at % 3]}: ${tex[at]} against ${want[at]}`);

  native('xm2wav', 'assets/song.xm', path.join(shots, 'song.wav'), '--seconds', String(SECONDS));
  const song = fs.readFileSync(path.join(shots, 'song.wav')).subarray(44);  // xm2wav's header is 44 bytes
  await until(page, n => korva.recordedFrames >= n, SECONDS + 50, `${SECONDS} s of recorded sound`, SECONDS * RATE);
  const rec = await bytes(page, 'korva.recorded()'), diff = firstDiff(rec, song);
  check(`the first ${SECONDS} s of sound handed to Web Audio equal xm2wav's`, diff < 0,
    `${rec.length / 4} frames against ${song.length / 4}; first difference at frame ${Math.floor(diff / 4)} ` +
    `(${(diff / 4 / RATE).toFixed(3)} s, ${diff % 4 < 2 ? 'left' : 'right'})`);

  await page.keyboard.press('Escape'); check('Escape ends the game', await until(page, () => korva.state === 'ended', 10, 'the end after Escape'));
  await page.screenshot({ path: path.join(shots, 'ended.png') });
} catch (e) {
  check('the page plays through', false, e.message.split('\n')[0]);
  await page.screenshot({ path: path.join(shots, 'failure.png') }).catch(() => {});
}
check('no console error', errors.length === 0, errors.slice(0, 3).join(' | '));
await close(); console.log(`e2e web: ${passed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
