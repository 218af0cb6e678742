#!/usr/bin/env bash
# The poll cycle of 100 tags over a link with a 5 ms round trip: 60 INT in
# DB1 and 20 REAL in DB2, named by symbol from bench/names/plant.db, and 20
# marker bits, against the simulated PLC (its default profile: an S7-300,
# PDU 240) behind a relay that delays each direction by 2.5 ms. Polled three
# ways through the same relay:
#   watch, merged     quillmarsh watch, the tags merged into reads of bytes
#   watch, tag by tag quillmarsh watch --no-merge, one job per tag
#   nodes7            readAllItems, several items per PDU, PDUs in parallel
# Goals: merged <= nodes7, and merged <= 1/10 of tag by tag. Prints the
# figures and whether each goal is met; the exit code is 0 only when both are.
# One more row, for comparison and no goal: the 60 INT of DB1 alone, one job
# for watch and one PDU for nodes7.
# Environment: BUILD_DIR (default build-bench), BENCH_NO_BUILD=1 to use the
# build as it is, NAMES_DELAY_US (one way, default 2500), NAMES_POLLS (merged
# and nodes7 cycles, default 60), NAMES_SLOW_POLLS (tag by tag, default 8).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-bench}
delay_us=${NAMES_DELAY_US:-2500}
polls=${NAMES_POLLS:-60}
slow_polls=${NAMES_SLOW_POLLS:-8}
source=$root/bench/names/plant.db
numbers=(--number Drives=1 --number Flows=2)

if [ -z "${BENCH_NO_BUILD:-}" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$build" -j2 --target quillmarsh quillmarsh-sim quillmarsh-delay-proxy Quillmarsh
fi
bin=$build/bin
work=$(mktemp -d)
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; done; rm -rf "$work"; }
trap cleanup EXIT

# Starts a program in the background (in this shell, so that the clean-up
# ends it) and sets port from its first "… on HOST:PORT" line.
start() {
  local out=$work/$1.out; shift
  "$@" >"$out" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do
    port=$(sed -nE 's/.* on [0-9.]+:([0-9]+).*/\1/p' "$out" | head -1)
    if [ -n "$port" ]; then return; fi
    sleep 0.1
  done
  echo "names.sh: $* did not start: $(cat "$out")" >&2
  exit 2
}

start sim "$bin/quillmarsh-sim" --port 0 --symbols "$source" "${numbers[@]}"
sim_port=$port
start proxy "$bin/quillmarsh-delay-proxy" "127.0.0.1:$sim_port" "$delay_us"
link_port=$port
plc=127.0.0.1:$link_port

for i in $(seq 0 19); do echo "M$((i / 8)).$((i % 8)),bool"; done >"$work/markers.csv"
tags=("\"Drives\"" "\"Flows\"" --tags "$work/markers.csv" --symbols "$source" "${numbers[@]}")

# The mean poll cycle of a watch run in ms, from the times of its poll lines
# (first to last); fails unless the last poll read all the tags.
cycle() {
  local n=$1 tags=$2; shift 2
  "$bin/quillmarsh" watch "$plc" "$@" --interval 0 --polls "$n" >"$work/watch.out"
  local ok; ok=$(tail -1 "$work/watch.out" | grep -o '\[0 ok\]' | wc -l)
  if [ "$ok" -ne "$tags" ]; then echo "names.sh: the last poll read $ok of $tags tags" >&2; exit 2; fi
  awk -v n="$n" '{ split($3, t, ":"); ms = (t[1] * 3600 + t[2] * 60 + t[3]) * 1000;
                   if (NR == 1) first = ms; last = ms }
                 END { printf "%.2f", (last - first) / (n - 1) }' "$work/watch.out"
}

one=$("$bin/quillmarsh" watch "$plc" DB1.DBW0:int16 --interval 0 --polls "$polls" | awk -v n="$polls" '
  { split($3, t, ":"); ms = (t[1] * 3600 + t[2] * 60 + t[3]) * 1000; if (NR == 1) first = ms; last = ms }
  END { printf "%.2f", (last - first) / (n - 1) }')
merged=$(cycle "$polls" 100 "${tags[@]}")
# The plug-in logs each read job it sends ("读命令", read command) with --debug.
jobs=$("$bin/quillmarsh" watch "$plc" "${tags[@]}" --polls 1 --debug 2>&1 >/dev/null | grep -c '读命令' || true)
single=$(cycle "$slow_polls" 100 "${tags[@]}" --no-merge)
nodes7=$(node "$root/bench/names-nodes7.js" 127.0.0.1 "$link_port" "$polls")
nodes7_ms=$(echo "$nodes7" | sed -nE 's/.*"meanMs":([0-9.]+).*/\1/p')
granted=$(echo "$nodes7" | sed -nE 's/.*"pdu":([0-9]+),"parallel":([0-9]+).*/PDU \1, \2 parallel jobs (AmQ)/p')
drives=$(cycle "$polls" 60 '"Drives"' --symbols "$source" "${numbers[@]}")
drives_nodes7=$(node "$root/bench/names-nodes7.js" 127.0.0.1 "$link_port" "$polls" drives | sed -nE 's/.*"meanMs":([0-9.]+).*/\1/p')

echo "link: relay with ${delay_us} us each way; one tag, one job per poll: $one ms per poll"
echo "nodes7 was granted $granted by the simulated PLC"
printf '%-22s %10s %8s\n' "100 tags" "ms/poll" "jobs"
printf '%-22s %10.2f %8s\n' "watch, merged" "$merged" "$jobs"
printf '%-22s %10.2f %8s\n' "watch, tag by tag" "$single" 100
printf '%-22s %10.2f %8s\n' "nodes7" "$nodes7_ms" "-"
printf '%-22s %10.2f %8s\n' "60 INT of DB1: watch" "$drives" 1
printf '%-22s %10.2f %8s\n' "60 INT of DB1: nodes7" "$drives_nodes7" "-"
status=0
goal() {
  if awk -v a="$2" -v b="$3" 'BEGIN { exit !(a <= b) }'; then echo "goal met:     $1"; else echo "goal NOT met: $1"; status=1; fi
}
goal "merged <= nodes7 ($merged <= $nodes7_ms ms)" "$merged" "$nodes7_ms"
tenth=$(awk -v s="$single" 'BEGIN { printf "%.2f", s / 10 }')
goal "merged <= 1/10 of tag by tag ($merged <= $tenth ms)" "$merged" "$tenth"
exit $status
