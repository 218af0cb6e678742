#!/usr/bin/env node
// snap7's client (node-snap7) against the simulated PLC executable, as a
// commissioning engineer's tool would use it: connect by the CPU's rack and
// slot (another slot is reset), ask for the CPU's identity and state
// (switched to STOP and back through the control port and by snap7), its
// blocks, clock, protection and system state lists, read and write every
// area alone and in multi-variable jobs, one client reading what the other
// wrote.
//
//   node snap7-client.js PATH-TO-quillmarsh-sim [s7-300|s7-400|s7-1200|s7-1500|s7-200-smart|logo]
//
// One line per check; the exit code is 1 when any check failed.
'use strict';

const sim = require('./sim-process');
const { check, hex } = sim;

const snap7 = sim.requireModule('node-snap7');

// The simulator's memory for this run: DB1 and DB7 only, 128 input and 512
// marker bytes, outputs at the CPU's size; the presets are the values the
// simulator holds before any client writes. The CPUs with V memory keep
// their own areas and are read and written by nodes7 and the plug-in.
const SIM_ARGS = ['--db', '1:256', '--db', '7:64', '--area', 'I:128', '--area', 'M:512',
                  '--preset', 'DB1:0:0102030405060708', '--preset', 'M:10:a5',
                  '--preset', 'I:0:c3', '--preset', 'Q:1020:5a'];

// What each CPU tells about itself and where it is reached (a LOGO! by its
// TSAPs). snap7 asks for a PDU of 480; GetOrderCode's version is the last
// module identification record's. dbs: the data blocks and the code size of
// the first (an S7-1200's allocation); selector: the mode selector in GetProtection.
const PROFILES = {
  's7-300': { slot: 2, pdu: 240, module: 'CPU 315-2 PN/DP', order: '6ES7 315-2EH14-0AB0 ', version: '32.9.9',
              serial: 'S C-QM0000000300', card: 'MMC 5153494D', outputs: 2048, dbs: [1, 7], mc7: 256, selector: 2 },
  's7-400': { slot: 2, pdu: 480, module: 'CPU 416-3 PN/DP', order: '6ES7 416-3ES06-0AB0 ', version: '32.9.9',
              serial: 'S C-QM0000000400', card: 'MC 5153494D', outputs: 16384, dbs: [1, 7], mc7: 256, selector: 2 },
  's7-1200': { slot: 1, pdu: 240, module: 'CPU 1214C DC/DC/DC', order: '6ES7 214-1AG40-0XB0 ', version: '4.4.1',
               serial: 'S V-QM0000001200', card: 'SMC 5153494D', outputs: 1024, dbs: [1, 7], mc7: 1024, selector: 0 },
  's7-1500': { slot: 1, pdu: 480, module: 'CPU 1516-3 PN/DP', order: '6ES7 516-3AN01-0AB0 ', version: '32.9.9',
               serial: 'S V-QM0000001500', card: 'SMC 5153494D', outputs: 32768, dbs: [1, 7], mc7: 256, selector: 2 },
  's7-200-smart': { slot: 1, pdu: 240, module: 'CPU ST40 DC/DC/DC', order: '6ES7 288-1ST40-0AA0 ', version: '2.5.0',
                    serial: 'S V-QM0000000200', card: 'MC 5153494D', vMemory: true, dbs: [1], mc7: 16384, selector: 0 },
  'logo': { tsaps: [0x0300, 0x0200], pdu: 240, module: 'LOGO! 12/24RCE', order: '6ED1052-1MD08-0BA0  ',
            version: '1.81.1', serial: 'S V-QM000000LOGO', card: '', vMemory: true, dbs: [1], mc7: 1470, selector: 0 },
};
const CPU = PROFILES[sim.cpu()] || sim.abort('no expectations for CPU ' + sim.cpu());

function errorOf(client) {
  return client.ErrorText(client.LastError());
}

