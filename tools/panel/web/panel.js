// The panel page: a live table of the tags (leaves of data blocks grouped
// by the struct they belong to, with their comments; a failed read with its
// cause and what to change), one trend per numeric scalar tag, the
// connection banner, the link's figures and, when the panel allows it, a
// write form per tag. Everything comes from the panel's own server.
'use strict';

const token = new URLSearchParams(location.search).get('token') || '';
const state = { rows: new Map(), charts: new Map(), lastPoll: -1, paused: false, history: 600, times: [] };

// Value ranges of the integer types, as the command line's write checks them.
const integerRange = {
  Int8: [-128n, 127n], UInt8: [0n, 255n], Int16: [-32768n, 32767n], UInt16: [0n, 65535n],
  Int32: [-2147483648n, 2147483647n], UInt32: [0n, 4294967295n],
  Int64: [-9223372036854775808n, 9223372036854775807n], UInt64: [0n, 18446744073709551615n],
};
// The smallest magnitude that rounds to infinity: FLT_MAX plus half its spacing.
const realOverflow = { Float: 3.4028235677973366e38, Double: Infinity };

// Null when the text is acceptable for the type, else why not.
function checkValue(text, type) {
  const t = text.trim();
  if (type === 'Bool')
    return /^(0|1|true|false)$/i.test(t) ? null : `'${t}' is not a Bool (0, 1, true or false)`;
  if (type in integerRange) {
    const m = /^([+-]?)(?:0x([0-9a-f]+)|([0-9]+))$/i.exec(t);
    if (!m) return `'${t}' is not a number for ${type}`;
    let v = BigInt(m[2] !== undefined ? '0x' + m[2] : m[3]);
    if (m[1] === '-') v = -v;
    const [lo, hi] = integerRange[type];
    return v < lo || v > hi ? `'${t}' is out of range for ${type} (${lo} to ${hi})` : null;
  }
  if (/^[+-]?(inf|infinity|nan)$/i.test(t)) return null;
  if (!/^[+-]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]+)?$/.test(t)) return `'${t}' is not a number for ${type}`;
  const v = Number(t);
  return !isFinite(v) || Math.abs(v) >= realOverflow[type] ? `'${t}' is out of range for ${type}` : null;
}

function cell(row, cls, text) {
  const td = document.createElement('td');
  td.className = cls;
  if (text !== undefined) td.textContent = text;
  row.appendChild(td);
  return td;
}

function writeForm(td, tag, index) {
  const form = document.createElement('form');
  const input = document.createElement('input');
  input.name = 'values';
  // A leaf takes one value of its S7 type (a text may hold commas), checked
  // by the panel, which knows the type's literals and a STRING's length.
  const count = tag.symbol ? 1 : tag.count;
  input.placeholder = count > 1 ? `${count} values, comma-separated` : tag.symbol ? tag.s7type : 'value';
  const button = document.createElement('button');
  button.textContent = 'Write';
  const note = document.createElement('span');
  note.className = 'note';
  form.append(input, button, note);
  form.addEventListener('submit', async (event) => {
    event.preventDefault();
    const texts = tag.symbol ? [input.value] : input.value.split(',').map((s) => s.trim());
    let problem = texts.length !== count ? `${count} value(s) needed` : null;
    if (!tag.symbol) for (const t of texts) problem = problem || checkValue(t, tag.type);
    note.className = 'note error';
    if (problem) { note.textContent = problem; return; }
    note.textContent = 'writing…';
    try {
      const res = await fetch('api/write', {
        method: 'POST', headers: { 'Content-Type': 'application/json', 'X-Token': token },
        body: JSON.stringify({ index, values: texts }),
      });
      const text = await res.text();
      if (!res.ok) { note.textContent = `refused (${res.status}): ${text.trim()}`; return; }
      const record = JSON.parse(text);
      note.className = record.status === 0 ? 'note' : 'note error';
      note.textContent = [`${record.status} ${record.statusText}`, record.why, record.remedy].filter(Boolean).join('; ');
    } catch (e) {
      note.textContent = `not sent: ${e.message}`;
    }
  });
  td.appendChild(form);
}

