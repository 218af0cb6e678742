// Stream clients for bench/panel.sh: opens N Server-Sent Events streams of a
// panel in one process and counts the events each receives; on SIGTERM it
// prints "events MIN MAX" over the streams and ends.
//   node stream-clients.js URL N
'use strict';
const http = require('node:http');

const [url, n] = [process.argv[2], Number(process.argv[3])];
const counts = new Array(n).fill(0);
const separator = Buffer.from('\n\n');
let open = 0;

for (let i = 0; i < n; i += 1) {
  http.get(`${url}/api/stream`, (res) => {
    if (res.statusCode !== 200) { console.error(`stream ${i}: HTTP ${res.statusCode}`); process.exit(1); }
    open += 1;
    if (open === n) console.log('open');
    let tail = Buffer.alloc(0);
    res.on('data', (chunk) => {
      // Events end in a blank line; one may be split across chunks.
      const data = Buffer.concat([tail, chunk]);
      let at = 0;
      for (let k = data.indexOf(separator); k >= 0; k = data.indexOf(separator, at)) {
        if (data[at] === 0x64) counts[i] += 1;   // "data: …", not a ": keep-alive"
        at = k + 2;
      }
      tail = data.subarray(at);
    });
  }).on('error', (e) => { console.error(`stream ${i}: ${e.message}`); process.exit(1); });
}

process.on('SIGTERM', () => {
  console.log(`events ${Math.min(...counts)} ${Math.max(...counts)}`);
  process.exit(0);
});
setTimeout(() => process.exit(2), 10 * 60 * 1000).unref();
