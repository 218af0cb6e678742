#!/usr/bin/env node
// nodes7 polling the 60 INT of DB1 of the poll-cycle benchmark
// (bench/names.sh) with readAllItems, which packs them into as few PDUs as
// it can and sends as many of those at once as the PLC granted in the setup.
//
//   node names-nodes7.js HOST PORT CYCLES
//
// Prints one line of JSON: the mean and median cycle in ms, the cycles, and
// the PDU and parallel jobs granted. Exit code 1 when a read fails or a
// value is not the source's.
'use strict';

const path = require('path');

const STEP_TIMEOUT_MS = 10000;
const WARM_UP_CYCLES = 3;

const NodeS7 = require(path.join(__dirname, '..', 'tests', 'interop', 'node_modules', 'nodes7'));
const [host, port, cyclesText] = process.argv.slice(2);
const cycles = Number(cyclesText);

const items = [];
for (let i = 0; i < 60; ++i) items.push(`DB1,INT${2 * i}`);

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
  // The source's values: Speed_01 10, Speed_60 600.
  for (const [item, value] of Object.entries({ 'DB1,INT0': 10, 'DB1,INT118': 600 }))
    if (values[item] !== value) fail(`${item} is ${JSON.stringify(values[item])}, not ${value}`);
  times.sort((a, b) => a - b);
  const mean = times.reduce((a, b) => a + b, 0) / times.length;
  console.log(JSON.stringify({ cycles, meanMs: mean, medianMs: times[Math.floor(times.length / 2)],
                               pdu: conn.maxPDU, parallel: conn.maxParallel }));
  await step('dropConnection', (done) => conn.dropConnection(done));
}

main().catch((e) => fail('unexpected error: ' + (e && e.stack ? e.stack : e)));
