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
const net = require('node:net');
const os = require('node:os');
const path = require('node:path');
const { chromium } = require('playwright-core');

const [tool, simTool, outDir] = process.argv.slice(2);
const WAIT_MS = 15000;
const INTERVAL_MS = 200;
// The server gives up on a request whose body never comes after 5 s; a
// refusal from the headers alone comes well before that.
const SERVER_ANSWER_MS = 3000;
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
function bounded(promise, what, ms = WAIT_MS) {
  let timer;
  const timeout = new Promise((resolve, reject) => {
    timer = setTimeout(() => reject(new Error(`${what}: not within ${ms} ms`)), ms);
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

// Sends head (and the start of a body) on a raw socket and never the rest;
// resolves with the answer once the server closed the connection.
function rawRequest(port, head) {
  return bounded(new Promise((resolve) => {
    const socket = net.connect(port, '127.0.0.1', () => socket.write(head));
    let data = '';
    socket.on('data', (d) => { data += d; });
    socket.on('error', () => {});   // a reset after the answer; the answer counts
    socket.on('close', () => resolve({ status: Number((/^HTTP\/1\.1 (\d+)/.exec(data) || [])[1]), body: data }));
  }), 'raw request', SERVER_ANSWER_MS);
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
  fs.writeFileSync(tagFile, '# panel test tags\n\nDB1.DBD4, float, 1, Flow, litres\nDB1.DBW2,int16\n'
    + 'DB1.DBW2, int16, 1, Same word again\n');
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
    ['403 with a token wrong in its first character', () => write(good,
      { 'X-Token': (token[0] === '0' ? '1' : '0') + token.slice(1) }), 403],
    ['403 from a foreign Origin', () => write(good, { 'X-Token': token, Origin: 'http://evil.example' }), 403],
    ['403 for a foreign Host', () => request(port, 'GET', '/api/tags', { headers: { Host: `evil.example:${port}` } }), 403],
    ['403 for a Host naming another port', () => request(port, 'GET', '/api/tags',
      { headers: { Host: `127.0.0.1:${port + 1}` } }), 403],
    ['413 for a body over 64 KiB', () => write(' '.repeat(64 * 1024 + 1), { 'X-Token': token }), 413],
    ['413 for a chunked body over 64 KiB', () => request(port, 'POST', '/api/write', { headers: { 'X-Token': token,
      'Transfer-Encoding': 'chunked' }, body: ' '.repeat(64 * 1024 + 1) }), 413],
    ['413 from the headers of a 300 MiB body, none of it read', () => rawRequest(port, 'POST /api/write HTTP/1.1\r\n'
      + `Host: 127.0.0.1:${port}\r\nX-Token: ${token}\r\nContent-Length: 314572800\r\n\r\n{"tag": `), 413],
    ['411 for a POST without Content-Length', () => rawRequest(port, 'POST /api/write HTTP/1.1\r\n'
      + `Host: 127.0.0.1:${port}\r\nX-Token: ${token}\r\n\r\n{"tag": "DB1.DBW2:int16"`), 411],
    ['403 from Origin: null', () => write(good, { 'X-Token': token, Origin: 'null' }), 403],
    ['404 for an unknown path', () => request(port, 'GET', '/etc/passwd'), 404],
    ['405 for a wrong method', () => request(port, 'GET', '/api/write'), 405],
    ['400 for bad JSON', () => write('{"tag": ', { 'X-Token': token }), 400, /not \{"index"/],
    ['400 for an unknown tag', () => write('{"tag": "M0:int8", "values": [1]}', { 'X-Token': token }), 400, /unknown tag/],
    ['400 for a value out of range', () => write('{"tag": "Flow, litres", "values": [1e39]}', { 'X-Token': token }),
      400, /out of range for Float/],
  ];
  for (const [name, send, status, why = /^[^\n]+\n$/] of refusals) {
    await check(`HTTP: ${name}`, async () => {
      const res = await send();
      assert.equal(res.status, status, res.body);
      const text = res.body.slice(res.body.indexOf('\r\n\r\n') + 1).trimStart();   // raw answers hold the head too
      assert.match(text, /^[^\n]+\n$/, 'one line saying why');
      assert.match(text, why);
    });
  }
  await check('HTTP: HEAD is answered as GET is, without the body', async () => {
    for (const urlPath of ['/', '/uPlot.iife.min.js', '/api/tags']) {
      const head = await request(port, 'HEAD', urlPath);
      assert.deepEqual([head.status, head.body], [200, ''], urlPath);
    }
  });
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
  await check('HTTP: whole numbers however written go to an integer tag', async () => {
    for (const [number, expected] of [['1e2', 100], ['-250.0', -250], ['32767e0', 32767]]) {
      const res = await write(`{"tag": "DB1.DBW2:int16", "values": [${number}]}`, { 'X-Token': token });
      assert.equal(res.status, 200, res.body);
      assert.equal(JSON.parse(await cli('read', plc, 'DB1.DBW2', 'int16', '--json')).values[0], expected);
    }
    const res = await write('{"tag": "DB1.DBW2:int16", "values": [1.5]}', { 'X-Token': token });
    assert.equal(res.status, 400, res.body);
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
    const cellOf = (name, column) => page.locator(`tr[data-name="${name}"] td.${column}`).first();

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
      assert.equal(await page.locator('.chart').count(), 5, 'one trend per numeric scalar tag');
    });

    await check('page: a write typed into the page lands in the PLC, and both rows of its word show it', async () => {
      const form = page.locator('tr[data-index="5"] td.write');
      await form.locator('input').fill('-77');
      await form.locator('button').click();
      await page.waitForFunction(() => document.querySelector('tr[data-index="5"] .note').textContent === '0 ok');
      assert.equal(JSON.parse(await cli('read', plc, 'DB1.DBW2', 'int16', '--json')).values[0], -77);
      await page.waitForFunction(() => ['4', '5'].every((i) =>
        document.querySelector(`tr[data-index="${i}"] td.value`).textContent === '-77'));
    });

    await check('page: checks a value\'s range itself and sends nothing out of range', async () => {
      const form = page.locator('tr[data-index="4"] td.write');
      await form.locator('input').fill('40000');
      await form.locator('button').click();
      assert.equal(await form.locator('.note').textContent(), "'40000' is out of range for Int16 (-32768 to 32767)");
      const flow = page.locator('tr[data-name="DB1.DBD4:float:1"] td.write');
      await flow.locator('input').fill('3.40282347e+38');   // FLT_MAX as read shows it
      await flow.locator('button').click();
      await page.waitForFunction(() => document.querySelector('tr[data-name="DB1.DBD4:float:1"] .note').textContent === '0 ok');
      await page.waitForFunction(() => document.querySelector('tr[data-name="DB1.DBD4:float:1"] td.value').textContent === '3.40282347e+38');
      assert.equal(JSON.parse(await cli('read', plc, 'DB1.DBW2', 'int16', '--json')).values[0], -77);
    });

    await check('page: pausing holds the trends, resuming draws what came meanwhile', async () => {
      const points = () => page.evaluate(() => Number(document.querySelector('.chart[data-index="0"]').dataset.points));
      const poll = () => page.evaluate(() => Number(document.body.dataset.poll));
      await page.click('#pause');
      const held = await points();
      const from = await poll();
      await page.waitForFunction((p) => Number(document.body.dataset.poll) >= p + 3, from);
      assert.equal(await points(), held);
      assert.equal(await page.textContent('#pause'), 'Resume trends');
      await page.click('#pause');
      assert.ok(await points() >= held + 3, 'the polls while paused are drawn');
    });

    await check('page: downloads the history as CSV', async () => {
      const [download] = await Promise.all([page.waitForEvent('download'), page.click('#download')]);
      const csv = fs.readFileSync(await download.path(), 'utf8').trim().split('\n');
      assert.equal(download.suggestedFilename(), 'quillmarsh-history.csv');
      assert.equal(csv[0], 'poll,time,DB1.DBW0:int16,DB1.DBB8:uint64,"Flow, litres",DB1.DBW2:int16,Same word again');
      assert.ok(csv.length > 10, `${csv.length - 1} rows`);
      assert.match(csv[csv.length - 1], /^\d+,[-\d: .]+,-?\d+,18446744073709551615,3.40282347e\+38,-77,-77$/);
    });

    await check('page: a page opened later starts its trends from the history', async () => {
      const before = JSON.parse((await request(port, 'GET', '/api/tags')).body).poll;
      const late = await context.newPage();
      try {
        await late.goto(url);
        await late.waitForFunction(() => document.body.dataset.poll !== undefined);
        const [points, poll] = await late.evaluate(() => [Number(document.querySelector('.chart[data-index="0"]').dataset.points),
          Number(document.body.dataset.poll)]);
        assert.ok(before > 10 && points >= before - 1, `${points} points at poll ${poll}, ${before} polls before the page opened`);
      } finally {
        await late.close();
      }
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

    await check('page: a failed tag\'s and write\'s cause and remedy, the link\'s figures and the PLC clock\'s offset', async () => {
      const { child: ahead, match: a } = await startUntil(simTool, ['--port', '0', '--clock-offset', '90s'],
        /listening on ([\d.]+:\d+)/);
      const { child, match: m } = await startUntil(tool, ['panel', a[1], 'DB1.DBW0:int16', 'DB99.DBW0:int16', '--http',
        '127.0.0.1:0', '--interval', '20', '--writable'], /^panel on (http:\/\/127\.0\.0\.1:(\d+)\/\?token=(\w+))\n/);
      const other = await context.newPage();
      try {
        await other.goto(m[1]);
        await other.waitForFunction(() => Number(document.body.dataset.poll) >= 2);
        const missing = other.locator('tr[data-name="DB99.DBW0:int16"] td.status');
        assert.match(await missing.locator('.why').textContent(), /^object does not exist/);
        assert.match(await missing.locator('.remedy').textContent(), /switch off 'Optimized block access'/);
        assert.equal(await other.locator('tr[data-name="DB1.DBW0:int16"] td.status').textContent(), '0 ok');
        assert.equal(await other.textContent('#stats-tags'), 'tags 1 ok, 1 bad');
        assert.equal(await other.textContent('#stats-traffic'), '1 call, 4 B per poll');
        assert.match(await other.textContent('#stats-poll'), /^poll \d+\.\d ms, median \d+\.\d ms, 99% \d+\.\d ms$/);
        assert.equal(await other.textContent('#stats-clock'), 'PLC clock +90.0 s against this machine');
        assert.equal(await other.textContent('#tags th:nth-child(6)'), 'Read at (this machine)');
        const written = await request(Number(m[2]), 'POST', '/api/write', { headers: { 'Content-Type': 'application/json',
          'X-Token': m[3] }, body: '{"index": 1, "values": [5]}' });
        const record = JSON.parse(written.body);
        assert.ok(record.status === 7 && /^object does not exist/.test(record.why) && /Optimized block access/.test(record.remedy),
          written.body);
      } finally {
        await other.close();
        child.kill('SIGTERM');
        ahead.kill('SIGTERM');
      }
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
