#!/usr/bin/env bash
# Builds Quillmarsh twice (plain, and with AddressSanitizer + UBSan) and runs
# the whole test suite in both, then the fuzz smoke run. Fails on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/build.sh build
(cd build && ctest --output-on-failure -j2)

if [[ "${QUILLMARSH_SKIP_SANITIZE:-0}" != 1 ]]; then
  bash scripts/build.sh build-asan -DQUILLMARSH_SANITIZE=ON
  (cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
     ctest --output-on-failure -j2 -LE nosanitize)
fi

if [[ -x tests/fuzz/run.sh ]]; then
  bash tests/fuzz/run.sh smoke
fi
