#!/usr/bin/env bash
# What stream clients cost the panel's polling: two `panel` processes poll
# the same 50 Int16 tags of one simulated PLC with --interval 0, one with no
# stream client and one with 16 (/api/stream, held by one node process,
# bench/stream-clients.js, which counts the events each stream got). The two
# take turns: each gets the PLC alone for a window of WINDOW seconds while
# the other is stopped (SIGSTOP), round after round, so that whatever else
# the machine does falls on both alike. Each one's CPU time (all its threads)
# is counted over its windows, per poll: on a machine shared with other
# builds that repeats far better than polls per second do.
# quillmarsh-bench runs it and judges the figure on the line that starts
# with "figure": stream_clients_cpu, the CPU time per poll of the panel with
# stream clients over the one without.
# Usage: bench/panel.sh [BUILD_DIR]   (default build-bench; it must hold a build)
# Environment: BENCH_TAGS (50), BENCH_ROUNDS (15), BENCH_WINDOW (1 s).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$root/build-bench}/bin
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

polls() { curl -s "$1/api/tags" | sed -n 's/^{"poll":\([0-9]*\),.*/\1/p'; }
# CPU time a process has used, in clock ticks (user and system, all threads).
cpu() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

start_until '^listening on ' "$bin/quillmarsh-sim" --port 0
plc=${line#listening on }
tag_args=()
for ((i = 0; i < tags; ++i)); do tag_args+=("DB1.DBW$((2 * i)):int16"); done

start_until '^panel on ' "$bin/quillmarsh" panel "$plc" "${tag_args[@]}" --interval 0 --http 127.0.0.1:0
panel_pid=$started panel_url=${line#panel on }
kill -STOP "$panel_pid"
start_until '^panel on ' "$bin/quillmarsh" panel "$plc" "${tag_args[@]}" --interval 0 --http 127.0.0.1:0
busy_pid=$started busy_url=${line#panel on }
start_until '^open$' node "$root/bench/stream-clients.js" "${busy_url%/}" "$streams"
clients_pid=$started clients_out=$output
kill -STOP "$busy_pid"

# One window of a panel: continue it, count its polls and CPU time over the
# window, stop it. Prints "POLLS TICKS".
window() {
  local pid=$1 url=${2%/} p0 c0
  kill -CONT "$pid"
  p0=$(polls "$url"); c0=$(cpu "$pid")
  sleep "$window"
  echo "$(($(polls "$url") - p0)) $(($(cpu "$pid") - c0))"
  kill -STOP "$pid"
}

declare -A polls=([panel]=0 [busy]=0) ticks=([panel]=0 [busy]=0)
add() {
  read -r p c
  polls[$1]=$((polls[$1] + p))
  ticks[$1]=$((ticks[$1] + c))
}
for ((r = 0; r < rounds; ++r)); do
  add panel < <(window "$panel_pid" "$panel_url")
  add busy < <(window "$busy_pid" "$busy_url")
done
kill -CONT "$busy_pid"
kill -TERM "$clients_pid"; wait "$clients_pid" || true
events=$(sed -n 's/^events //p' "$clients_out")

echo "$tags tags, --interval 0, $rounds rounds of one ${window}-second window each"
awk -v pp="${polls[panel]}" -v bp="${polls[busy]}" -v pt="${ticks[panel]}" -v bt="${ticks[busy]}" \
    -v n="$streams" -v hz="$(getconf CLK_TCK)" 'BEGIN {
  printf "panel alone: %d polls, %.1f us of CPU per poll\n", pp, pt * 1e6 / hz / pp
  printf "panel with %d stream clients: %d polls, %.1f us of CPU per poll\n", n, bp, bt * 1e6 / hz / bp
  printf "figure stream_clients_cpu %.3f\n", (bt / bp) / (pt / pp) }'
echo "events per stream client, fewest and most: ${events/ / and }, of ${polls[busy]} polls in its windows"