function addChart(tag, index) {
  const box = document.createElement('div');
  box.className = 'chart';
  box.dataset.name = tag.name;
  box.dataset.index = String(index);
  box.dataset.points = '0';
  const title = document.createElement('h3');
  title.textContent = tag.label || tag.name;
  box.appendChild(title);
  document.getElementById('charts').appendChild(box);
  const plot = new uPlot({
    width: 420, height: 180,
    scales: { x: { time: true } },
    legend: { show: false },
    axes: [{}, { size: 80, values: (u, splits) => splits.map((v) => (Math.abs(v) >= 1e6 ? v.toExponential(1) : String(v))) }],
    series: [{}, { label: tag.label || tag.name, stroke: '#1565c0', width: 2, points: { show: true, size: 5 } }],
  }, [[], []], box);
  state.charts.set(index, { box, plot, values: [] });
}

// A row naming the struct, array element or block whose leaves follow.
function groupRow(body, parent) {
  const row = document.createElement('tr');
  row.className = 'group';
  const th = document.createElement('th');
  th.colSpan = 7;
  th.textContent = parent;
  row.appendChild(th);
  body.appendChild(row);
}

// A leaf under its group's row shows only what follows the group's symbol.
function tagText(tag, grouped) {
  let name = tag.name;
  if (grouped && name.startsWith(tag.parent)) name = name.slice(tag.parent.length).replace(/^\./, '');
  return tag.label ? `${tag.label} (${name})` : name;
}

function build(snapshot) {
  state.history = snapshot.history;
  document.body.classList.toggle('writable', snapshot.writable);
  const body = document.querySelector('#tags tbody');
  let group = null;
  // Rows and charts are keyed by position, so a tag may be listed twice.
  snapshot.tags.forEach((tag, index) => {
    const parent = tag.symbol ? tag.parent : null;
    if (parent && parent !== group) groupRow(body, parent);
    group = parent;
    const row = document.createElement('tr');
    row.dataset.name = tag.name;
    row.dataset.index = String(index);
    if (parent) row.className = 'member';
    const name = cell(row, 'tag', tagText(tag, !!parent));
    if (tag.comment) {
      const note = document.createElement('span');
      note.className = 'comment';
      note.textContent = tag.comment;
      name.appendChild(note);
    }
    cell(row, 'type', tag.symbol ? tag.s7type : tag.count > 1 ? `${tag.type}[${tag.count}]` : tag.type);
    const cells = { value: cell(row, 'value'), status: cell(row, 'status'), age: cell(row, 'age'),
                    timestamp: cell(row, 'timestamp') };
    const write = cell(row, 'write');
    if (snapshot.writable) writeForm(write, tag, index);
    body.appendChild(row);
    state.rows.set(index, { row, cells });
    if (tag.trend) addChart(tag, index);
  });
}

function redraw() {
  for (const chart of state.charts.values()) {
    chart.plot.setData([state.times, chart.values]);
    chart.box.dataset.points = String(chart.values.filter((v) => v !== null).length);
  }
}

function addPoint(time, valuesByIndex) {
  state.times.push(time);
  for (const [index, chart] of state.charts) chart.values.push(valuesByIndex.has(index) ? valuesByIndex.get(index) : null);
  const extra = state.times.length - state.history;
  if (extra > 0) {
    state.times.splice(0, extra);
    for (const chart of state.charts.values()) chart.values.splice(0, extra);
  }
}

// A time in ms as the figures show it.
function ms(value) {
  return `${value.toFixed(1)} ms`;
}