// A client of the connection type given, at the CPU's rack and slot (or
// TSAPs), or at the slot given; false with the error when it is refused.
function tryConnect(endpoint, type, slot) {
  const client = new snap7.S7Client();
  client.SetParam(client.RemotePort, endpoint.port);
  client.SetConnectionType(type);
  const ok = CPU.tsaps && slot === undefined
    ? (client.SetConnectionParams(endpoint.host, CPU.tsaps[0], CPU.tsaps[1]), client.Connect())
    : client.ConnectTo(endpoint.host, 0, slot === undefined ? CPU.slot : slot);
  return ok ? client : { refused: errorOf(client) };
}

function connect(name, endpoint, type) {
  const client = tryConnect(endpoint, type);
  if (client.refused) sim.abort('client ' + name + ' cannot connect: ' + client.refused);
  return client;
}

function read(client, area, db, start, size) {
  const data = client.ReadArea(area, db, start, size, client.S7WLByte);
  return data === false ? 'error: ' + errorOf(client) : hex(data);
}

function write(client, area, db, start, bytes) {
  return client.WriteArea(area, db, start, bytes.length, client.S7WLByte, bytes) ? 'ok' : 'error: ' + errorOf(client);
}

function expectEqual(name, actual, expected) {
  check(name, actual === expected, 'got ' + actual + ', expected ' + expected);
}

async function identity(client, control) {
  expectEqual('negotiated PDU', client.PDULength(), CPU.pdu);
  expectEqual('PlcStatus is RUN', client.PlcStatus(), client.S7CpuStatusRun);
  expectEqual('control: state stop', await sim.controlCommand(control, 'state stop'), 'ok state stop');
  expectEqual('PlcStatus is STOP', client.PlcStatus(), client.S7CpuStatusStop);
  await sim.controlCommand(control, 'state run');
  expectEqual('PlcStatus is RUN again', client.PlcStatus(), client.S7CpuStatusRun);
  const info = client.GetCpuInfo();
  check('GetCpuInfo answers', info, errorOf(client));
  if (info) {
    expectEqual('GetCpuInfo ModuleTypeName', info.ModuleTypeName, CPU.module);
    expectEqual('GetCpuInfo ASName', info.ASName, 'Quillmarsh simulator');
    expectEqual('GetCpuInfo ModuleName', info.ModuleName, 'PLC_1');
    expectEqual('GetCpuInfo Copyright', info.Copyright, 'Original Siemens Equipment');
    expectEqual('GetCpuInfo SerialNumber', info.SerialNumber, CPU.serial);
  }
  const order = client.GetOrderCode();
  check('GetOrderCode answers', order, errorOf(client));
  if (order) {
    expectEqual('GetOrderCode Code', order.Code, CPU.order);
    expectEqual('GetOrderCode version', [order.V1, order.V2, order.V3].join('.'), CPU.version);
  }
  // Ten records of 34 bytes: at a PDU of 240 bytes more than one data unit,
  // and snap7 asks for the next. The memory card's serial is the seventh.
  const components = client.ReadSZL(0x001c, 0x0000);
  check('ReadSZL 0x001C answers', components, errorOf(client));
  if (components) {
    const recordSize = 34;
    expectEqual('ReadSZL 0x001C length', components.length, 4 + 10 * recordSize);
    const card = components.subarray(4 + 6 * recordSize, 4 + 6 * recordSize + 2 + CPU.card.length);
    expectEqual('ReadSZL 0x001C memory card record', hex(card), '0008' + hex(Buffer.from(CPU.card)));
  }
}

