#!/usr/bin/env bash
# Tags per second that `panel` polls with --interval 0, against those that
# `watch --interval 0` polls from the same simulated PLC, with no stream
# client and with 16 stream clients reading every poll. Target: the panel
# reaches at least 90 % of watch in both.
# Usage: bench/panel.sh [BUILD_DIR]   (default build; it must hold a build)
# Environment: BENCH_TAGS (50), BENCH_SECONDS per measurement (5),
# BENCH_ROUNDS (3; the table shows the median of the rounds).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$root/build}/bin
tags=${BENCH_TAGS:-50}
seconds=${BENCH_SECONDS:-5}
rounds=${BENCH_ROUNDS:-3}
streams=16
work=$(mktemp -d)
pids=()

cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Starts a program in the background and waits (bounded) for a stdout line
# matching a pattern; sets line to it and started to the program's pid.
start_until() {
  local pattern=$1 out=$work/out.$RANDOM
  shift
  "$@" >"$out" 2>&1 &
  started=$!
  pids+=("$started")
  for _ in $(seq 100); do
    if line=$(grep -m1 -E "$pattern" "$out"); then return 0; fi
    sleep 0.1
  done
  echo "panel.sh: no '$pattern' from $1" >&2
  return 1
}

start_until '^listening on ' "$bin/quillmarsh-sim" --port 0
plc=${line#listening on }
tag_args=()
for ((i = 0; i < tags; ++i)); do tag_args+=("DB1.DBW$((2 * i)):int16"); done

# watch: polls in a window, from the time stamps of its lines to a pipe.
watch_rate() {
  local log=$work/watch.log
  timeout $((seconds + 10)) "$bin/quillmarsh" watch "$plc" "${tag_args[@]}" --interval 0 >"$log" &
  local pid=$!
  sleep "$seconds"
  kill -INT "$pid"
  wait "$pid" || true
  # "poll N hh:mm:ss.zzz ..." lines; the first one is left out (connect).
  awk -v tags="$tags" '
    function ms(t) { split(t, a, /[:.]/); return ((a[1] * 60 + a[2]) * 60 + a[3]) * 1000 + a[4] }
    /^poll / { if (!first) { first = $2; t0 = ms($3) } last = $2; t1 = ms($3) }
    END { printf "%.0f\n", (last - first) * tags * 1000 / (t1 - t0) }' "$log"
}

# panel: the poll counter of /api/tags over a window.
poll_count() {
  curl -s "$1/api/tags" | sed -n 's/^{"poll":\([0-9]*\),.*/\1/p'
}
panel_rate() {
  local url=$1 t0 t1 p0 p1
  sleep 1
  t0=$(date +%s.%N); p0=$(poll_count "$url")
  sleep "$seconds"
  t1=$(date +%s.%N); p1=$(poll_count "$url")
  awk -v p0="$p0" -v p1="$p1" -v t0="$t0" -v t1="$t1" -v tags="$tags" \
    'BEGIN { printf "%.0f\n", (p1 - p0) * tags / (t1 - t0) }'
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

watch_rates=() panel_rates=() stream_rates=()
for ((r = 1; r <= rounds; ++r)); do
  watch_rates+=("$(watch_rate)")
  start_until '^panel on ' "$bin/quillmarsh" panel "$plc" "${tag_args[@]}" --interval 0 --http 127.0.0.1:0
  panel_pid=$started
  url=${line#panel on }
  url=${url%/}
  panel_rates+=("$(panel_rate "$url")")
  clients=()
  for ((s = 0; s < streams; ++s)); do
    curl -sN "$url/api/stream" >/dev/null &
    clients+=($!)
  done
  stream_rates+=("$(panel_rate "$url")")
  kill "${clients[@]}" 2>/dev/null || true
  kill -TERM "$panel_pid"
  wait "$panel_pid" "${clients[@]}" 2>/dev/null || true
done

w=$(printf '%s\n' "${watch_rates[@]}" | median)
p=$(printf '%s\n' "${panel_rates[@]}" | median)
s=$(printf '%s\n' "${stream_rates[@]}" | median)
echo "$tags tags, --interval 0, median of $rounds rounds of ${seconds} s (rounds: watch ${watch_rates[*]}; panel ${panel_rates[*]}; panel+$streams ${stream_rates[*]})"
printf '%-28s %12s %10s\n' "host" "tags/s" "of watch"
printf '%-28s %12s %10s\n' "watch" "$w" "100 %"
awk -v w="$w" -v p="$p" -v s="$s" -v n="$streams" 'BEGIN {
  printf "%-28s %12d %8.1f %%\n", "panel", p, 100 * p / w
  printf "%-28s %12d %8.1f %%\n", "panel, " n " stream clients", s, 100 * s / w
  ok = p >= 0.9 * w && s >= 0.9 * w
  print ok ? "target (>= 90 % of watch): met" : "target (>= 90 % of watch): NOT met"
}'
