#!/usr/bin/env bash
# Tags per second that `panel` polls with --interval 0, against those that
# `watch --interval 0` polls from the same simulated PLC: a panel with no
# stream client and a panel with 16 stream clients reading every poll (held
# by one node process, bench/stream-clients.js, which counts the events each
# stream got). Target: both panels reach at least 90 % of watch.
#
# The three run side by side but take turns: each gets the PLC alone for a
# window of WINDOW seconds while the other two are stopped (SIGSTOP), round
# after round, so that whatever else the machine does falls on all three
# alike. Each one's rate is its polls over its windows.
# Usage: bench/panel.sh [BUILD_DIR]   (default build; it must hold a build)
# Environment: BENCH_TAGS (50), BENCH_ROUNDS (15), BENCH_WINDOW (1 s).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$root/build}/bin
tags=${BENCH_TAGS:-50}
rounds=${BENCH_ROUNDS:-15}
window=${BENCH_WINDOW:-1}
streams=16
work=$(mktemp -d)
pids=()

cleanup() {
  for pid in "${pids[@]}"; do kill -CONT "$pid" 2>/dev/null || true; kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Starts a program in the background and waits (bounded) for a stdout line
# matching a pattern; sets line to it, started to the program's pid and
# output to the file its output goes to.
start_until() {
  local pattern=$1 out=$work/out.$RANDOM
  shift
  "$@" >"$out" 2>&1 &
  started=$!
  output=$out
  pids+=("$started")
  for _ in $(seq 100); do
    if line=$(grep -m1 -E "$pattern" "$out"); then return 0; fi
    sleep 0.1
  done
  echo "panel.sh: no '$pattern' from $1" >&2
  return 1
}

now() { date +%s.%N; }
panel_polls() { curl -s "$1/api/tags" | sed -n 's/^{"poll":\([0-9]*\),.*/\1/p'; }
watch_polls() { grep -c '^poll ' "$1" || true; }

start_until '^listening on ' "$bin/quillmarsh-sim" --port 0
plc=${line#listening on }
tag_args=()
for ((i = 0; i < tags; ++i)); do tag_args+=("DB1.DBW$((2 * i)):int16"); done

start_until '^poll ' "$bin/quillmarsh" watch "$plc" "${tag_args[@]}" --interval 0
watch_pid=$started watch_log=$output
kill -STOP "$watch_pid"
start_until '^panel on ' "$bin/quillmarsh" panel "$plc" "${tag_args[@]}" --interval 0 --http 127.0.0.1:0
panel_pid=$started panel_url=${line#panel on }
panel_url=${panel_url%/}
kill -STOP "$panel_pid"
start_until '^panel on ' "$bin/quillmarsh" panel "$plc" "${tag_args[@]}" --interval 0 --http 127.0.0.1:0
busy_pid=$started busy_url=${line#panel on }
busy_url=${busy_url%/}
start_until '^open$' node "$root/bench/stream-clients.js" "$busy_url" "$streams"
clients_pid=$started clients_out=$output
kill -STOP "$busy_pid"

# One window of a program: continue it, count its polls over the window, stop it.
# Prints "POLLS SECONDS".
window() {
  local pid=$1 count=$2 source=$3 p0 p1 t0 t1
  kill -CONT "$pid"
  p0=$($count "$source"); t0=$(now)
  sleep "$window"
  p1=$($count "$source"); t1=$(now)
  kill -STOP "$pid"
  awk -v p="$((p1 - p0))" -v t0="$t0" -v t1="$t1" 'BEGIN { printf "%d %.6f\n", p, t1 - t0 }'
}

declare -A polls=([watch]=0 [panel]=0 [busy]=0) seconds=([watch]=0 [panel]=0 [busy]=0)
kill -CONT "$busy_pid"; busy_first=$(panel_polls "$busy_url"); kill -STOP "$busy_pid"
add() {
  read -r p t
  polls[$1]=$((polls[$1] + p))
  seconds[$1]=$(awk -v a="${seconds[$1]}" -v b="$t" 'BEGIN { printf "%.6f", a + b }')
}
for ((r = 0; r < rounds; ++r)); do
  add watch < <(window "$watch_pid" watch_polls "$watch_log")
  add panel < <(window "$panel_pid" panel_polls "$panel_url")
  add busy < <(window "$busy_pid" panel_polls "$busy_url")
done
kill -CONT "$busy_pid"; busy_last=$(panel_polls "$busy_url")
kill -TERM "$clients_pid"; wait "$clients_pid" || true
events=$(sed -n 's/^events //p' "$clients_out")

rate() { awk -v p="${polls[$1]}" -v t="${seconds[$1]}" -v n="$tags" 'BEGIN { printf "%.0f", p * n / t }'; }
w=$(rate watch) p=$(rate panel) b=$(rate busy)
echo "$tags tags, --interval 0, $rounds rounds of one ${window}-second window each"
printf '%-28s %10s %10s %10s\n' "host" "polls" "tags/s" "of watch"
printf '%-28s %10s %10s %10s\n' "watch" "${polls[watch]}" "$w" "100 %"
awk -v w="$w" -v p="$p" -v b="$b" -v pp="${polls[panel]}" -v bp="${polls[busy]}" -v n="$streams" 'BEGIN {
  printf "%-28s %10d %10d %8.1f %%\n", "panel", pp, p, 100 * p / w
  printf "%-28s %10d %10d %8.1f %%\n", "panel, " n " stream clients", bp, b, 100 * b / w
  print (p >= 0.9 * w && b >= 0.9 * w) ? "target (>= 90 % of watch): met" : "target (>= 90 % of watch): NOT met"
}'
echo "events per stream client, fewest and most: ${events/ / and }, of $((busy_last - busy_first)) polls while they were open"
