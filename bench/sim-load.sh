#!/usr/bin/env bash
# "Bounded under load" for the simulated PLC: builds quillmarsh-sim and the
# load driver (Release, in build-bench/) and runs quillmarsh-sim-load:
#   1. 32 clients at once for 60 s, each writing and reading back a range of
#      its own: lost and torn writes counted, the simulator's resident memory
#      and open descriptors before and after;
#   2. a client that sends 6 MB of read requests and never reads a reply;
#   3. 3,000 frames of 60 KiB;
#   4. SIGTERM right after "listening on", 300 times.
# Environment: BUILD_DIR (default build-bench), SIM_LOAD_SECONDS (60),
# SIM_LOAD_CLIENTS (32), SIM_LOAD_CPU (s7-1500), BENCH_NO_BUILD=1 to use the
# build as it is. Exit code 0 when every target is met. The figures are kept
# in $BUILD_DIR/bench-results/sim-load.txt.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-bench}
out=$build/bench-results
if [ -z "${BENCH_NO_BUILD:-}" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$build" -j2 --target quillmarsh-sim quillmarsh-sim-load
fi
mkdir -p "$out"
"$build/bin/quillmarsh-sim-load" --sim "$build/bin/quillmarsh-sim" --seconds "${SIM_LOAD_SECONDS:-60}" \
  --clients "${SIM_LOAD_CLIENTS:-32}" --cpu "${SIM_LOAD_CPU:-s7-1500}" | tee "$out/sim-load.txt"
exit "${PIPESTATUS[0]}"
