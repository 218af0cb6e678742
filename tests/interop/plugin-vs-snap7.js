#!/usr/bin/env node
// The plug-in against snap7's S7 server, an independent S7 peer: quillmarsh
// (which loads the plug-in as a host does) reads bytes the server holds and
// writes into it, one row per memory area and per type family, judged by
// the server's own memory with the neighbouring bytes untouched; then reads
// batches of tags through the plug-in's extension (read --tags), counted in
// jobs by the plug-in's log and in items by the server's events. Every frame
// of the run, as the plug-in's debug log shows it, then goes through
// Wireshark's dissectors and must decode as TPKT, COTP and S7 communication.
//
//   node plugin-vs-snap7.js PATH-TO-quillmarsh
//
// One line per check; the exit code is 1 when any check failed.
'use strict';

const { spawnSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const sim = require('./sim-process');
const { check } = sim;

const snap7 = sim.requireModule('node-snap7');
const quillmarsh = process.argv[2];
if (!quillmarsh) sim.abort('usage: node plugin-vs-snap7.js PATH-TO-quillmarsh');

const server = new snap7.S7Server();
const AREAS = {
  PE: { code: server.srvAreaPE, size: 256, tag: 0x81 },
  PA: { code: server.srvAreaPA, size: 256, tag: 0x82 },
  MK: { code: server.srvAreaMK, size: 256, tag: 0x83 },
  DB1: { code: server.srvAreaDB, db: 1, size: 1024, tag: 0x85 },
  DB10: { code: server.srvAreaDB, db: 10, size: 512, tag: 0x8e },
  DB2: { code: server.srvAreaDB, db: 2, size: 1024, tag: 0x22 },
};
// Every byte i of an area starts as (i * 7 + tag) & 0xFF; data block 5 is left out.
const seed = (a) => Buffer.alloc(a.size).map((_, i) => (i * 7 + a.tag) & 0xff);
const args = (a, ...rest) => (a.db === undefined ? [a.code, ...rest] : [a.code, a.db, ...rest]);
const memory = (name) => server.GetArea(...args(AREAS[name]));
function setBytes(name, start, hex) {
  const buf = memory(name);
  Buffer.from(hex, 'hex').copy(buf, start);
  server.SetArea(...args(AREAS[name], buf));
}
const reseed = () => Object.values(AREAS).forEach((a) => server.SetArea(...args(a, seed(a))));

// A port below the ephemeral range; a server whose start failed stays
// unable to start, so a failure ends the script.
Object.values(AREAS).forEach((a) => server.RegisterArea(...args(a, seed(a))));
const port = 20000 + Math.floor(Math.random() * 12000);
if (!server.SetParam(server.LocalPort, port) || !server.StartTo('127.0.0.1'))
  sim.abort('snap7 server cannot listen on port ' + port + ': ' + server.ErrorText(server.LastError()));
const plc = '127.0.0.1:' + port;

const frames = [];
// quillmarsh with --json and --debug: its record, exit code, and the frames
// its debug log shows.
function run(...words) {
  const r = spawnSync(quillmarsh, [...words, '--json', '--debug'], { encoding: 'utf8', timeout: 30000 });
  for (const m of r.stderr.matchAll(/lib\[Quillmarsh\](读命令|写命令|响应) .* msg : ([0-9a-f]*)/g))
    frames.push({ request: m[1] !== '响应', hex: m[2] });
  const values = /"values":(\[[^\]]*\])/.exec(r.stdout);
  const status = /"status":(-?\d+)/.exec(r.stdout);
  return { status: status ? Number(status[1]) : 'none: ' + r.stderr, values: values ? values[1] : r.stdout };
}

// The bytes at start, with one seed byte on either side.
function expectMemory(name, start, hex) {
  const around = Buffer.concat([seed(AREAS[name]).subarray(start - 1, start), Buffer.from(hex, 'hex'),
                                seed(AREAS[name]).subarray(start + hex.length / 2, start + hex.length / 2 + 1)]);
  return memory(name).subarray(start - 1, start + 1 + hex.length / 2).toString('hex') === around.toString('hex');
}

