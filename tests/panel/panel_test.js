// quillmarsh panel in a real browser (Debian's chromium driven by
// playwright-core) and at the HTTP level, against quillmarsh-sim processes.
// The simulator's memory is set and read back with `quillmarsh write` and
// `quillmarsh read`, as it is a real S7 server.
//   node panel_test.js QUILLMARSH QUILLMARSH_SIM OUTPUT_DIR
'use strict';

const assert = require('node:assert/strict');
const { spawn, execFile } = require('node:child_process');
const fs = require('node:fs');
const http = require('node:http');
const os = require('node:os');
const path = require('node:path');
const { chromium } = require('playwright-core');

const [tool, simTool, outDir] = process.argv.slice(2);
const WAIT_MS = 15000;
const INTERVAL_MS = 200;
const children = [];
const results = { passed: 0, failed: 0 };

// Starts a program and resolves with the first stdout line matching re.
function startUntil(cmd, args, re) {
  const child = spawn(cmd, args, { stdio: ['ignore', 'pipe', 'pipe'] });
  children.push(child);
  let out = '';
  let err = '';
  child.stderr.on('data', (d) => { err += d; });
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`${cmd}: no '${re}' within ${WAIT_MS} ms: ${err}`)), WAIT_MS);
    child.stdout.on('data', (d) => {
      out += d;
      const m = re.exec(out);
      if (m) { clearTimeout(timer); resolve({ child, match: m, stderr: () => err }); }
    });
    child.on('exit', (code) => { clearTimeout(timer); reject(new Error(`${cmd} ended (${code}): ${err}`)); });
  });
}

// Resolves as promise does, or rejects after WAIT_MS.
function bounded(promise, what) {
  let timer;
  const timeout = new Promise((resolve, reject) => {
    timer = setTimeout(() => reject(new Error(`${what}: not within ${WAIT_MS} ms`)), WAIT_MS);
  });
  return Promise.race([promise, timeout]).finally(() => clearTimeout(timer));
}

function ended(child) {
  if (child.exitCode !== null || child.signalCode !== null) return Promise.resolve(child.exitCode);
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error('process did not end in time')), WAIT_MS);
    child.on('exit', (code) => { clearTimeout(timer); resolve(code); });
  });
}

function cli(...args) {
  return new Promise((resolve, reject) => {
    execFile(tool, args, { timeout: WAIT_MS }, (error, stdout, stderr) => {
      if (error) reject(new Error(`quillmarsh ${args.join(' ')}: ${stderr || error.message}`));
      else resolve(stdout);
    });
  });
}

function request(port, method, urlPath, { headers = {}, body } = {}) {
  return new Promise((resolve, reject) => {
    const req = http.request({ host: '127.0.0.1', port, method, path: urlPath, headers, timeout: WAIT_MS }, (res) => {
      let data = '';
      res.on('data', (d) => { data += d; });
      res.on('end', () => resolve({ status: res.statusCode, body: data }));
    });
    req.on('timeout', () => req.destroy(new Error('request timed out')));
    req.on('error', reject);
    if (body !== undefined) req.write(body);
    req.end();
  });
}

// An open stream: resolves with the status once the first event arrived
// (200) or the refusal did (anything else).
function openStream(port) {
  return new Promise((resolve, reject) => {
    const req = http.get({ host: '127.0.0.1', port, path: '/api/stream', timeout: WAIT_MS }, (res) => {
      if (res.statusCode !== 200) { res.resume(); resolve({ status: res.statusCode, req }); return; }
      res.once('data', () => resolve({ status: 200, req, res }));
    });
    req.on('timeout', () => req.destroy(new Error('stream timed out')));
    req.on('error', reject);
  });
}

async function check(name, fn) {
  try {
    await fn();
    results.passed += 1;
    console.log(`ok - ${name}`);
  } catch (e) {
    results.failed += 1;
    console.log(`not ok - ${name}\n  ${String(e.stack || e).replace(/\n/g, '\n  ')}`);
  }
}

async function startSim(port) {
  const { child, match } = await startUntil(simTool, ['--port', String(port)], /listening on ([\d.]+):(\d+)/);
  return { child, endpoint: `${match[1]}:${match[2]}`, port: Number(match[2]) };
}

