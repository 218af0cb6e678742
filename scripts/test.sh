#!/usr/bin/env bash
# Builds Quillmarsh twice (plain, and with AddressSanitizer + UBSan) and runs
# the whole test suite in both, checks the install tree and the Debian package
# of the plain build, then the fuzz smoke run. Fails on any failure
# and closes with one "N passed, N failed" line over all of it.
set -euo pipefail
cd "$(dirname "$0")/.."

passed=0
# Runs ctest in folder $1 (further arguments go to ctest) and counts its tests.
run_ctest() {
  local dir=$1 log
  shift
  log=$(mktemp)
  (cd "$dir" && ctest --output-on-failure -j2 "$@") | tee "$log"
  local n
  n=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -1)
  rm -f "$log"
  if [[ -z "$n" || "$n" -eq 0 ]]; then
    echo "test: ctest in $dir ran no test" >&2
    exit 1
  fi
  passed=$((passed + n))
}

bash scripts/build.sh build
# The interoperability and browser tests are made only where their npm peers
# are installed; here their absence is a failure, never a silent skip.
for label in interop panel; do
  (cd build && ctest -N -L "^$label\$" | grep -q 'Total Tests: [1-9]') ||
    { echo "test: build has no $label tests: their npm peers are missing (bash scripts/setup.sh)" >&2; exit 1; }
done
run_ctest build

# What integrators get: an install tree with the example host built against
# it, and the Debian package.
log=$(mktemp)
bash scripts/check-package.sh build | tee "$log"
checks=$(sed -n 's/^package: all \([0-9]*\) checks passed.*/\1/p' "$log")
rm -f "$log"
[[ -n "$checks" ]] || { echo "test: package checks did not finish" >&2; exit 1; }
passed=$((passed + checks))

if [[ "${QUILLMARSH_SKIP_SANITIZE:-0}" != 1 ]]; then
  bash scripts/build.sh build-asan -DQUILLMARSH_SANITIZE=ON
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_ctest build-asan -LE nosanitize
fi

if [[ -x tests/fuzz/run.sh ]]; then
  log=$(mktemp)
  bash tests/fuzz/run.sh smoke | tee "$log"
  targets=$(sed -n 's/^fuzz: all \([0-9]*\) targets clean.*/\1/p' "$log")
  rm -f "$log"
  passed=$((passed + ${targets:-0}))
fi

echo "$passed passed, 0 failed"
