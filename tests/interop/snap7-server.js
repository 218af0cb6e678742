#!/usr/bin/env node
// snap7's S7 server as an independent peer for the interoperability tests.
//
// Listens on a free loopback port and prints "READY <port>" once it accepts
// connections. Registered areas and their sizes are in AREAS; every byte i of
// an area starts as (i * 7 + tag) & 0xFF, with the tag given there. Data block
// 5 is deliberately left out so that clients can be tested against a block
// the PLC does not have.
//
// Commands on stdin, one per line, one reply line each:
//   dump <AREA> <db> <start> <len>  -> the bytes as lowercase hex
//   set <AREA> <db> <start> <hex>   -> "ok"
//   reseed                          -> "ok" (every area back to its pattern)
//   clients                         -> number of connected clients
//   quit                            -> "bye", then the server stops
// AREA is PE (inputs), PA (outputs), MK (markers) or DB; <db> is ignored for
// all but DB. Errors are answered with "error <text>".
'use strict';

const readline = require('readline');

let snap7;
try {
  snap7 = require('node-snap7');
} catch (e) {
  process.stdout.write('error node-snap7 is not installed: ' + e.message + '\n');
  process.exit(2);
}

let server = new snap7.S7Server();

const AREAS = [
  { name: 'PE', code: server.srvAreaPE, db: 0, size: 256, tag: 0x81 },
  { name: 'PA', code: server.srvAreaPA, db: 0, size: 256, tag: 0x82 },
  { name: 'MK', code: server.srvAreaMK, db: 0, size: 256, tag: 0x83 },
  { name: 'DB', code: server.srvAreaDB, db: 1, size: 1024, tag: 0x85 },
  { name: 'DB', code: server.srvAreaDB, db: 10, size: 512, tag: 0x8e },
];

function pattern(area) {
  const buf = Buffer.alloc(area.size);
  for (let i = 0; i < area.size; ++i) buf[i] = (i * 7 + area.tag) & 0xff;
  return buf;
}

function findArea(name, db) {
  const isDb = name === 'DB';
  const area = AREAS.find((a) => a.name === name && (!isDb || a.db === db));
  if (!area) throw new Error('no area ' + name + (isDb ? ' ' + db : ''));
  return area;
}

// Reads or writes go through the server's own copy of the area, which is the
// memory its clients see.
function readArea(area) {
  return area.code === server.srvAreaDB ? server.GetArea(area.code, area.db) : server.GetArea(area.code);
}

function writeArea(area, buf) {
  if (area.code === server.srvAreaDB) server.SetArea(area.code, area.db, buf);
  else server.SetArea(area.code, buf);
}

function checkRange(area, start, len) {
  if (!Number.isInteger(start) || !Number.isInteger(len) || start < 0 || len < 0 || start + len > area.size)
    throw new Error('range ' + start + '+' + len + ' outside 0..' + area.size);
}

function execute(line) {
  const words = line.trim().split(/\s+/);
  switch (words[0]) {
    case 'dump': {
      const area = findArea(words[1], Number(words[2]));
      const start = Number(words[3]);
      const len = Number(words[4]);
      checkRange(area, start, len);
      return readArea(area).subarray(start, start + len).toString('hex');
    }
    case 'set': {
      const area = findArea(words[1], Number(words[2]));
      const start = Number(words[3]);
      const hex = words[4] || '';
      if (!/^([0-9a-fA-F]{2})+$/.test(hex)) throw new Error('bad hex "' + hex + '"');
      const bytes = Buffer.from(hex, 'hex');
      checkRange(area, start, bytes.length);
      const buf = readArea(area);
      bytes.copy(buf, start);
      writeArea(area, buf);
      return 'ok';
    }
    case 'reseed':
      AREAS.forEach((a) => writeArea(a, pattern(a)));
      return 'ok';
    case 'clients':
      return String(server.ClientsCount());
    default:
      throw new Error('unknown command "' + words[0] + '"');
  }
}

function registerAreas() {
  for (const a of AREAS) {
    const ok = a.code === server.srvAreaDB ? server.RegisterArea(a.code, a.db, pattern(a))
                                           : server.RegisterArea(a.code, pattern(a));
    if (!ok) throw new Error('cannot register ' + a.name + ' ' + a.db);
  }
}

// Random ports below the ephemeral range until one can be bound; the
// listener is loopback only. A server whose start failed does not start
// again, so each attempt takes a fresh one.
function startOnFreePort() {
  for (let attempt = 0; attempt < 50; ++attempt) {
    const port = 20000 + Math.floor(Math.random() * 12000);
    if (attempt > 0) server = new snap7.S7Server();
    registerAreas();
    if (server.SetParam(server.LocalPort, port) && server.StartTo('127.0.0.1')) return port;
    server.Stop();
  }
  throw new Error('no free port found');
}

function stop(code) {
  try { server.Stop(); } catch (e) { /* already stopped */ }
  process.exit(code);
}

try {
  const port = startOnFreePort();
  process.stdout.write('READY ' + port + '\n');
} catch (e) {
  process.stdout.write('error ' + e.message + '\n');
  stop(1);
}

const input = readline.createInterface({ input: process.stdin, terminal: false });
input.on('line', (line) => {
  if (line.trim() === '') return;
  if (line.trim() === 'quit') {
    process.stdout.write('bye\n');
    stop(0);
  }
  let reply;
  try {
    reply = execute(line);
  } catch (e) {
    reply = 'error ' + e.message;
  }
  process.stdout.write(reply + '\n');
});
// The test that started us is gone: do not outlive it.
input.on('close', () => stop(0));
