// The web page in headless Chromium with software WebGL (SwiftShader), windowed 640x480 with
// WaitRetrace as the setup form offers it:
//
//     bench/web_bench.sh [--seconds N, default 10]
//
// - page load to the first title frame: from navigation start (performance.now() in the page)
//   to korva.state "title" with a frame presented, on the page's second load; the click on
//   Start is made as soon as the form shows, and its moment is given apart.
// - frames per second over N seconds of play (state "game", the pointer still, no shot), and the
//   CPU per frame: user+system time of every chromium process this benchmark started (the GPU
//   process does SwiftShader's drawing) from /proc, and the renderer's main-thread task time
//   from the DevTools Performance metrics (TaskDuration).
// - first title frame with an empty cache in the running browser (a page of its own).
// - every file the page loads: raw, and its brotli and gzip copies as served.
import fs from 'node:fs';
import path from 'node:path';
import { open, until, press, web } from '../tests/web/harness.mjs';

const seconds = Number(process.argv[process.argv.indexOf('--seconds') + 1] || 0) || 10;
const HZ = 100;  // the kernel's clock ticks a second in /proc/PID/stat (USER_HZ)

function descendants(root) {  // every process below ours: chromium and its helpers
  const parent = new Map();
  for (const d of fs.readdirSync('/proc').filter(d => /^\d+$/.test(d))) {
    try { parent.set(+d, +fs.readFileSync(`/proc/${d}/stat`, 'utf8').split(') ')[1].split(' ')[1]); } catch {}
  }
  const below = p => { for (let q = parent.get(p); q; q = parent.get(q)) if (q === root) return true; return false; };
  return [...parent.keys()].filter(below);
}
function cpuTicks(pids) {  // utime + stime by process type; a process gone since counts 0
  const t = { all: 0 };
  for (const p of pids) {
    try {
      const f = fs.readFileSync(`/proc/${p}/stat`, 'utf8').split(') ')[1].split(' ');
      const type = (fs.readFileSync(`/proc/${p}/cmdline`, 'utf8').match(/--type=([a-z-]+)/) || [0, 'browser'])[1];
      t[type] = (t[type] || 0) + +f[11] + +f[12];
      t.all += +f[11] + +f[12];
    } catch {}
  }
  return t;
}

