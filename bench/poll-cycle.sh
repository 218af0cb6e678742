#!/usr/bin/env bash
# The poll cycle over a link with a 5 ms round trip: quillmarsh-sim as an
# S7-300 (PDU 240, 2 parallel jobs, reached at rack 0 slot 2) behind
# quillmarsh-delay-proxy, a relay that holds every chunk 2.5 ms in each
# direction. Two sets of tags, each 60 % INT in DB1, 20 % REAL in DB2 and
# 20 % marker bits from M0.0 on:
#   100 tags    60 INT DB1.DBW0..118, 20 REAL DB2.DBD0..76, M0.0..M2.3
#   1,000 tags  600 INT DB1.DBW0..1198, 200 REAL DB2.DBD0..796, M0.0..M24.7
# polled by `watch --slot 2 --jobs 8` (asking, as nodes7 does, for more jobs
# in parallel than the CPU grants) through the plug-in's extension
# (multi-item jobs, as many in flight as granted), by `watch --no-batch` (a
# merged read per area and PDU), by `watch --no-merge` (a job per tag) and
# by nodes7's readAllItems, all through the same relay. A poll's time is the
# median read as watch measures it (nodes7: its median readAllItems); the
# cycle from one poll line to the next, with watch's printing, is shown too.
# quillmarsh-bench judges the figures:
#   tagsN_extension_round_trips   the extension's poll over a poll of one
#                                 tag (one job: the link's round trip as
#                                 this machine gives it, 5 ms and the
#                                 relay's and the programs' own time)
#   tagsN_extension_over_nodes7   the extension's poll over nodes7's
# Lines that start with "figure" carry them; the others say what was seen.
#   bash bench/poll-cycle.sh [BUILD_DIR]   (default build-bench; it must hold a build)
# Environment: POLL_DELAY_US (one way, default 2500), POLL_POLLS (60),
# POLL_SIZES (default "100 1000").
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$root/build-bench}/bin
delay_us=${POLL_DELAY_US:-2500}
polls=${POLL_POLLS:-60}
sizes=${POLL_SIZES:-100 1000}
largest=1000
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
  echo "poll-cycle.sh: $* did not start: $(cat "$out")" >&2
  exit 2
}

# The PLC image, which the nodes7 client checks value by value: INT k is
# k + 1, REAL k is k + 0.5, the marker bytes 0x55 (every even bit set).
ints=$((largest * 6 / 10)) reals=$((largest * 2 / 10)) bits=$((largest * 2 / 10))
image=(--db "1:$((2 * ints))" --db "2:$((4 * reals))")
image+=(--preset "DB1:0:$(for k in $(seq 0 $((ints - 1))); do printf '%04x' $((k + 1)); done)")
for k in $(seq 0 $((reals - 1))); do image+=(--preset "DB2.DBD$((4 * k)):real=$k.5"); done
image+=(--preset "M:0:$(for _ in $(seq $(((bits + 7) / 8))); do printf 55; done)")
start sim "$bin/quillmarsh-sim" --port 0 --cpu s7-300 "${image[@]}"
start proxy "$bin/quillmarsh-delay-proxy" "127.0.0.1:$port" "$delay_us"
plc=127.0.0.1:$port
reach=(--slot 2 --jobs 8)

# The tag list of n tags, one address,type a line.
tag_list() {
  local n=$1 k
  for k in $(seq 0 $((n * 6 / 10 - 1))); do echo "DB1.DBW$((2 * k)),int16"; done
  for k in $(seq 0 $((n * 2 / 10 - 1))); do echo "DB2.DBD$((4 * k)),float"; done
  for k in $(seq 0 $((n * 2 / 10 - 1))); do echo "M$((k / 8)).$((k % 8)),bool"; done
}