// [name, address, type, area, start, bytes, values as quillmarsh takes and prints them, write status]
const ROWS = [
  ['inputs', 'I60', 'int16', 'PE', 60, 'fffe', '[-2]', 6],
  ['outputs', 'Q60', 'uint8', 'PA', 60, 'ff01', '[255,1]'],
  ['markers', 'M60', 'int32', 'MK', 60, '80000000', '[-2147483648]'],
  ['DB1', 'DB1.DBD60', 'float', 'DB1', 60, '40490fdb', '[3.1415927]'],
  ['DB10', 'DB10.DBD60', 'int64', 'DB10', 60, '0000000080000000', '[2147483648]'],
  ['V is DB1', 'V80', 'double', 'DB1', 80, '400921fb54442d18', '[3.141592653589793]'],
  ['8 bit signed', 'DB1.DBB90', 'int8', 'DB1', 90, 'ff12', '[-1,18]'],
  ['16 bit unsigned', 'DB1.DBW92', 'uint16', 'DB1', 92, 'fffe1234', '[65534,4660]'],
  ['32 bit unsigned', 'DB1.DBD96', 'uint32', 'DB1', 96, '80000001', '[2147483649]'],
  ['64 bit unsigned', 'DB1.DBD100', 'uint64', 'DB1', 100, 'ffffffffffffffff', '[18446744073709551615]'],
];
for (const [name, address, type, area, start, hex, values, writeStatus = 0] of ROWS) {
  reseed();
  setBytes(area, start, hex);
  const count = String(values.split(',').length);
  const read = run('read', plc, address, type, count);
  check(name + ': read ' + address, read.status === 0 && read.values === values, JSON.stringify(read));
  reseed();
  const written = run('write', plc, address, type, values.slice(1, -1));
  check(name + ': write ' + address, written.status === writeStatus && expectMemory(area, start, hex),
        JSON.stringify(written) + ' memory ' + memory(area).subarray(start - 1, start + 9).toString('hex'));
}

// Bool to an address with a bit writes that bit and the ones after it, and
// no other; without a bit, whole bytes. A read gives the bits from there up.
const BITS = [
  ['marker bit', 'M20.3', '1', 'MK', 20, '00', '08'],
  ['eight bits over a byte boundary', 'DB1.DBX50.4', '1,1,1,1,0,0,0,0', 'DB1', 50, '0f0f', 'ff00'],
  ['input bit', 'I9.1', '1', 'PE', 9, '00', '02', 6],
  ['whole output byte', 'Q7', '0', 'PA', 7, 'ff', '00'],
];
for (const [name, address, bits, area, start, before, after, writeStatus = 0] of BITS) {
  reseed();
  setBytes(area, start, before);
  const written = run('write', plc, address, 'bool', bits);
  check(name + ': write ' + address, written.status === writeStatus && expectMemory(area, start, after),
        JSON.stringify(written) + ' memory ' + memory(area).subarray(start - 1, start + 3).toString('hex'));
  const read = run('read', plc, address, 'bool');
  check(name + ': read back ' + address, read.status === 0 && read.values.startsWith(bits[0] === '1' ? '[true' : '[false'),
        JSON.stringify(read));
}

// The server's refusals are bad answers (7), the markers untouched.
reseed();
check('read of a missing data block', run('read', plc, 'DB5.DBB0', 'uint8', '8').status === 7);
check('write past the end of the markers',
      run('write', plc, 'M250', 'uint8', '1,2,3,4,5,6,7,8').status === 7 && expectMemory('MK', 250, seed(AREAS.MK).subarray(250, 255).toString('hex')));

// Batches: each tag's values as the server's bytes give them, the jobs the
// plug-in sent (request lines of its log), the most it kept unanswered, and
// the items the server served (its data-read events, sizes in bytes).
const itemsRead = [];
server.SetEventMask(server.evcDataRead);
server.on('event', (e) => itemsRead.push(e.EvtParam4));
const READERS = { int8: [1, 'readInt8'], uint8: [1, 'readUInt8'], int16: [2, 'readInt16BE'], uint16: [2, 'readUInt16BE'],
                  int32: [4, 'readInt32BE'], uint32: [4, 'readUInt32BE'], float: [4, 'readFloatBE'] };
