#!/usr/bin/env node
// nodes7 polling the tags of the poll-cycle benchmark (bench/names.sh): 60
// INT in DB1, 20 REAL in DB2 and 20 marker bits, all read by readAllItems,
// which packs them into as few PDUs as it can and sends as many of those at
// once as the PLC granted in the setup (its AmQ).
//
//   node names-nodes7.js HOST PORT CYCLES [drives]
//
// With "drives" only the 60 INT of DB1 are read.
//
// Prints one line of JSON: the mean and median cycle in ms, the cycles, and
// the PDU and parallel jobs granted. Exit code 1 when a read fails or a
// value is not the source's.
'use strict';

const path = require('path');

const STEP_TIMEOUT_MS = 10000;
const WARM_UP_CYCLES = 3;

const NodeS7 = require(path.join(__dirname, '..', 'tests', 'interop', 'node_modules', 'nodes7'));
const [host, port, cyclesText, only] = process.argv.slice(2);
const cycles = Number(cyclesText);
const drivesOnly = only === 'drives';

const items = [];
for (let i = 0; i < 60; ++i) items.push(`DB1,INT${2 * i}`);
if (!drivesOnly) {
  for (let i = 0; i < 20; ++i) items.push(`DB2,REAL${4 * i}`);
  for (let i = 0; i < 20; ++i) items.push(`M${Math.floor(i / 8)}.${i % 8}`);
}

function fail(message) {
  console.error('names-nodes7: ' + message);
  process.exit(1);
}

function step(name, call) {
  return new Promise((resolve) => {
    const timer = setTimeout(() => fail(name + ' got no answer within ' + STEP_TIMEOUT_MS + ' ms'), STEP_TIMEOUT_MS);
    call((...results) => { clearTimeout(timer); resolve(results); });
  });
}

async function readAll(conn) {
  const [bad, values] = await step('readAllItems', (done) => conn.readAllItems(done));
  if (bad) fail('a read failed: ' + JSON.stringify(values));
  return values;
}

async function main() {
  const conn = new NodeS7({ silent: true });
  const [error] = await step('initiateConnection', (done) =>
    conn.initiateConnection({ host, port: Number(port), rack: 0, slot: 1 }, done)); // the simulator's S7-1200
  if (error) fail('cannot connect: ' + error);
  conn.addItems(items);
  for (let i = 0; i < WARM_UP_CYCLES; ++i) await readAll(conn);
  const times = [];
  let values = null;
  for (let i = 0; i < cycles; ++i) {
    const start = process.hrtime.bigint();
    values = await readAll(conn);
    times.push(Number(process.hrtime.bigint() - start) / 1e6);
  }
  // The source's values: Speed_01 10, Speed_60 600, Flow_01 1.5, Flow_20 30.
  const expected = drivesOnly ? { 'DB1,INT0': 10, 'DB1,INT118': 600 }
    : { 'DB1,INT0': 10, 'DB1,INT118': 600, 'DB2,REAL0': 1.5, 'DB2,REAL76': 30, 'M0.0': false };
  for (const [item, value] of Object.entries(expected))
    if (values[item] !== value) fail(`${item} is ${JSON.stringify(values[item])}, not ${value}`);
  times.sort((a, b) => a - b);
  const mean = times.reduce((a, b) => a + b, 0) / times.length;
  console.log(JSON.stringify({ cycles, meanMs: mean, medianMs: times[Math.floor(times.length / 2)],
                               pdu: conn.maxPDU, parallel: conn.maxParallel }));
  await step('dropConnection', (done) => conn.dropConnection(done));
}

main().catch((e) => fail('unexpected error: ' + (e && e.stack ? e.stack : e)));
