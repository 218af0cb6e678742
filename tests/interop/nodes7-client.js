#!/usr/bin/env node
// nodes7 (the S7 client of Node-RED flows) against the simulated PLC
// executable, connected by the CPU's rack and slot (a LOGO! by its TSAPs):
// read a set of tags of every area with the values the simulator was
// started with, write new values, and read them back.
//
//   node nodes7-client.js PATH-TO-quillmarsh-sim CPU
//
// One line per check; the exit code is 1 when any check failed.
'use strict';

const sim = require('./sim-process');
const { check } = sim;

const NodeS7 = sim.requireModule('nodes7');

const STEP_TIMEOUT_MS = 10000;

// Tag, its bytes in the simulator at the start, the value that gives, and the
// value written. MB0 is read as a whole to see that writing M0.1 leaves the
// other bits of the byte alone.
const TAGS = [
  { tag: 'DB1,INT0', preset: 'DB1:0:3039', start: 12345, written: -1234 },
  { tag: 'DB1,REAL4', preset: 'DB1:4:40600000', start: 3.5, written: -2.25 },
  { tag: 'DB1,DINT8', preset: 'DB1:8:fffffffe', start: -2, written: 123456789 },
  { tag: 'DB1,X14.3', preset: 'DB1:14:08', start: true, written: false },
  { tag: 'M0.1', preset: 'M:0:03', start: true, written: false },
  { tag: 'MB10', preset: 'M:10:a5', start: 165, written: 60 },
  { tag: 'IB2', preset: 'I:2:c3', start: 195, written: 7 },
  { tag: 'QB1', preset: 'Q:1:5a', start: 90, written: 129 },
];
const MB0 = { tag: 'MB0', start: 3, after: 1 };
// Where nodes7 finds each CPU.
const WHERE = { 's7-300': { rack: 0, slot: 2 }, 's7-400': { rack: 0, slot: 2 }, 'logo': { localTSAP: 0x0300, remoteTSAP: 0x0200 } };
const where = WHERE[sim.cpu()] || { rack: 0, slot: 1 };

// Runs one nodes7 call that reports through a callback; a call that never
// calls back fails the script instead of hanging it.
function step(name, call) {
  return new Promise((resolve) => {
    const timer = setTimeout(() => sim.abort(name + ' got no answer within ' + STEP_TIMEOUT_MS + ' ms'),
                             STEP_TIMEOUT_MS);
    call((...results) => {
      clearTimeout(timer);
      resolve(results);
    });
  });
}

function compare(label, values, key, mb0) {
  for (const t of TAGS)
    check(label + ' ' + t.tag + ' = ' + t[key], values[t.tag] === t[key], 'got ' + JSON.stringify(values[t.tag]));
  check(label + ' MB0 = ' + mb0, values[MB0.tag] === mb0, 'got ' + JSON.stringify(values[MB0.tag]));
}

async function main() {
  const endpoint = await sim.startSimulator(TAGS.flatMap((t) => ['--preset', t.preset]));
  const conn = new NodeS7({ silent: true });
  const [error] = await step('initiateConnection', (done) =>
    conn.initiateConnection({ host: endpoint.host, port: endpoint.port, ...where }, done));
  if (error) sim.abort('nodes7 cannot connect to ' + JSON.stringify(where) + ': ' + error);
  check('nodes7 connects to ' + JSON.stringify(where), true);
  conn.addItems([...TAGS.map((t) => t.tag), MB0.tag]);

  let [bad, values] = await step('readAllItems', (done) => conn.readAllItems(done));
  check('read of all tags reports no error', !bad, JSON.stringify(values));
  compare('preset', values, 'start', MB0.start);

  [bad] = await step('writeItems', (done) => conn.writeItems(TAGS.map((t) => t.tag), TAGS.map((t) => t.written), done));
  check('write of all tags reports no error', !bad);

  [bad, values] = await step('readAllItems', (done) => conn.readAllItems(done));
  check('read after the write reports no error', !bad, JSON.stringify(values));
  compare('written', values, 'written', MB0.after);

  await step('dropConnection', (done) => conn.dropConnection(done));
  await sim.stopSimulator();
  sim.finish();
}

main().catch((e) => sim.abort('unexpected error: ' + (e && e.stack ? e.stack : e)));