function expected(t) {
  const bytes = seed(AREAS[t.area]).subarray(t.start);
  if (t.type === 'bool') { // the bits from the tag's bit up, of every byte read
    const out = [];
    for (let i = 0; i < Math.ceil(t.count / 8); ++i) for (let b = t.bit; b < 8; ++b) out.push(((bytes[i] >> b) & 1) === 1);
    return out.slice(0, t.count); // quillmarsh shows count of them
  }
  const [size, reader] = READERS[t.type];
  return Array.from({ length: t.count }, (_, i) => bytes[reader](i * size));
}
const same = (got, want) => got.length === want.length &&
  got.every((v, i) => (typeof v === 'number' ? Math.fround(v) === Math.fround(want[i]) : v === want[i]));
async function batch(tags, ...options) {
  const file = path.join(os.tmpdir(), 'quillmarsh-batch-' + process.pid + '.csv');
  fs.writeFileSync(file, tags.map((t) => t.address + ',' + t.type + ',' + t.count).join('\n') + '\n');
  const settle = () => new Promise((resolve) => setTimeout(resolve, 200)); // the server's events come through the event loop
  await settle();
  itemsRead.length = 0;
  const r = spawnSync(quillmarsh, ['read', plc, '--tags', file, '--json', '--debug', ...options], { encoding: 'utf8', timeout: 30000 });
  fs.rmSync(file);
  let jobs = 0, open = 0, mostOpen = 0;
  for (const m of r.stderr.matchAll(/lib\[Quillmarsh\](读命令|响应) .* msg : ([0-9a-f]*)/g)) {
    frames.push({ request: m[1] !== '响应', hex: m[2] });
    if (m[1] !== '响应') { ++jobs; mostOpen = Math.max(mostOpen, ++open); } else --open;
  }
  await settle();
  if (!/^{"records"/.test(r.stdout)) sim.abort('no JSON from read --tags: ' + r.stdout + r.stderr);
  return { records: JSON.parse(r.stdout).records, jobs, mostOpen, items: itemsRead.slice() };
}
// Ten tags each in the inputs and markers, forty in each data block, of
// mixed types, counts and odd lengths, `spacing` bytes apart.
function hundredTags(spacing) {
  const kinds = [['bool', 1], ['int8', 3], ['uint16', 1], ['bool', 9], ['int32', 1], ['uint8', 1], ['float', 1], ['int16', 1]];
  const places = [['PE', 'I'], ['MK', 'M'], ...Array(4).fill(['DB1', 'DB1.DBB']), ...Array(4).fill(['DB2', 'DB2.DBB'])];
  const used = {};
  return Array.from({ length: 100 }, (_, i) => {
    const [[type, count], [area, prefix]] = [kinds[i % kinds.length], places[i % places.length]];
    const start = (used[area] = (used[area] || 0) + 1) * spacing - spacing + (i % 3);
    const bit = type === 'bool' ? i % 8 : 0;
    return { address: type === 'bool' ? prefix.replace('DBB', 'DBX') + start + '.' + bit : prefix + start, area, start, bit, type, count };
  });
}

(async () => {
  reseed();
  for (const [name, spacing, jobs, items] of [['close together', 4, 1, 4], ['far apart', 24, 5, 100]]) {
    const tags = hundredTags(spacing);
    const b = await batch(tags, '--jobs', '2');
    const wrong = tags.filter((t, i) => !(b.records[i] && b.records[i].status === 0 && same(b.records[i].values, expected(t))));
    check('batch of 100 tags, ' + name + ': every value as the server holds it', wrong.length === 0,
          JSON.stringify(wrong.slice(0, 3)) + ' ' + JSON.stringify(b.records.slice(0, 3)));
    check('batch of 100 tags, ' + name + ': ' + jobs + ' job(s), ' + items + ' items served, at most 2 in flight',
          b.jobs === jobs && b.items.length === items && b.mostOpen === Math.min(jobs, 2),
          JSON.stringify({ jobs: b.jobs, items: b.items.length, mostOpen: b.mostOpen }));
  }
  // At the 960-byte PDU snap7 grants, a reply carries 942 bytes of one item.
  const long = [{ address: 'DB1.DBB0', area: 'DB1', start: 0, bit: 0, type: 'uint8', count: 943 }];
  const split = await batch(long);
  check('a tag one byte longer than a reply: two jobs, put together', split.records[0].status === 0 &&
        same(split.records[0].values, expected(long[0])) && split.jobs === 2 && split.items.join() === '942,1',
        JSON.stringify({ jobs: split.jobs, items: split.items, status: split.records[0].status }));
  const absent = await batch([['DB1.DBW2', 'int16', 1], ['DB5.DBW0', 'int16', 1], ['DB5.DBB9', 'uint8', 3], ['M3', 'uint8', 1]]
    .map(([address, type, count]) => ({ address, type, count })));
  check('an absent block fails its own tags alone, with return code 0x0A',
        absent.records.map((r) => r.status).join() === '0,7,7,0' &&
        absent.records.filter((r) => r.cause).every((r) => /object does not exist.*0x0A/.test(r.cause)),
        JSON.stringify(absent.records));

  // What the CPU says of itself (quillmarsh info): snap7's server answers
  // with the lists of a CPU 315-2 PN/DP it keeps, and its own clock.
  const cpu = spawnSync(quillmarsh, ['info', plc, '--json'], { encoding: 'utf8', timeout: 30000 });
  let said = {};
  try { said = JSON.parse(cpu.stdout); } catch (e) { said = { output: cpu.stdout + cpu.stderr }; }
  check('info: identity, state, protection, clock and diagnostic buffer', cpu.status === 0 &&
        said.orderNumber === '6ES7 315-2EH14-0AB0' && said.firmware === 'V3.2.6' && said.mode === 'RUN' &&
        /^level 1 \(mode selector RUN-P/.test(said.protection) && /^\d{4}-\d\d-\d\d \d\d:/.test(said.clock) &&
        said.diagnosticBuffer.length === 10 && said.diagnosticBuffer[0].event === '0x4302', JSON.stringify(said));

  // Every frame of the run through text2pcap and tshark, seen from the PLC:
  // requests inbound (to port 102), replies outbound.
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'quillmarsh-frames-'));
  const dump = frames.map((f) => (f.request ? 'I\n' : 'O\n') + f.hex.match(/.{1,32}/g)
    .map((line, i) => (i * 16).toString(16).padStart(6, '0') + ' ' + line.match(/../g).join(' ')).join('\n')).join('\n');
  fs.writeFileSync(path.join(dir, 'frames.txt'), dump + '\n');
  const tool = (name, words) => {
    const r = spawnSync(name, words, { encoding: 'utf8', timeout: 60000 });
    if (r.status !== 0) sim.abort(name + ' failed (run scripts/setup.sh?): ' + (r.error || r.stderr));
    return r.stdout;
  };
  tool('text2pcap', ['-q', '-D', '-T', '49152,102', path.join(dir, 'frames.txt'), path.join(dir, 'frames.pcapng')]);
  const decoded = tool('tshark', ['-n', '-r', path.join(dir, 'frames.pcapng'), '-T', 'fields', '-E', 'separator=/t',
                                  '-E', 'occurrence=a', '-E', 'aggregator=,', '-e', 'frame.protocols', '-e', 'tcp.dstport',
                                  '-e', '_ws.malformed', '-e', '_ws.expert.severity'])
    .split('\n').filter((line) => line !== '');
  fs.rmSync(dir, { recursive: true, force: true });
  check('every frame logged (' + frames.length + ') was decoded', frames.length >= 40 && decoded.length === frames.length);
  const PI_ERROR = 0x00800000;
  decoded.forEach((line, i) => {
    const [protocols, dstport, malformed, severities] = line.split('\t');
    check('frame ' + (i + 1) + ' decodes as S7 communication',
          protocols === 'eth:ethertype:ip:tcp:tpkt:cotp:s7comm' && Number(dstport) === (frames[i].request ? 102 : 49152) &&
          !malformed && severities.split(',').every((s) => !(Number(s) >= PI_ERROR)),
          frames[i].hex + ' -> ' + line);
  });

  server.Stop();
  sim.finish();
})();
