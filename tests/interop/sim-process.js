// Shared by the client scripts: runs the simulated PLC executable on a free
// loopback port as the CPU named on the command line, talks to its control
// port, and keeps the one-line-per-check report of a script.
'use strict';

const { spawn } = require('child_process');
const net = require('net');

const START_TIMEOUT_MS = 10000;
const STOP_TIMEOUT_MS = 5000;
const LISTENING = /^listening on ([0-9.]+):(\d+)$/m;
const CONTROL = /^control on 127\.0\.0\.1:(\d+)$/m;
const CONTROL_TIMEOUT_MS = 5000;

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

// The CPU profile the script runs against: the second argument, the
// simulator's default (s7-1200) when none.
function cpu() {
  return process.argv[3] || 's7-1200';
}

// Starts the executable named on the command line (or in QUILLMARSH_SIM) as
// the CPU of cpu(), with `args`, and resolves to { host, port, control }
// once it listens (control: the control port, with --control).
function startSimulator(args) {
  const program = process.argv[2] || process.env.QUILLMARSH_SIM;
  if (!program) abort('usage: node ' + process.argv[1] + ' PATH-TO-quillmarsh-sim [CPU]');
  const child = spawn(program, ['--port', '0', '--cpu', cpu(), ...args], { stdio: ['ignore', 'pipe', 'pipe'] });
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
      const control = CONTROL.exec(child.output);
      resolve({ host: match[1], port: Number(match[2]), control: control ? Number(control[1]) : null });
    });
  });
}

// Sends one line to the control port and resolves to the answer line.
function controlCommand(port, line) {
  return new Promise((resolve) => {
    const socket = net.connect(port, '127.0.0.1');
    let answer = '';
    const timer = setTimeout(() => abort('control port gave no answer to ' + JSON.stringify(line)), CONTROL_TIMEOUT_MS);
    socket.on('error', (e) => abort('control port: ' + e.message));
    socket.on('data', (chunk) => {
      answer += chunk;
      if (!answer.includes('\n')) return;
      clearTimeout(timer);
      socket.end();
      resolve(answer.split('\n')[0]);
    });
    socket.write(line + '\n');
  });
}

// SIGTERM to the simulator; it must end with exit code 0 after "stopped".
function stopSimulator() {
  const child = running;
  child.removeAllListeners('exit');
  return new Promise((resolve) => {
    const timer = setTimeout(() => abort('simulator did not stop within ' + STOP_TIMEOUT_MS + ' ms'), STOP_TIMEOUT_MS);
    // 'close' comes after the last output, 'exit' may come before it.
    child.on('close', (code) => {
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

module.exports = { check, abort, requireModule, hex, cpu, startSimulator, controlCommand, stopSimulator, finish };