async function main() {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'quillmarsh-panel-'));
  let sim = await startSim(0);
  const plc = sim.endpoint;
  await cli('write', plc, 'DB1.DBW0', 'int16', '1234');
  await cli('write', plc, 'DB1.DBB8', 'uint64', '18446744073709551615');
  await cli('write', plc, 'DB1.DBW20', 'int16', '1,-2,3');
  const tagFile = path.join(work, 'tags.csv');
  fs.writeFileSync(tagFile, '# panel test tags\n\nDB1.DBD4, float, 1, Flow, litres\nDB1.DBW2,int16\n');
  const { child: panel, match } = await startUntil(tool, ['panel', plc, 'DB1.DBW0:int16', 'DB1.DBB8:uint64',
    'DB1.DBW20:int16:3', '--tags', tagFile, '--http', '127.0.0.1:0', '--interval', String(INTERVAL_MS),
    '--writable'], /^panel on (http:\/\/127\.0\.0\.1:(\d+)\/\?token=([0-9a-f]{32}))\n/);
  const [, url, portText, token] = match;
  const port = Number(portText);
  const write = (body, headers = {}) => request(port, 'POST', '/api/write',
    { headers: { 'Content-Type': 'application/json', ...headers }, body });
  const good = JSON.stringify({ tag: 'DB1.DBW2:int16', values: [5] });

  const refusals = [
    ['403 without token', () => write(good), 403],
    ['403 with a wrong token', () => write(good, { 'X-Token': token.replace(/./g, '0') }), 403],
    ['403 from a foreign Origin', () => write(good, { 'X-Token': token, Origin: 'http://evil.example' }), 403],
    ['403 for a foreign Host', () => request(port, 'GET', '/api/tags', { headers: { Host: `evil.example:${port}` } }), 403],
    ['413 for a body over 64 KiB', () => write(' '.repeat(64 * 1024 + 1), { 'X-Token': token }), 413],
    ['404 for an unknown path', () => request(port, 'GET', '/etc/passwd'), 404],
    ['405 for a wrong method', () => request(port, 'GET', '/api/write'), 405],
    ['400 for bad JSON', () => write('{"tag": ', { 'X-Token': token }), 400, /not \{"tag"/],
    ['400 for an unknown tag', () => write('{"tag": "M0:int8", "values": [1]}', { 'X-Token': token }), 400, /unknown tag/],
    ['400 for a value out of range', () => write('{"tag": "Flow, litres", "values": [1e39]}', { 'X-Token': token }),
      400, /out of range for Float/],
  ];
  for (const [name, send, status, why = /^[^\n]+\n$/] of refusals) {
    await check(`HTTP: ${name}`, async () => {
      const res = await send();
      assert.equal(res.status, status, res.body);
      assert.match(res.body, /^[^\n]+\n$/, 'one line saying why');
      assert.match(res.body, why);
    });
  }
  await check('HTTP: 503 for the 33rd stream client', async () => {
    const streams = [];
    try {
      for (let i = 0; i < 32; i += 1) streams.push(await openStream(port));
      assert.deepEqual(streams.map((s) => s.status), new Array(32).fill(200));
      const extra = await openStream(port);
      streams.push(extra);
      assert.equal(extra.status, 503);
    } finally {
      streams.forEach((s) => s.req.destroy());
    }
  });
  // Refused writes never reached the PLC.
  await check('HTTP: refused writes left the PLC alone', async () => {
    assert.equal(JSON.parse(await cli('read', plc, 'DB1.DBW2', 'int16', '--json')).values[0], 0);
  });

  const profile = fs.mkdtempSync(path.join(work, 'profile-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: '/usr/bin/chromium', headless: true, timeout: WAIT_MS,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  try {
    const page = await context.newPage();
    page.setDefaultTimeout(WAIT_MS);
    await page.goto(url);
    const cellOf = (name, column) => page.locator(`tr[data-name="${name}"] td.${column}`);

    await check('page: shows the values the PLC holds', async () => {
      for (const [name, value] of [['DB1.DBW0:int16', '1234'], ['DB1.DBB8:uint64', '18446744073709551615'],
        ['DB1.DBW20:int16:3', '1, -2, 3'], ['DB1.DBD4:float:1', '0']]) {
        await page.waitForFunction(([n, v]) => document.querySelector(`tr[data-name="${n}"] td.value`)?.textContent === v,
          [name, value]);
        assert.equal(await cellOf(name, 'status').textContent(), '0 ok');
      }
      assert.equal(await cellOf('DB1.DBD4:float:1', 'tag').textContent(), 'Flow, litres (DB1.DBD4:float:1)');
    });

    await check('page: a changed value shows within two polls', async () => {
      await cli('write', plc, 'DB1.DBW0', 'int16', '4321');
      const pollAfterWrite = JSON.parse((await request(port, 'GET', '/api/tags')).body).poll;
      const shownAt = await page.waitForFunction(() => {
        const cell = document.querySelector('tr[data-name="DB1.DBW0:int16"] td.value');
        return cell.textContent === '4321' && Number(document.body.dataset.poll);
      }, null, { polling: 'raf' });
      assert.ok(await shownAt.jsonValue() <= pollAfterWrite + 2, `shown at poll ${await shownAt.jsonValue()}, written before ${pollAfterWrite + 1}`);
    });

    await check('page: draws trend points', async () => {
      await page.waitForFunction(() => Number(document.querySelector('.chart[data-name="DB1.DBW0:int16"]')?.dataset.points) >= 3);
      const painted = await page.evaluate(() => {
        const canvas = document.querySelector('.chart[data-name="DB1.DBW0:int16"] canvas');
        const pixels = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
        let n = 0;
        for (let i = 0; i < pixels.length; i += 4) {
          if (pixels[i] === 21 && pixels[i + 1] === 101 && pixels[i + 2] === 192) n += 1;
        }
        return n;
      });
      assert.ok(painted > 20, `${painted} pixels in the trend colour`);
      assert.equal(await page.locator('.chart').count(), 4, 'one trend per numeric scalar tag');
    });

    await check('page: a write typed into the page lands in the PLC', async () => {
      const form = page.locator('tr[data-name="DB1.DBW2:int16"] td.write');
      await form.locator('input').fill('-77');
      await form.locator('button').click();
      await page.waitForFunction(() => document.querySelector('tr[data-name="DB1.DBW2:int16"] .note').textContent === '0 ok');
      assert.equal(JSON.parse(await cli('read', plc, 'DB1.DBW2', 'int16', '--json')).values[0], -77);
      await page.waitForFunction(() => document.querySelector('tr[data-name="DB1.DBW2:int16"] td.value').textContent === '-77');
    });

    fs.mkdirSync(outDir, { recursive: true });
    await page.screenshot({ path: path.join(outDir, 'panel.png'), fullPage: true });

    await check('page: reconnects after the PLC went away and came back', async () => {
      sim.child.kill('SIGTERM');
      await ended(sim.child);
      await page.waitForFunction(() => Number(document.getElementById('banner').dataset.attempts) >= 1
        && document.getElementById('banner').classList.contains('reconnecting'));
      sim = await startSim(sim.port);
      await cli('write', plc, 'DB1.DBW0', 'int16', '999');
      await page.waitForFunction(() => document.getElementById('banner').classList.contains('connected')
        && document.querySelector('tr[data-name="DB1.DBW0:int16"] td.value').textContent === '999');
    });

    await check('panel: SIGTERM ends it cleanly with a stream client open', async () => {
      const stream = await openStream(port);
      const closed = new Promise((resolve) => stream.res.on('end', resolve));
      panel.kill('SIGTERM');
      assert.equal(await ended(panel), 0);
      await bounded(closed, 'end of the stream');
    });
  } finally {
    await context.close();
  }

  await check('read-only panel: refuses writes, prints no token, keeps --history polls', async () => {
    const { child, match: m } = await startUntil(tool, ['panel', plc, 'DB1.DBW0:int16', 'M0:int8:2', '--http',
      '127.0.0.1:0', '--interval', '20', '--history', '2'], /^panel on http:\/\/127\.0\.0\.1:(\d+)\/\n/);
    const readOnly = Number(m[1]);
    const res = await request(readOnly, 'POST', `/api/write?token=${token}`, { body: good });
    assert.equal(res.status, 403);
    for (let i = 0; i < 100 && JSON.parse((await request(readOnly, 'GET', '/api/tags')).body).poll < 4; i += 1)
      await new Promise((resolve) => setTimeout(resolve, 50));
    const csv = (await request(readOnly, 'GET', '/api/history.csv')).body.trim().split('\n');
    assert.equal(csv[0], 'poll,time,DB1.DBW0:int16');
    assert.equal(csv.length, 3, csv.join('\n'));
    assert.match(csv[2], /^\d+,\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3},999$/);
    child.kill('SIGTERM');
    assert.equal(await ended(child), 0);
  });
  fs.rmSync(work, { recursive: true, force: true });
}

// Every wait above is bounded; this bounds the whole run as well.
setTimeout(() => {
  console.log('not ok - the test did not finish within 240 s');
  for (const child of children) child.kill('SIGKILL');
  process.exit(1);
}, 240000).unref();

main()
  .catch((e) => { results.failed += 1; console.log(`not ok - setup\n  ${e.stack || e}`); })
  .finally(() => {
    for (const child of children) if (child.exitCode === null && child.signalCode === null) child.kill('SIGKILL');
    console.log(`${results.passed} passed, ${results.failed} failed`);
    process.exitCode = results.failed === 0 && results.passed > 0 ? 0 : 1;
  });