function showStats(snapshot) {
  const s = snapshot.stats;
  const text = (id, t) => { document.getElementById(id).textContent = t; };
  text('stats-poll', `poll ${ms(s.pollMs)}, median ${ms(s.medianMs)}, 99% ${ms(s.p99Ms)}`);
  text('stats-polls', `${s.polls} polls, ${s.late} late, ${s.missed} missed, ${s.reconnects} reconnects`);
  text('stats-tags', `tags ${s.good} ok, ${s.bad} bad`);
  text('stats-traffic', `${s.calls} ${s.calls === 1 ? 'call' : 'calls'}, ${s.bytes} B per poll`);
  const clock = snapshot.clock;
  text('stats-clock', clock === null ? '' : 'offsetMs' in clock
    ? `PLC clock ${clock.offsetMs >= 0 ? '+' : ''}${(clock.offsetMs / 1000).toFixed(1)} s against this machine`
    : `PLC clock not read: ${clock.error}`);
}

// The status, and for a failed read its cause and what to change.
function showStatus(td, tag) {
  td.textContent = `${tag.status} ${tag.statusText}`;
  for (const key of ['why', 'remedy']) {
    if (tag[key] === null) continue;
    const line = document.createElement('span');
    line.className = key;
    line.textContent = tag[key];
    td.appendChild(line);
  }
}

function show(snapshot) {
  const banner = document.getElementById('banner');
  const c = snapshot.connection;
  banner.className = 'banner ' + (c.connected ? 'connected' : 'reconnecting');
  banner.dataset.attempts = String(c.attempts);
  document.getElementById('state').textContent = c.text;
  document.getElementById('poll').textContent = `poll ${snapshot.poll} at ${snapshot.time.slice(11)}`;
  document.body.dataset.poll = String(snapshot.poll);
  showStats(snapshot);
  const numbers = new Map();
  snapshot.tags.forEach((tag, index) => {
    const entry = state.rows.get(index);
    if (!entry) return;
    entry.cells.value.textContent = tag.value;
    showStatus(entry.cells.status, tag);
    entry.cells.age.textContent = tag.age === null ? '-' : `${tag.age.toFixed(1)} s`;
    entry.cells.timestamp.textContent = tag.timestamp === null ? '-' : tag.timestamp.replace('T', ' ');
    entry.row.classList.toggle('bad', tag.status !== 0);
    // A trend tag's one value; JSON gives null for inf and nan.
    if (tag.trend) numbers.set(index, tag.status === 0 && tag.values.length ? tag.values[0] : null);
  });
  if (snapshot.poll > state.lastPoll && state.lastPoll >= 0) {
    addPoint(Date.parse(snapshot.time) / 1000, numbers);
    if (!state.paused) redraw();
  }
  state.lastPoll = Math.max(state.lastPoll, snapshot.poll);
}

// Seeds the trends with the polls the panel recorded before the page opened.
async function loadHistory(snapshot) {
  const res = await fetch('api/history.csv');
  const lines = (await res.text()).trim().split('\n').slice(1);
  const trendIndexes = [];
  snapshot.tags.forEach((t, index) => { if (t.trend) trendIndexes.push(index); });
  for (const line of lines) {
    // Trend values are plain numbers, so only the header can hold quotes.
    const fields = line.split(',');
    const poll = Number(fields[0]);
    if (poll > snapshot.poll) continue;
    const values = new Map(trendIndexes.map((index, column) => {
      const v = fields[column + 2] === '' ? NaN : Number(fields[column + 2]);
      return [index, isFinite(v) ? v : null];
    }));
    addPoint(Date.parse(fields[1].replace(' ', 'T')) / 1000, values);
    state.lastPoll = Math.max(state.lastPoll, poll);
  }
  redraw();
}

document.getElementById('pause').addEventListener('click', (event) => {
  state.paused = !state.paused;
  event.target.textContent = state.paused ? 'Resume trends' : 'Pause trends';
  if (!state.paused) redraw();
});

async function main() {
  const snapshot = await (await fetch('api/tags')).json();
  build(snapshot);
  await loadHistory(snapshot);
  show(snapshot);
  const stream = new EventSource('api/stream');
  stream.onmessage = (event) => show(JSON.parse(event.data));
  stream.onerror = () => {
    document.getElementById('banner').className = 'banner unknown';
    document.getElementById('state').textContent = 'panel not reachable; retrying';
  };
}

main().catch((e) => { document.getElementById('state').textContent = `page failed: ${e.message}`; });
