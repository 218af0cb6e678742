#!/usr/bin/env node
// Our plug-in, loaded by the command-line host as an HMI host loads it,
// against the simulated PLC executable as each CPU, reached with the
// family's --cpu preset: every data type written and read back, inputs,
// outputs and markers too, and a read past the end of the markers the CPU
// has.
//
//   node plugin-client.js PATH-TO-quillmarsh-sim CPU PATH-TO-quillmarsh
//
// One line per check; the exit code is 1 when any check failed.
'use strict';

const { spawnSync } = require('child_process');
const sim = require('./sim-process');
const { check } = sim;

const RUN_TIMEOUT_MS = 15000;
const MARKERS = { 's7-300': 2048, 's7-400': 16384, 's7-1200': 8192, 's7-1500': 16384, 's7-200-smart': 32 };

// Address, type, value written, the value as read --json prints it, the
// write's status (the plug-in flags a write to inputs with 6 after the CPU
// took it).
const TAGS = [
  ['DB1.DBX0.3', 'bool', '1', 'true', 0],
  ['DB1.DBB1', 'int8', '-100', '-100', 0],
  ['DB1.DBW4', 'int16', '-12345', '-12345', 0],
  ['DB1.DBD8', 'uint32', '3000000000', '3000000000', 0],
  ['DB1.DBD12', 'float', '3.5', '3.5', 0],
  ['DB1.DBB20', 'int64', '-9007199254740993', '-9007199254740993', 0],
  ['DB1.DBB28', 'double', '2.718281828459045', '2.718281828459045', 0],
  ['M4', 'uint16', '65535', '65535', 0],
  ['Q2', 'uint8', '200', '200', 0],
  ['I6', 'int32', '-7', '-7', 6],
];

function quillmarsh(args) {
  const program = process.argv[4] || process.env.QUILLMARSH_CLI;
  if (!program) sim.abort('usage: node plugin-client.js PATH-TO-quillmarsh-sim CPU PATH-TO-quillmarsh');
  const run = spawnSync(program, [...args, '--cpu', sim.cpu()], { encoding: 'utf8', timeout: RUN_TIMEOUT_MS });
  if (run.error) sim.abort('cannot run ' + program + ': ' + run.error.message);
  return { code: run.status, out: run.stdout.trim(), err: run.stderr.trim() };
}

async function main() {
  const endpoint = await sim.startSimulator([]);
  const plc = endpoint.host + ':' + endpoint.port;
  for (const [address, type, value, shown, status] of TAGS) {
    const written = quillmarsh(['write', plc, address, type, value, '--json']);
    check('write ' + address + ' ' + type + ' ' + value + ': status ' + status,
          written.code === (status ? 1 : 0) && written.out.includes('"status":' + status + ','), written.out + written.err);
    const read = quillmarsh(['read', plc, address, type, '--json']);
    check('read ' + address + ' ' + type + ' gives ' + shown, read.code === 0 && read.out.includes('"values":[' + shown + ']'),
          read.out + read.err);
  }
  const past = sim.cpu() in MARKERS ? 'M' + MARKERS[sim.cpu()] : sim.abort('no marker size for ' + sim.cpu());
  const refused = quillmarsh(['read', plc, past, 'uint8', '--json']);
  check('read ' + past + ', past the markers, is refused', refused.code === 1 && !refused.out.includes('"status":0'),
        refused.out + refused.err);
  await sim.stopSimulator();
  sim.finish();
}

main().catch((e) => sim.abort('unexpected error: ' + (e && e.stack ? e.stack : e)));