function areas(client) {
  const { S7AreaDB: DB, S7AreaMK: MK, S7AreaPE: PE, S7AreaPA: PA } = client;
  expectEqual('DB1.0..7 holds the preset', read(client, DB, 1, 0, 8), '0102030405060708');
  expectEqual('MB10 holds the preset', read(client, MK, 0, 10, 1), 'a5');
  expectEqual('IB0 holds the preset', read(client, PE, 0, 0, 1), 'c3');
  expectEqual('QB1020 holds the preset', read(client, PA, 0, 1020, 1), '5a');

  // Sizes from --db and --area; DB2 is not served once --db is given.
  expectEqual('last byte of DB7 (64 bytes)', read(client, DB, 7, 63, 1), '00');
  check('DB7 ends after 64 bytes', read(client, DB, 7, 63, 2).startsWith('error'));
  check('DB2 is not served', read(client, DB, 2, 0, 1).startsWith('error'));
  expectEqual('last input byte (128)', read(client, PE, 0, 127, 1), '00');
  check('inputs end after 128 bytes', read(client, PE, 0, 128, 1).startsWith('error'));
  expectEqual('last marker byte (512)', read(client, MK, 0, 511, 1), '00');
  check('markers end after 512 bytes', read(client, MK, 0, 512, 1).startsWith('error'));
  expectEqual('last output byte (the CPU\'s ' + CPU.outputs + ')', read(client, PA, 0, CPU.outputs - 1, 1), '00');
  check('outputs end there', read(client, PA, 0, CPU.outputs, 1).startsWith('error'));

  // A write lands where it was addressed and nowhere else.
  for (const [name, area, db, start] of [['DB7', DB, 7, 20], ['MK', MK, 0, 40], ['PE', PE, 0, 60], ['PA', PA, 0, 80]]) {
    const bytes = Buffer.from([0xde, 0xad, 0xbe, start]);
    expectEqual(name + ' write of 4 bytes', write(client, area, db, start, bytes), 'ok');
    expectEqual(name + ' reads back with untouched neighbours', read(client, area, db, start - 2, 8),
                '0000' + hex(bytes) + '0000');
  }
  // More than one PDU each way: snap7 splits, the simulator serves each part.
  const large = Buffer.alloc(256, 0).map((_, i) => (i * 7 + 3) & 0xff);
  expectEqual('DB1 write of 256 bytes', write(client, DB, 1, 0, large), 'ok');
  expectEqual('DB1 read of 256 bytes', read(client, DB, 1, 0, 256), hex(large));
}

// Timers and counters: values of two bytes each, read as the CPU holds
// them; the CPU refuses writes to them.
async function timersAndCounters(client, control) {
  expectEqual('control: set T2', await sim.controlCommand(control, 'set T2 0x1234'), 'ok 12 34');
  await sim.controlCommand(control, 'set C7 0x0042');
  const timers = client.TMRead(2, 2);
  expectEqual('TMRead T2, T3', timers === false ? 'error: ' + errorOf(client) : hex(timers), '12340000');
  const counters = client.CTRead(6, 2);
  expectEqual('CTRead C6, C7', counters === false ? 'error: ' + errorOf(client) : hex(counters), '00000042');
  check('TMWrite is refused', !client.TMWrite(2, 1, Buffer.from('0001', 'hex')));
  expectEqual('T2 unchanged', await sim.controlCommand(control, 'get T2'), 'ok 12 34');
}

function multiVars(a, b) {
  const items = [
    { Area: a.S7AreaDB, WordLen: a.S7WLByte, DBNumber: 7, Start: 30, Amount: 3, Data: Buffer.from('112233', 'hex') },
    { Area: a.S7AreaMK, WordLen: a.S7WLByte, DBNumber: 0, Start: 100, Amount: 2, Data: Buffer.from('4455', 'hex') },
    { Area: a.S7AreaPE, WordLen: a.S7WLByte, DBNumber: 0, Start: 100, Amount: 1, Data: Buffer.from('66', 'hex') },
    { Area: a.S7AreaPA, WordLen: a.S7WLByte, DBNumber: 0, Start: 100, Amount: 2, Data: Buffer.from('7788', 'hex') },
  ];
  const written = a.WriteMultiVars(items);
  check('WriteMultiVars of DB, MK, PE, PA', written && written.every((r) => r.Result === 0),
        written ? JSON.stringify(written) : errorOf(a));
  // Read by the other client, with an item of a block that is not served.
  const missing = { Area: b.S7AreaDB, WordLen: b.S7WLByte, DBNumber: 2, Start: 0, Amount: 1 };
  const results = b.ReadMultiVars([...items.map(({ Data, ...item }) => item), missing]);
  check('ReadMultiVars answers', results, errorOf(b));
  if (!results) return;
  items.forEach((item, i) => expectEqual('ReadMultiVars item ' + i + ' (area 0x' + item.Area.toString(16) + ')',
                                         results[i].Result === 0 ? hex(results[i].Data) : 'error ' + results[i].Result,
                                         hex(item.Data)));
  check('ReadMultiVars item of DB2 is refused alone', results[items.length].Result !== 0);
}

