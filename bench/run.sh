#!/usr/bin/env bash
# Builds the benchmark (Release at -O2, as the packages are built, in
# build-bench/) and measures its goals: quillmarsh-bench prints every goal's
# figure against its bound and exits 0 when all are kept, 1 when one is
# missed, 2 when one could not be measured. Arguments go to quillmarsh-bench
# (--goals REGEX picks goals, --list lists them).
# Needs valgrind, strace and Node.js with the npm peers of tests/interop
# (bash scripts/setup.sh installs them). Environment: BUILD_DIR (default
# build-bench), BENCH_NO_BUILD=1 to use the build as it is.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-bench}
if [ -z "${BENCH_NO_BUILD:-}" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" >/dev/null
  cmake --build "$build" -j"$(nproc)" --target quillmarsh-bench
fi
exec "$build/bin/quillmarsh-bench" "$@"
