#!/usr/bin/env bash
# Builds the benchmark (Release) and runs all of it:
#   1. the timing table: plug-in, plain-socket floor and snap7's client against
#      our simulated PLC and snap7's server, with the ratios and the targets;
#   2. client-side instructions per operation (callgrind) and system calls per
#      operation (strace -c), each client alone against a server in another
#      process, and where the plug-in's instructions go;
#   3. resident memory of a host holding 1, 100 and 1000 driver objects;
#   4. the soak run: memory and open descriptors over 100,000 write/read
#      cycles, 1,000 connect/disconnect rounds and replies of megabytes.
# Environment: BUILD_DIR (default build-bench), BENCH_OPS (4000),
# BENCH_PROFILE_OPS (1000), BENCH_NO_BUILD=1 to use the build as it is,
# BENCH_CPU (the CPU the timing run is pinned to; default the last one,
# "none" for no pinning).
# Results are kept in $BUILD_DIR/bench-results.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-bench}
ops=${BENCH_OPS:-4000}
profile_ops=${BENCH_PROFILE_OPS:-1000}
out=$build/bench-results
interop=$root/tests/interop

# snap7 is built by npm from node-snap7's bundled sources; without it the
# bench prints the other columns.
if [ -z "${BENCH_NO_BUILD:-}" ]; then
  if [ ! -f "$interop/node_modules/node-snap7/build/Release/snap7.a" ] && command -v npm >/dev/null; then
    (cd "$interop" && npm ci --no-audit --no-fund) || echo "run.sh: snap7 could not be built"
  fi
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$build" -j"$(nproc)" --target quillmarsh-bench
fi
bench=$build/bin/quillmarsh-bench
mkdir -p "$out"

# Pinned to one CPU, clients and servers share a core: every round trip then
# pays the same two context switches, and the ratios hold steady on a busy
# machine, where threads spread over CPUs wake up at the mercy of the load.
cpu=${BENCH_CPU:-$(($(nproc) - 1))}
pin=()
if [ "$cpu" != none ] && command -v taskset >/dev/null; then pin=(taskset -c "$cpu"); fi
echo "== Latency: median and 99th percentile per operation, one run${pin:+ on CPU $cpu} =="
set +e
"${pin[@]}" "$bench" --ops "$ops" | tee "$out/table.txt"
table_status=${PIPESTATUS[0]}
set -e

# One server in its own process, so that only the client is counted.
server_pid=
stop_server() { if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi; }
trap stop_server EXIT
rm -f "$out/port"
"$bench" --serve sim --port-file "$out/port" --seconds 1800 &
server_pid=$!
for _ in $(seq 100); do [ -s "$out/port" ] && break; sleep 0.1; done
port=$(cat "$out/port")

clients="plugin floor"
if nm "$bench" 2>/dev/null | grep ' T Cli_ReadArea$' >/dev/null; then clients="$clients snap7"; fi

# System calls at full speed (perf counts them without slowing the client,
# which strace does: a slowed snap7 client finds its reply there and never
# sleeps). Empty when perf cannot count here.
native_syscalls() {
  perf stat -x, -e raw_syscalls:sys_enter "$bench" --client "$1" --port "$port" --case "$2" --ops "$3" \
    2>&1 >/dev/null | awk -F, '/raw_syscalls/ && $1 ~ /^[0-9]+$/ {print $1}' || true
}

echo
echo "== Client-side cost per operation, each client alone against the simulated PLC =="
echo "(Ir: callgrind; syscalls: strace -c, by call; native: perf, at full speed)"
printf '%-8s %-8s %11s %11s %8s %12s\n' client case "Ir/op (N)" "Ir/op (2N)" native "syscalls/op"
for case in read32 write32; do
  for client in $clients; do
    ir=()
    for n in "$profile_ops" $((2 * profile_ops)); do
      cg=$out/callgrind.$client.$case.$n
      valgrind --tool=callgrind --callgrind-out-file="$cg" --toggle-collect=quillmarsh_bench_measured_ops \
        "$bench" --client "$client" --port "$port" --case "$case" --ops "$n" >/dev/null 2>"$cg.log"
      ir+=("$(awk -v n="$n" '/^summary:|^totals:/ {printf "%.0f", $2 / n; exit}' "$cg")")
      strace -f -c -o "$out/strace.$client.$case.$n" \
        "$bench" --client "$client" --port "$port" --case "$case" --ops "$n" >/dev/null
    done
    # System calls of N more operations, per operation: set-up costs cancel out.
    awk -v n="$profile_ops" '
      FNR == 1 { file++ }
      $4 ~ /^[0-9]+$/ && $NF != "total" { calls[$NF] += (file == 1 ? -$4 : $4) }
      END { total = 0; line = "";
            for (s in calls) { total += calls[s]; if (calls[s] / n >= 0.005 || calls[s] / n <= -0.005) line = line sprintf(" %s=%.2f", s, calls[s] / n) }
            printf "%.2f%s\n", total / n, line }' \
      "$out/strace.$client.$case.$profile_ops" "$out/strace.$client.$case.$((2 * profile_ops))" \
      > "$out/syscalls.$client.$case"
    read -r per_op detail < "$out/syscalls.$client.$case"
    native=n/a
    if command -v perf >/dev/null; then
      a=$(native_syscalls "$client" "$case" "$profile_ops"); b=$(native_syscalls "$client" "$case" $((2 * profile_ops)))
      if [ -n "$a" ] && [ -n "$b" ]; then native=$(awk -v a="$a" -v b="$b" -v n="$profile_ops" 'BEGIN {printf "%.2f", (b - a) / n}'); fi
    fi
    printf '%-8s %-8s %11s %11s %8s %12s  %s\n' "$client" "$case" "${ir[0]}" "${ir[1]}" "$native" "$per_op" "$detail"
  done
done

stop_server
server_pid=

echo
echo "== Memory of a host holding driver objects without a connection =="
"$bench" --memory | tee "$out/memory.txt"

echo
echo "== Soak: memory and descriptors over long runs =="
soak_status=0
"$bench" --soak | tee "$out/soak.txt" || soak_status=$?

[ "$table_status" -ne 0 ] && exit "$table_status"
exit "$soak_status"
