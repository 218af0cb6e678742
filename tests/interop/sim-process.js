// Shared by the client scripts: runs the simulated PLC executable on a free
// loopback port, and keeps the one-line-per-check report of a script.
'use strict';

const { spawn } = require('child_process');

const START_TIMEOUT_MS = 10000;
const STOP_TIMEOUT_MS = 5000;
const LISTENING = /^listening on ([0-9.]+):(\d+)$/m;

let failures = 0;
let running = null;

// Prints "ok   NAME" or "FAIL NAME: DETAIL"; true when the check passed.
function check(name, passed, detail) {
  if (passed) {
    console.log('ok   ' + name);
  } else {
    ++failures;
    console.log('FAIL ' + name + (detail ? ': ' + detail : ''));
  }
  return !!passed;
}

// Ends the script at once with a message, stopping the simulator.
function abort(message) {
  console.log('FAIL ' + message);
  if (running) running.kill('SIGKILL');
  process.exit(1);
}

// Loads a client module from tests/interop/node_modules; a missing one fails.
function requireModule(name) {
  try {
    return require(name);
  } catch (e) {
    abort(name + ' is not installed in tests/interop (run scripts/setup.sh): ' + e.message.split('\n')[0]);
  }
}

function hex(buffer) {
  return Buffer.isBuffer(buffer) ? buffer.toString('hex') : String(buffer);
}

// Starts the executable named on the command line (or in QUILLMARSH_SIM)
// with `args` and resolves to { host, port } once it listens.
function startSimulator(args) {
  const program = process.argv[2] || process.env.QUILLMARSH_SIM;
  if (!program) abort('usage: node ' + process.argv[1] + ' PATH-TO-quillmarsh-sim');
  const child = spawn(program, ['--port', '0', ...args], { stdio: ['ignore', 'pipe', 'pipe'] });
  running = child;
  child.output = '';
  child.stdout.on('data', (chunk) => { child.output += chunk; });
  child.stderr.on('data', (chunk) => { child.output += chunk; });
  process.on('exit', () => child.kill('SIGKILL'));
  return new Promise((resolve) => {
    const timer = setTimeout(() => abort('simulator did not listen within ' + START_TIMEOUT_MS + ' ms: ' +
                                         JSON.stringify(child.output)), START_TIMEOUT_MS);
    child.on('error', (e) => abort('cannot start ' + program + ': ' + e.message));
    child.on('exit', (code) => abort('simulator ended early with ' + code + ': ' + JSON.stringify(child.output)));
    child.stdout.on('data', () => {
      const match = LISTENING.exec(child.output);
      if (!match) return;
      clearTimeout(timer);
      resolve({ host: match[1], port: Number(match[2]) });
    });
  });
}

// SIGTERM to the simulator; it must end with exit code 0 after "stopped".
function stopSimulator() {
  const child = running;
  child.removeAllListeners('exit');
  return new Promise((resolve) => {
    const timer = setTimeout(() => abort('simulator did not stop within ' + STOP_TIMEOUT_MS + ' ms'), STOP_TIMEOUT_MS);
    child.on('exit', (code) => {
      clearTimeout(timer);
      running = null;
      check('simulator stops on SIGTERM with exit code 0', code === 0 && /^stopped$/m.test(child.output),
            'exit code ' + code + ', output ' + JSON.stringify(child.output));
      resolve();
    });
    child.kill('SIGTERM');
  });
}

// Exit code of the script: 1 when any check failed.
function finish() {
  console.log(failures ? failures + ' check(s) failed' : 'all checks passed');
  process.exit(failures ? 1 : 0);
}

module.exports = { check, abort, requireModule, hex, startSimulator, stopSimulator, finish };
