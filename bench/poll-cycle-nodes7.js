#!/usr/bin/env node
// nodes7 polling the tags of the poll-cycle benchmark (bench/poll-cycle.sh)
// with readAllItems, which packs them into as few PDUs as it can and sends
// as many of those at once as the PLC granted in the setup.
//
//   node poll-cycle-nodes7.js HOST PORT TAGS CYCLES
//
// TAGS: 60 % INT in DB1, 20 % REAL in DB2, 20 % marker bits, as the script
// lays them out. Prints one line of JSON: the mean and median cycle in ms,
// the cycles, and the PDU and parallel jobs granted. Exit code 1 when a read
// fails or a value is not the script's image (INT k is k + 1, REAL k is
// k + 0.5, every even marker bit set).
'use strict';

const path = require('path');

const STEP_TIMEOUT_MS = 10000;
const WARM_UP_CYCLES = 3;

const NodeS7 = require(path.join(__dirname, '..', 'tests', 'interop', 'node_modules', 'nodes7'));
const [host, port, tagsText, cyclesText] = process.argv.slice(2);
const tags = Number(tagsText);
const cycles = Number(cyclesText);

const expected = {};
for (let k = 0; k < tags * 6 / 10; ++k) expected[`DB1,INT${2 * k}`] = k + 1;
for (let k = 0; k < tags * 2 / 10; ++k) expected[`DB2,REAL${4 * k}`] = k + 0.5;
for (let k = 0; k < tags * 2 / 10; ++k) expected[`M${Math.floor(k / 8)}.${k % 8}`] = k % 2 === 0;

function fail(message) {
  console.error('poll-cycle-nodes7: ' + message);
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
    conn.initiateConnection({ host, port: Number(port), rack: 0, slot: 2 }, done)); // the simulator's S7-300
  if (error) fail('cannot connect: ' + error);
  conn.addItems(Object.keys(expected));
  for (let i = 0; i < WARM_UP_CYCLES; ++i) await readAll(conn);
  const times = [];
  let values = null;
  for (let i = 0; i < cycles; ++i) {
    const start = process.hrtime.bigint();
    values = await readAll(conn);
    times.push(Number(process.hrtime.bigint() - start) / 1e6);
  }
  for (const [item, value] of Object.entries(expected))
    if (values[item] !== value) fail(`${item} is ${JSON.stringify(values[item])}, not ${value}`);
  times.sort((a, b) => a - b);
  const mean = times.reduce((a, b) => a + b, 0) / times.length;
  console.log(JSON.stringify({ cycles, meanMs: mean, medianMs: times[Math.floor(times.length / 2)],
                               pdu: conn.maxPDU, parallel: conn.maxParallel }));
  await step('dropConnection', (done) => conn.dropConnection(done));
}

main().catch((e) => fail('unexpected error: ' + (e && e.stack ? e.stack : e)));