// What an engineering tool asks besides data: blocks, clock, protection,
// passwords (the CPU has none), system state lists, stop and start.
function engineering(client) {
  const blocks = client.ListBlocks();
  expectEqual('ListBlocks: data blocks only', JSON.stringify(blocks && [blocks.DBCount, blocks.OBCount, blocks.FCCount]),
              JSON.stringify([CPU.dbs.length, 0, 0]));
  expectEqual('ListBlocksOfType DB', JSON.stringify(client.ListBlocksOfType(client.Block_DB)), JSON.stringify(CPU.dbs));
  check('ListBlocksOfType OB: none', client.ListBlocksOfType(client.Block_OB) === false);
  const info = client.GetAgBlockInfo(client.Block_DB, CPU.dbs[0]);
  expectEqual('GetAgBlockInfo DB' + CPU.dbs[0] + ' MC7 size', info && info.MC7Size, CPU.mc7);
  check('GetAgBlockInfo of a missing block fails', client.GetAgBlockInfo(client.Block_DB, 99) === false);
  const drift = Math.abs((client.GetPlcDateTime() || 0) - Date.now());
  check('GetPlcDateTime: the machine\'s clock', drift < 5000, 'off by ' + drift + ' ms');
  const set = new Date(2031, 4, 17, 10, 20, 30);
  check('SetPlcDateTime', client.SetPlcDateTime(set), errorOf(client));
  check('GetPlcDateTime after the set', Math.abs((client.GetPlcDateTime() || 0) - set) < 5000);
  expectEqual('GetProtection: none', JSON.stringify(client.GetProtection()),
              JSON.stringify({ sch_schal: 1, sch_par: 0, sch_rel: 1, bart_sch: CPU.selector, anl_sch: 0 }));
  check('SetSessionPassword: no password to set', !client.SetSessionPassword('secret'), errorOf(client));
  check('ClearSessionPassword: none to clear', !client.ClearSessionPassword(), errorOf(client));
  for (const [id, index] of [[0x0000, 0], [0x0131, 1], [0x0232, 4], [0x00a0, 0]])
    check('ReadSZL 0x' + id.toString(16).padStart(4, '0') + ' answers', client.ReadSZL(id, index), errorOf(client));
  check('PlcStop', client.PlcStop(), errorOf(client));
  expectEqual('PlcStatus after PlcStop', client.PlcStatus(), client.S7CpuStatusStop);
  const diagnostics = client.ReadSZL(0x00a0, 0);
  expectEqual('diagnostic buffer: the stop last', diagnostics && hex(diagnostics.subarray(4, 6)), '4304');
  check('PlcHotStart', client.PlcHotStart(), errorOf(client));
  expectEqual('PlcStatus after PlcHotStart', client.PlcStatus(), client.S7CpuStatusRun);
}

async function main() {
  const endpoint = await sim.startSimulator([...(CPU.vMemory ? [] : SIM_ARGS), '--control', '0']);
  const wrongSlot = tryConnect(endpoint, 1, CPU.tsaps ? 0 : CPU.slot + 1);
  check('another slot is refused', wrongSlot.refused, 'connected');
  const a = connect('A', endpoint, 1);
  // B takes an S7 basic connection: an S7-200 SMART serves one PG only.
  const b = connect('B', endpoint, 3);
  await identity(a, endpoint.control);
  engineering(a);
  if (!CPU.vMemory) {
    areas(a);
    await timersAndCounters(a, endpoint.control);
    multiVars(a, b);
  }
  a.Disconnect();
  b.Disconnect();
  await sim.stopSimulator();
  sim.finish();
}

main().catch((e) => sim.abort('unexpected error: ' + (e && e.stack ? e.stack : e)));
