#!/usr/bin/env bash
# The poll cycle of 100 tags over a link with a 5 ms round trip: 60 INT in
# DB1 and 20 REAL in DB2, named by symbol from bench/names/plant.db, and 20
# marker bits, against the simulated PLC as an S7-1200 (PDU 240; nodes7
# reaches it at slot 1) behind quillmarsh-delay-proxy, a relay that holds every chunk
# 2.5 ms in each direction. quillmarsh-bench runs it and judges its figures:
#   merged_round_trips           a poll of all 100 tags by `watch`, the tags
#                                merged into reads of bytes, over a poll of
#                                one tag (one job: the link's round trip as
#                                this machine gives it, 5 ms and the relay's
#                                and the programs' own time, which grows
#                                with the machine's load)
#   one_area_watch_over_nodes7   a poll of the 60 INT of DB1 alone by `watch`,
#                                over nodes7's readAllItems of them (median)
# Lines that start with "figure" carry them; the others say what was seen.
#   bash bench/names.sh [BUILD_DIR]   (default build-bench; it must hold a build)
# Environment: NAMES_DELAY_US (one way, default 2500), NAMES_POLLS (60).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$root/build-bench}/bin
delay_us=${NAMES_DELAY_US:-2500}
polls=${NAMES_POLLS:-60}
source=$root/bench/names/plant.db
numbers=(--number Drives=1 --number Flows=2)
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

start sim "$bin/quillmarsh-sim" --port 0 --cpu s7-1200 --symbols "$source" "${numbers[@]}"
start proxy "$bin/quillmarsh-delay-proxy" "127.0.0.1:$port" "$delay_us"
plc=127.0.0.1:$port

for i in $(seq 0 19); do echo "M$((i / 8)).$((i % 8)),bool"; done >"$work/markers.csv"
all=("\"Drives\"" "\"Flows\"" --tags "$work/markers.csv" --symbols "$source" "${numbers[@]}")

# The poll cycle of a watch run in ms: the mean of the middle half of the
# times between its poll lines (they are printed to the millisecond), so
# that a poll the machine held up does not count. Fails unless the last poll
# read all the tags.
cycle() {
  local tags=$1; shift
  "$bin/quillmarsh" watch "$plc" "$@" --interval 0 --polls "$polls" >"$work/watch.out"
  local ok; ok=$(tail -1 "$work/watch.out" | grep -o '\[0 ok\]' | wc -l)
  if [ "$ok" -ne "$tags" ]; then echo "names.sh: the last poll read $ok of $tags tags" >&2; exit 2; fi
  awk '{ split($3, t, ":"); ms = (t[1] * 3600 + t[2] * 60 + t[3]) * 1000;
         if (NR > 1) print ms - last; last = ms }' "$work/watch.out" |
    sort -g | awk '{ d[NR] = $1 } END { for (i = int(NR / 4) + 1; i <= int(3 * NR / 4); ++i) { s += d[i]; n++ }
                                        printf "%.2f", s / n }'
}

one=$(cycle 1 DB1.DBW0:int16)
merged=$(cycle 100 "${all[@]}")
# The plug-in logs each read job it sends ("读命令", read command) with --debug.
jobs=$("$bin/quillmarsh" watch "$plc" "${all[@]}" --polls 1 --debug 2>&1 >/dev/null | grep -c '读命令' || true)
drives=$(cycle 60 '"Drives"' --symbols "$source" "${numbers[@]}")
nodes7=$(node "$root/bench/names-nodes7.js" 127.0.0.1 "$port" "$polls" | sed -nE 's/.*"medianMs":([0-9.]+).*/\1/p')
[ -n "$nodes7" ] || { echo "names.sh: nodes7 gave no time" >&2; exit 2; }

echo "link: relay with ${delay_us} us each way; $polls polls each: one tag $one ms,"
echo "  100 tags merged $merged ms in $jobs jobs; 60 INT of DB1: watch $drives ms, nodes7 $nodes7 ms"
awk -v m="$merged" -v o="$one" -v w="$drives" -v n="$nodes7" 'BEGIN {
  printf "figure merged_round_trips %.3f\n", m / o
  printf "figure one_area_watch_over_nodes7 %.3f\n", w / n }'
