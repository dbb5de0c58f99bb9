// The web page as a player meets it, in headless Chromium: the setup form, the title screen with
// the lit uncle and his rays, the briefing, a game with a missed and a hitting shot, Escape; and
// the sound handed to Web Audio and the generated texture, byte for byte against the native tools.
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { open, until, state, frames, press, shot, share, bytes, root, shots } from './harness.mjs';

const SECONDS = 10, RATE = 44100;
let passed = 0, failed = 0;
function check(name, ok, why) {
  ok ? passed++ : failed++;
  console.log(`${ok ? 'PASS' : 'FAIL'} ${name}${ok ? '' : ': ' + why}`);
  return ok;
}
function firstDiff(a, b) {
  const n = Math.min(a.length, b.length), i = a.subarray(0, n).findIndex((v, i) => v !== b[i]);
  return i < 0 && a.length === b.length ? -1 : i < 0 ? n : i;
}

function wavData(file) {  // the data chunk, wherever the header puts it
  const b = fs.readFileSync(file);
  for (let o = 12; o + 8 <= b.length; o += 8 + b.readUInt32LE(o + 4) + (b.readUInt32LE(o + 4) & 1))
    if (b.toString('latin1', o, o + 4) === 'data') return b.subarray(o + 8, o + 8 + b.readUInt32LE(o + 4));
  throw new Error(`no data chunk in ${file}`);
}
const native = (tool, ...args) => execFileSync(path.join(root, 'build/native', tool), args, { cwd: root });

