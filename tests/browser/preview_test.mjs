// zarncap preview in a real browser: Debian's chromium, driven through
// playwright-core, on the virtual camera.
//
//   node preview_test.mjs <zarncap executable> <work folder>
//
// Exit 0 when every check holds, 1 otherwise, 77 when there is no browser.
import { spawn } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, writeFileSync } from 'node:fs';
import http from 'node:http';
import net from 'node:net';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

const [zarncap, work] = process.argv.slice(2);
const browserPath = process.env.CHROMIUM || '/usr/bin/chromium';
if (!existsSync(browserPath)) {
  console.log(`no browser at ${browserPath}`);
  process.exit(77);
}
const { chromium } = await import('playwright-core');

let failed = 0;
function check(name, ok, why = '') {
  console.log(`test ${name}: ${ok ? 'OK' : 'FAIL'}${ok || !why ? '' : ` (${why})`}`);
  if (!ok) failed += 1;
}
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// The preview on a free port of loopback, with its own settings folder.
const config = mkdtempSync(join(tmpdir(), 'zarncap-preview-'));
const server = spawn(zarncap, ['preview', '--listen', '127.0.0.1:0'], {
  env: { ...process.env, ZARNCAP_CONFIG_DIR: config, ZARNCAP_CAMERA: 'sim:noise=4' },
  stdio: ['ignore', 'pipe', 'inherit'],
});
const base = await new Promise((resolve, reject) => {
  let said = '';
  server.stdout.on('data', (chunk) => {
    said += chunk;
    const found = said.match(/preview at (http:\/\/[^/]+)\//);
    if (found) resolve(found[1]);
  });
  server.on('exit', (code) => reject(new Error(`zarncap preview ended with ${code}: ${said}`)));
});
const rssKiB = () => Number(readFileSync(`/proc/${server.pid}/status`, 'utf8').match(/VmRSS:\s+(\d+)/)[1]);
const stats = async () => (await fetch(`${base}/api/stats`)).json();

const browser = await chromium.launch({ executablePath: browserPath, args: ['--no-sandbox'] });
try {
  const page = await browser.newPage({ viewport: { width: 1000, height: 720 } });
  await page.goto(`${base}/`);

  // The live image arrives and changes.
  await page.waitForFunction(() => document.getElementById('live').naturalWidth > 0, null, { timeout: 15000 });
  const sample = () => page.evaluate(() => {
    const image = document.getElementById('live');
    const canvas = document.createElement('canvas');
    canvas.width = image.naturalWidth;
    canvas.height = image.naturalHeight;
    const context = canvas.getContext('2d');
    context.drawImage(image, 0, 0);
    return Array.from(context.getImageData(0, 0, canvas.width, canvas.height).data.filter((_, i) => i % 97 === 0));
  });
  const first = await sample();
  await sleep(700);
  const second = await sample();
  check('live image arrives and changes', first.length > 0 && first.some((v, i) => v !== second[i]));
  await sleep(1500);
  const rate = (await stats()).fps;
  check('frames at the driver\'s rate', rate > 10 && rate < 20, `${rate} fps`);

  // Brightness from 50 to 80 through the page's slider raises the picture's level.
  const slide = async (value) => {
    await page.locator('#control-brightness').fill(String(value));
    await page.waitForFunction((v) => document.getElementById('control-brightness').value === String(v), value);
    await sleep(1500);
    return (await stats()).mean_level;
  };
  const at50 = await slide(50);
  const at80 = await slide(80);
  check('brightness 50 -> 80 raises the mean level', at80 > at50 + 5, `${at50} -> ${at80}`);
  await slide(50);

  // The snapshot is a PNG of the chosen size.
  const png = Buffer.from(await (await fetch(`${base}/api/snapshot.png`)).arrayBuffer());
  check('snapshot is a 320x240 PNG', png.subarray(1, 4).toString() === 'PNG' && png.readUInt32BE(16) === 320 &&
        png.readUInt32BE(20) === 240);

  await page.screenshot({ path: join(work, 'preview.png') });
} finally {
  await browser.close();
}

// Changes need the page's token and no foreign origin.
const token = (await (await fetch(`${base}/`)).text()).match(/zarncap-token" content="([0-9a-f]{32})"/)[1];
const post = (headers) => fetch(`${base}/api/controls`, {
  method: 'POST', headers: { 'Content-Type': 'application/x-www-form-urlencoded', ...headers }, body: 'brightness=90',
});
check('a change without the token is refused', (await post({})).status === 403);
check('a change from another origin is refused', (await post({ 'X-Zarncap-Token': token, Origin: 'http://evil.example' })).status === 403);
check('a change with the token is taken', (await post({ 'X-Zarncap-Token': token })).status === 200);

// Twenty viewers at once; one killed mid-frame; memory stays bounded.
const before = rssKiB();
const viewers = [];
for (let i = 0; i < 20; ++i) {
  const viewer = { bytes: 0 };
  viewer.request = http.get(`${base}/stream.mjpg`, (response) => {
    response.on('data', (chunk) => {
      viewer.bytes += chunk.length;
      // Viewer 0 goes away in the middle of its first frame.
      if (i === 0 && viewer.bytes > 1000) viewer.request.destroy();
    });
    response.on('error', () => {});
  });
  viewer.request.on('error', () => {});
  viewers.push(viewer);
}
await sleep(3000);
const midway = viewers.map((v) => v.bytes);
await sleep(2000);
const grew = viewers.slice(1).every((v, i) => v.bytes > midway[i + 1]);
check('20 viewers all receive, one killed mid-frame', grew, midway.join(','));
check('20 viewers are counted', (await stats()).viewers === 19, `${(await stats()).viewers}`);
const after = rssKiB();
// Under AddressSanitizer freed memory waits in its quarantine (up to 256 MiB),
// so the resident size says nothing there; ASan checks the memory itself.
if (readFileSync(zarncap).includes('__asan_init')) {
  console.log(`test memory stays bounded with 20 viewers: skipped in a sanitizer build (${before} KiB -> ${after} KiB)`);
} else {
  check('memory stays bounded with 20 viewers', after - before < 64 * 1024, `${before} KiB -> ${after} KiB`);
}
for (const viewer of viewers) viewer.request.destroy();

// Sixty connections trickling a header line every two seconds, beside the
// viewers still watching: the API is still answered within a second, and a
// trickling connection is dropped rather than held.
const slow = [];
for (let i = 0; i < 60; ++i) {
  const socket = net.connect(Number(new URL(base).port), '127.0.0.1');
  socket.on('error', () => {});
  socket.resume();  // read what the server says, so its close is seen
  socket.write('GET /api/stats HTTP/1.1\r\n');
  slow.push({ socket, timer: setInterval(() => socket.write('X-Slow: 1\r\n'), 2000) });
  await sleep(20);  // one after the other, as clients come, not all in one burst at the listen queue
}
await sleep(2500);
const asked = Date.now();
const answered = await Promise.race([stats().then(() => Date.now() - asked), sleep(5000).then(() => 'none')]);
check('the API answers within a second beside 60 slow connections', typeof answered === 'number' && answered < 1000,
      `${answered} ms`);
// Connections beyond the listen queue are taken as their retries come in: give
// every one the time to be accepted, then to be dropped.
const stillOpen = () => slow.filter((s) => !s.socket.destroyed && s.socket.readyState === 'open').length;
for (let waited = 0; waited < 30000 && stillOpen() > 0; waited += 250) await sleep(250);
check('a slow-sending connection is dropped', stillOpen() === 0, `${stillOpen()} still open`);
for (const s of slow) {
  clearInterval(s.timer);
  s.socket.destroy();
}
// A refused format leaves the picture going; three changes at once each get an answer.
const form = (body) => fetch(`${base}/api/format`, {
  method: 'POST', headers: { 'Content-Type': 'application/x-www-form-urlencoded', 'X-Zarncap-Token': token }, body,
});
const watcher = http.get(`${base}/stream.mjpg`, (response) => { response.on('data', () => {}); response.on('error', () => {}); });
watcher.on('error', () => {});
await sleep(1500);
check('a format the driver refuses is a 400', (await form('size=640x480&format=yvu9')).status === 400);
const framesBefore = (await stats()).frames;
await sleep(2500);
check('the picture goes on after a refused format', (await stats()).frames > framesBefore);
watcher.destroy();
const statuses = await Promise.all(['160x120', '176x144', '320x240'].map((size) => form(`size=${size}&format=rgb24`).then((r) => r.status)));
check('three format changes at once each get an answer', statuses.every((code) => code === 200 || code === 503),
      statuses.join(','));
check('the format API works afterwards', (await form('size=320x240&format=rgb24')).status === 200);

// Ctrl-C ends it cleanly.
const ended = new Promise((resolve) => server.on('exit', (code, signal) => resolve({ code, signal })));
server.kill('SIGINT');
const exit = await Promise.race([ended, sleep(10000).then(() => ({ code: 'timeout' }))]);
check('Ctrl-C closes the stream and the driver (exit status 130, as for every long command)', exit.code === 130, JSON.stringify(exit));
if (exit.code === 'timeout') server.kill('SIGKILL');

writeFileSync(join(work, 'preview-result.txt'), failed === 0 ? 'ok\n' : `${failed} failed\n`);
console.log(failed === 0 ? 'all passed' : `${failed} failed`);
process.exit(failed === 0 ? 0 : 1);
