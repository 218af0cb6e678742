#!/usr/bin/env bash
# Instructions per tag of the plug-in's host side: 100 tags read with 100
# ReadVariable calls against one batch through the extension, each counted
# by callgrind inside the measured rounds only, against quillmarsh-sim in a
# process of its own. (Rounds 2N minus rounds N, over N x 100 tags.)
#   bash bench/batch.sh [BUILD_DIR]     (default build-bench, built Release)
# Environment: BATCH_ROUNDS (default 20), BENCH_NO_BUILD=1.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-${BUILD_DIR:-$root/build-bench}}
rounds=${BATCH_ROUNDS:-20}
if [ -z "${BENCH_NO_BUILD:-}" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$build" -j"$(nproc)" --target quillmarsh-bench-batch quillmarsh-sim Quillmarsh
fi
out=$(mktemp -d)
sim_pid=
cleanup() { [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; rm -rf "$out"; }
trap cleanup EXIT
"$build/bin/quillmarsh-sim" --port 0 >"$out/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do grep -q '^listening on' "$out/sim.out" && break; sleep 0.1; done
endpoint=$(sed -n 's/^listening on //p' "$out/sim.out")
[ -n "$endpoint" ] || { echo "batch.sh: quillmarsh-sim did not start: $(cat "$out/sim.out")" >&2; exit 1; }

instructions() { # mode rounds
  valgrind --tool=callgrind --callgrind-out-file="$out/cg.$1.$2" --toggle-collect=quillmarsh_batch_measured \
    "$build/bin/quillmarsh-bench-batch" "$endpoint" "$1" "$2" >/dev/null 2>"$out/cg.$1.$2.log" ||
    { echo "batch.sh: $1 x $2 failed: $(tail -3 "$out/cg.$1.$2.log")" >&2; exit 1; }
  awk '/^summary:|^totals:/ {print $2; exit}' "$out/cg.$1.$2"
}
echo "== Instructions per tag, 100 tags, against quillmarsh-sim ($endpoint) =="
for mode in single batch; do
  n=$(instructions "$mode" "$rounds")
  n2=$(instructions "$mode" $((2 * rounds)))
  printf '%-7s %10.0f Ir/tag\n' "$mode" "$(echo "($n2 - $n) / ($rounds * 100)" | bc -l)"
done