const { page, errors, close } = await open(`?record=${SECONDS}`);
const korva = expr => page.evaluate(expr);
try {
  const form = await korva(() => [korva.state, !!document.querySelector('#setup')?.offsetParent,
    document.querySelector('#mode').value, document.querySelector('#windowed').checked,
    document.querySelector('#retrace').checked, document.querySelector('#setup').textContent]);
  check('the setup form shows with its defaults (640x480, full screen, WaitRetrace)',
    form[0] === 'setup' && form[1] && form[2] === '640x480' && !form[3] && form[4] &&
    /Select render device/.test(form[5]) && /Choose videomode/.test(form[5]), JSON.stringify(form.slice(0, 5)));

  await page.check('#windowed');
  await page.selectOption('#mode', '640x480');
  await page.click('#start');
  await until(page, () => korva.state === 'title' && korva.frames > 0, 30, 'the title screen');
  await frames(page, 3);
  const title = await shot(page, 'title');
  // The uncle is the only warm colour; the rays are the only bright pixels below the title's lines.
  const warm = share(title, [0.2, 0.2, 0.8, 0.8], (r, g, b) => r > b + 20 && r > 40);
  const rays = share(title, [0, 0.7, 1, 1], (r, g, b) => Math.min(r, g, b) > 150);
  check('Start (windowed 640x480) leads to the title screen with the lit uncle and his rays',
    title.w === 640 && title.h === 480 && warm > 0.01 && rays > 0.003,
    `${title.w}x${title.h}, warm ${(warm * 100).toFixed(2)}% of the centre, bright ${(rays * 100).toFixed(2)}% of the bottom (build/web-shots/title.png)`);

  const skip = async (from, to) => {
    const was = await state(page);
    if (was !== from) throw new Error(`expected the ${from} screen before the click, found "${was}"`);
    await press(page, 320, 240);
    await until(page, s => korva.state === s, 5, `the ${to} screen after a click`, to);
    await frames(page, 3);
    await shot(page, to);
  };
  await skip('title', 'briefing');
  check('a click on the title screen shows the briefing', true);
  await skip('briefing', 'game');
  check('a click on the briefing starts the game', true);

  // A miss: the point farthest from every target's box.
  const score = () => korva(() => korva.score());
  const hits = () => korva(() => korva.targets().filter(t => t.hit).length);
  const away = await korva(() => {
    let best = [0, 0, -1];
    for (let x = 20; x <= 620; x += 10) for (let y = 80; y <= 460; y += 10) {
      const d = Math.min(...korva.targets().map(t => Math.max(Math.abs(t.x - x), Math.abs(t.y - y)) - t.r));
      if (d > best[2]) best = [x, y, d];
    }
    return best;
  });
  let s0 = await score(), h0 = await hits();
  await press(page, away[0], away[1]);
  await frames(page, 2);
  let s1 = await score();
  // 100 for the press and 200 for each frame that saw the button held (at least one).
  check('a shot away from every target costs points', s1 <= s0 - 300 && await hits() === h0,
    `score ${s0} -> ${s1} at (${away[0]}, ${away[1]}), ${Math.round(away[2])} px clear of every box`);

  // A hit, as a player aims: at the biggest target not hit yet, inside the canvas.
  let hit = null;
  for (let tries = 1; tries <= 5 && !hit; tries++) {
    const t = await korva(() => korva.targets().filter(t => !t.hit && t.x > t.r && t.x < 640 - t.r &&
      t.y > t.r && t.y < 480 - t.r).sort((a, b) => b.r - a.r)[0]);
    if (!t) { await frames(page, 5); continue; }
    s0 = await score(); h0 = await hits();
    const held = await press(page, t.x, t.y);
    await frames(page, 2);
    s1 = await score();
    // 2000 a hit, less the press, at most one held frame more than were presented, a little drain.
    const n = await hits() - h0, least = 2000 * n - 100 - 200 * (held + 1) - 50;
    if (n > 0) hit = [s1 - s0 >= least, `score ${s0} -> ${s1} (at least ${s0 + least} for ${n} hit(s) ` +
      `held ${held} frames), box (${t.x.toFixed(0)}, ${t.y.toFixed(0)}) r ${t.r.toFixed(1)}, try ${tries}`];
  }
  check('a shot inside a target\'s box hits it and earns points', hit?.[0], hit?.[1] || 'no target hit in 5 tries');
  await shot(page, 'game-after-hit');

  const tex = await bytes(page, 'korva.texture()');
  native('texgen', path.join(shots, 'texgen.png'), '--raw', path.join(shots, 'texgen.rgb'));
  const want = fs.readFileSync(path.join(shots, 'texgen.rgb')), at = firstDiff(tex, want);
  const px = Math.floor(at / 3);
  check('korva.texture() equals texgen\'s raw texture', at < 0,
    `${tex.length} bytes against ${want.length}; first difference at pixel (${px % 256}, ${Math.floor(px / 256)}) ${'RGB'[at % 3]}: ${tex[at]} against ${want[at]}`);

  native('xm2wav', 'assets/song.xm', path.join(shots, 'song.wav'), '--seconds', String(SECONDS));
  const song = wavData(path.join(shots, 'song.wav'));
  await until(page, n => korva.recordedFrames >= n, SECONDS + 50, `${SECONDS} s of recorded sound`, SECONDS * RATE);
  const rec = await bytes(page, 'korva.recorded()'), diff = firstDiff(rec, song);
  check(`the first ${SECONDS} s of sound handed to Web Audio equal xm2wav's`, diff < 0,
    `${rec.length / 4} frames against ${song.length / 4}; first difference at frame ${Math.floor(diff / 4)} ` +
    `(${(diff / 4 / RATE).toFixed(3)} s, ${diff % 4 < 2 ? 'left' : 'right'})`);

  await page.keyboard.press('Escape');
  await until(page, () => korva.state === 'ended', 10, 'the end after Escape');
  check('Escape ends the game', true);
} catch (e) {
  check('the page plays through', false, e.message.split('\n')[0]);
  await page.locator('#screen').screenshot({ path: path.join(shots, 'failure.png') }).catch(() => {});
}
check('no console error', errors.length === 0, errors.slice(0, 3).join(' | '));
await close();
console.log(`e2e web: ${passed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