const { page, errors, close, browser } = await open();
const row = (what, value, how = '') => console.log(`| ${what.padEnd(44)} | ${String(value).padStart(16)} | ${how}`);
try {
  // The first load also starts the browser's GPU process; a player's browser has it running, so
  // the figure reported is the second load's, with the first beside it.
  const toTitle = async () => {
    await page.waitForSelector('#start', { state: 'visible', timeout: 20000 });
    await page.evaluate(() => document.querySelector('#start').addEventListener('click',
      () => { window.__clicked = performance.now(); }, { capture: true }));
    await page.check('#windowed');
    await page.click('#start');
    const title = await until(page, () => korva.state === 'title' && korva.frames > 0 && performance.now(), 30, 'the title screen');
    return [...await page.evaluate(() => [performance.getEntriesByType('navigation')[0].loadEventEnd, window.__clicked]), title];
  };
  const cold = await toTitle();
  // A page of its own (an empty cache, no worker) in the browser already running.
  const fresh = await browser.newPage({ viewport: { width: 1100, height: 800 } });
  await fresh.goto(page.url());
  const empty = await (async p => { await p.waitForSelector('#start', { state: 'visible', timeout: 20000 }); await p.check('#windowed');
    await p.evaluate(() => document.querySelector('#start').addEventListener('click',
      () => { window.__clicked = performance.now(); }, { capture: true }));
    await p.click('#start'); const t = await until(p, () => korva.state === 'title' && korva.frames > 0 && performance.now(), 30, 'the title screen');
    return [...await p.evaluate(() => [performance.getEntriesByType('navigation')[0].loadEventEnd, window.__clicked]), t]; })(fresh);
  await fresh.close();
  await page.goto(page.url());
  const load = await toTitle();

  await press(page, 320, 240);
  await until(page, () => korva.state === 'briefing', 10, 'the briefing');
  await press(page, 320, 240);
  await until(page, () => korva.state === 'game', 10, 'the game');
  await page.waitForTimeout(1000);  // past the game's first frames

  const cdp = await page.context().newCDPSession(page);
  await cdp.send('Performance.enable');
  const task = async () => (await cdp.send('Performance.getMetrics')).metrics.find(m => m.name === 'TaskDuration').value;
  const pids = descendants(process.pid);
  const f0 = await page.evaluate(() => korva.frames), c0 = cpuTicks(pids), k0 = await task(), t0 = Date.now();
  await page.waitForTimeout(seconds * 1000);
  const f1 = await page.evaluate(() => korva.frames), c1 = cpuTicks(pids), k1 = await task(), t1 = Date.now();
  const n = f1 - f0, state = await page.evaluate(() => korva.state);

  console.log(`| ${'measure'.padEnd(44)} | ${'value'.padStart(16)} | how`);
  console.log(`|${'-'.repeat(46)}|${'-'.repeat(18)}|-----`);
  row('navigation start to page loaded', `${load[0].toFixed(0)} ms`, 'load event');
  row('navigation start to the click on Start', `${load[1].toFixed(0)} ms`, 'clicked as soon as it shows (the driver is slow)');
  row('navigation start to the first title frame', `${load[2].toFixed(0)} ms`, `a reload (the worker's copies); ${cold[2].toFixed(0)} ms on a fresh browser`);
  row('  the same less the wait for the click', `${(load[0] + load[2] - load[1]).toFixed(0)} ms`, `loaded, then ${(load[2] - load[1]).toFixed(0)} ms from the click`);
  row('  the same, empty cache, browser running', `${empty[2].toFixed(0)} ms`, `loaded at ${empty[0].toFixed(0)} ms, clicked at ${empty[1].toFixed(0)} ms`);
  row('    less the wait for the click', `${(empty[0] + empty[2] - empty[1]).toFixed(0)} ms`, `loaded, then ${(empty[2] - empty[1]).toFixed(0)} ms from the click`);
  row('frames per second in play', (n / ((t1 - t0) / 1000)).toFixed(1), `${n} frames in ${((t1 - t0) / 1000).toFixed(1)} s, state ${state}`);
  const perFrame = k => `${(((c1[k] || 0) - (c0[k] || 0)) / HZ * 1000 / n).toFixed(2)} ms`;
  row('CPU per frame, all chromium processes', perFrame('all'), `${pids.length} processes, ${((c1.all - c0.all) / HZ / ((t1 - t0) / 1000) * 100).toFixed(0)} % of one core`);
  for (const k of Object.keys(c1).filter(k => k !== 'all')) row(`  ${k}`, perFrame(k));
  row('CPU per frame, renderer main thread', `${((k1 - k0) * 1000 / n).toFixed(2)} ms`, 'DevTools TaskDuration');
  let br = 0, gz = 0;
  for (const f of fs.readdirSync(web).filter(f => !/\.(br|gz)$/.test(f)).sort()) {
    const a = fs.statSync(path.join(web, f)).size, b = fs.statSync(path.join(web, f + '.br')).size, g = fs.statSync(path.join(web, f + '.gz')).size;
    br += b; gz += g;
    row(`  ${f}`, `${a} B`, `${b} B brotli, ${g} B gzip`);
  }
  row('every file the page loads', `${br} B brotli`, `${gz} B gzip (goal: 32,768 B brotli)`);
  row('load average (1, 5, 15 min) at the end', fs.readFileSync('/proc/loadavg', 'utf8').split(' ').slice(0, 3).join(' '), `${fs.readdirSync('/sys/devices/system/cpu').filter(d => /^cpu\d+$/.test(d)).length} cores`);
  if (errors.length) console.log(`note: console errors: ${errors.slice(0, 3).join(' | ')}`);
} finally {
  await close();
}