# A watch run of count polls, as "READ CYCLE" in ms. READ: the median time
# of its reads (watch's own figure, the last "link" line, which a watch
# into a pipe writes to stderr). CYCLE: the time
# from one poll line to the next (printed to the millisecond), the read and
# the printing, the mean of the middle half, so that a poll the machine held
# up does not count. Fails unless the last poll read all the tags.
poll_lines() { grep -E '^poll [0-9]+ [0-9]' "$work/watch.out"; }
watch_run() {
  local tags=$1 count=$2; shift 2
  "$bin/quillmarsh" watch "$plc" "${reach[@]}" "$@" --interval 0 --polls "$count" >"$work/watch.out" 2>&1
  local ok; ok=$(poll_lines | tail -1 | grep -o '\[0 ok\]' | wc -l)
  if [ "$ok" -ne "$tags" ]; then echo "poll-cycle.sh: watch $*: the last poll read $ok of $tags tags" >&2; exit 2; fi
  local read; read=$(sed -nE 's/^link poll .*\(median ([0-9.]+),.*/\1/p' "$work/watch.out" | tail -1)
  [ -n "$read" ] || { echo "poll-cycle.sh: watch $* gave no link figures" >&2; exit 2; }
  poll_lines | awk '{ split($3, t, ":"); ms = (t[1] * 3600 + t[2] * 60 + t[3]) * 1000;
         if (NR > 1) print ms - last; last = ms }' |
    sort -g | awk -v r="$read" '{ d[NR] = $1 } END { for (i = int(NR / 4) + 1; i <= int(3 * NR / 4); ++i) { s += d[i]; n++ }
                                                     printf "%s %.2f", r, s / n }'
}

# Read jobs sent in one poll: the plug-in logs each ("读命令", read command)
# with --debug.
jobs() {
  "$bin/quillmarsh" watch "$plc" "${reach[@]}" "$@" --polls 1 --debug 2>&1 >/dev/null | grep -c '读命令' || true
}

read -r one_read one_cycle <<<"$(watch_run 1 "$polls" DB1.DBW0:int16)"
echo "link: relay with ${delay_us} us each way; a poll of one tag: read $one_read ms, cycle $one_cycle ms"
echo "  (ms per poll: the median read, as watch measures it, and the cycle from line to line, the printing in it)"
for n in $sizes; do
  tag_list "$n" >"$work/tags$n.csv"
  tags=(--tags "$work/tags$n.csv")
  read -r extension extension_cycle <<<"$(watch_run "$n" "$polls" "${tags[@]}")"
  read -r merged merged_cycle <<<"$(watch_run "$n" "$polls" "${tags[@]}" --no-batch)"
  # A job per tag: n round trips a poll, so fewer polls.
  read -r single single_cycle <<<"$(watch_run "$n" $((polls * 50 / n + 3)) "${tags[@]}" --no-merge)"
  nodes7=$(node "$root/bench/poll-cycle-nodes7.js" 127.0.0.1 "$port" "$n" "$polls" |
             sed -nE 's/.*"medianMs":([0-9.]+).*/\1/p')
  [ -n "$nodes7" ] || { echo "poll-cycle.sh: nodes7 gave no time for $n tags" >&2; exit 2; }
  echo "$n tags, ms per poll, read / cycle (jobs): extension $extension / $extension_cycle ($(jobs "${tags[@]}")),"
  echo "  --no-batch $merged / $merged_cycle ($(jobs "${tags[@]}" --no-batch)), --no-merge $single / $single_cycle ($n)," \
       "nodes7 $nodes7 (median readAllItems)"
  awk -v n="$n" -v e="$extension" -v m="$merged" -v s="$single" -v o="$one_read" -v j="$nodes7" -v c="$extension_cycle" \
      -v oc="$one_cycle" 'BEGIN {
    printf "  round trips per poll: extension %.2f (cycle %.2f), --no-batch %.2f, --no-merge %.1f, nodes7 %.2f\n",
           e / o, c / oc, m / o, s / o, j / o
    printf "figure tags%d_extension_round_trips %.3f\n", n, e / o
    printf "figure tags%d_extension_over_nodes7 %.3f\n", n, e / j }'
done
