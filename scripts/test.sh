#!/usr/bin/env bash
# Builds and tests every way Quillmarsh is shipped (after bash scripts/setup.sh
# --all), one stage after another, and fails on any failure:
#   amd64 Qt 5     plain build, whole test suite, install tree and packages
#   long           the long runs of that build (ctest -L long: the plug-in's
#                  soak, the simulated PLC under load)
#   sanitizers     AddressSanitizer + UBSan build, whole test suite
#   tsan           the panel's browser test against a ThreadSanitizer build
#   fuzz           fuzz smoke run
#   amd64 Qt 6     plain build, whole test suite, install tree and packages
#   arm64 Qt 5     cross build, test suite under qemu-user (all but the
#                  browser test), demo, example host and packages
#   armhf Qt 5     cross build of what is shipped, demo under qemu, packages
#   arm64/armhf Qt 6  cross builds of what is shipped, packages
#   side by side   the amd64 Qt 5 and Qt 6 packages installed together, the
#                  example host built against each
# Prints the minutes of every stage and closes with one "N passed, N failed"
# line over all it ran: the first failing stage ends the run, and the line
# counts what failed in it (failed tests, checks, fuzz targets; a stage that
# fails in its build counts as one). QUILLMARSH_SKIP_SANITIZE=1 leaves out the
# sanitizer builds, QUILLMARSH_STAGES="amd64-qt5 ..." picks stages by name.
set -euo pipefail
cd "$(dirname "$0")/.."

stages=${QUILLMARSH_STAGES:-amd64-qt5 long sanitizers tsan fuzz amd64-qt6 arm64-qt5 armhf-qt5 cross-qt6 side-by-side}
passed=0
failed=0
timings=()
started=$(date +%s)
current=       # the stage running, its start and the failures counted before it
current_begin=0
failed_before=0
minutes() { awk -v s="$(($(date +%s) - $1))" 'BEGIN { printf "%5.1f min", s / 60 }'; }
# Runs stage $1 (the function stage_$1) and times it.
stage() {
  declare -F "stage_${1//-/_}" >/dev/null || { echo "test: no stage $1" >&2; exit 2; }
  echo "test: stage $1"
  current=$1 current_begin=$(date +%s) failed_before=$failed
  "stage_${1//-/_}"
  timings+=("$(printf '%-14s %s' "$1" "$(minutes "$current_begin")")")
  current=
}

# The closing lines, also after a failure; the exit status stays the run's.
finish() {
  local status=$?
  if [[ -n "$current" ]]; then
    timings+=("$(printf '%-14s %s (failed)' "$current" "$(minutes "$current_begin")")")
    ((failed > failed_before)) || failed=$((failed + 1))
  fi
  echo "test: minutes per stage"
  ((${#timings[@]} == 0)) || printf '  %s\n' "${timings[@]}"
  printf '  %-14s %s\n' total "$(minutes "$started")"
  echo "$passed passed, $failed failed"
}
trap finish EXIT

# Adds a step's counts; ends the run when it failed.
tally() {
  passed=$((passed + $1))
  failed=$((failed + $2))
  (($2 == 0)) || exit 1
}

# Runs ctest in folder $1 (further arguments go to ctest) and counts its tests.
run_ctest() {
  local dir=$1 log summary total bad
  shift
  log=$(mktemp)
  (cd "$dir" && ctest --output-on-failure -j2 "$@") | tee "$log" || true
  summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1 || true)
  rm -f "$log"
  [[ -n "$summary" ]] || { echo "test: ctest in $dir ran no test or did not finish" >&2; exit 1; }
  total=${summary##* }
  bad=$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$summary")
  ((total > 0)) || { echo "test: ctest in $dir ran no test" >&2; exit 1; }
  tally $((total - bad)) "$bad"
}

# Runs a checking script and counts the checks its last line reports; a
# script that stops at a failed check counts as one failure.
run_checks() {
  local log n
  log=$(mktemp)
  bash "$@" | tee "$log" || true
  n=$(sed -n 's/.* all \([0-9]*\) checks passed.*/\1/p' "$log")
  rm -f "$log"
  [[ -n "$n" ]] || { echo "test: $* failed" >&2; tally 0 1; }
  tally "$n" 0
}

# The demo of a build, under qemu-user for a cross build: every type written
# and read back through the plug-in.
run_demo() {
  if "$2" "$1/bin/quillmarsh" demo; then tally 1 0; else tally 0 1; fi
}

# The interoperability and browser tests are made only where their npm peers
# are installed; here their absence is a failure, never a silent skip.
require_node_tests() {
  local dir=$1 label
  shift
  for label in "$@"; do
    (cd "$dir" && ctest -N -L "^$label\$" | grep -q 'Total Tests: [1-9]') ||
      { echo "test: $dir has no $label tests: their npm peers are missing (bash scripts/setup.sh)" >&2; exit 1; }
  done
}

# Cross builds and Qt 6 need what scripts/setup.sh --all installs.
require_setup() {
  local what=$1 need=$2
  dpkg-query -W -f='${Status}' "$need" 2>/dev/null | grep -q "ok installed" ||
    { echo "test: $what needs $need: run bash scripts/setup.sh --all" >&2; exit 1; }
}

# CI builds are unity builds (each target's sources compiled as a few large
# files, about 60 % of the time) without debug information, which nothing
# here reads. The armhf Qt 5 build alone compiles every file on its own, so
# that a missing include cannot hide behind a neighbour in a unity file.
unity=(-DCMAKE_UNITY_BUILD=ON)
# Release builds at -O2, as Debian builds its packages: what a panel runs.
release=(-DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG")

stage_amd64_qt5() {
  bash scripts/build.sh build "${release[@]}" "${unity[@]}"
  require_node_tests build interop panel
  run_ctest build -LE '^long$'
  run_checks scripts/check-package.sh build
}

# Minutes of the plain build's long runs, apart from the suite so that the
# stages before and after it keep their pace.
stage_long() {
  run_ctest build -L '^long$'
}

stage_sanitizers() {
  [[ "${QUILLMARSH_SKIP_SANITIZE:-0}" == 1 ]] && return 0
  bash scripts/build.sh build-asan -DQUILLMARSH_SANITIZE=ON -DQUILLMARSH_BENCH=OFF "${unity[@]}" \
    -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O1"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0" \
    run_ctest build-asan -LE nosanitize
}

# The panel's threads (poller, renderer, HTTP server) under ThreadSanitizer:
# its browser test's checks, and one more for no race reported.
stage_tsan() {
  [[ "${QUILLMARSH_SKIP_SANITIZE:-0}" == 1 ]] && return 0
  local log counts races=0
  log=$(mktemp)
  bash scripts/tsan-panel.sh | tee "$log" || true
  counts=$(sed -nE 's/^([0-9]+) passed, ([0-9]+) failed$/\1 \2/p' "$log" | tail -1)
  grep -q '^tsan: panel test clean' "$log" || races=1
  rm -f "$log"
  [[ -n "$counts" ]] || { echo "test: the panel test under ThreadSanitizer did not finish" >&2; exit 1; }
  tally $((${counts% *} + 1 - races)) $((${counts#* } + races))
}

stage_fuzz() {
  local log targets bad
  log=$(mktemp)
  bash tests/fuzz/run.sh smoke | tee "$log" || true
  targets=$(grep -cE '^fuzz: [^ ]+: [0-9]+s, ' "$log" || true)
  bad=$(sed -n 's/^fuzz: FAILED: \([^(]*\).*/\1/p' "$log" | wc -w)
  rm -f "$log"
  ((targets > 0)) || { echo "test: the fuzz smoke run did not finish" >&2; exit 1; }
  tally $((targets - bad)) "$bad"
}

stage_amd64_qt6() {
  require_setup "the Qt 6 build" qt6-base-dev
  bash scripts/build.sh build-qt6 --qt 6 -DQUILLMARSH_BENCH=OFF "${release[@]}" "${unity[@]}"
  require_node_tests build-qt6 interop panel
  run_ctest build-qt6
  run_checks scripts/check-package.sh build-qt6
}

stage_arm64_qt5() {
  require_setup "the arm64 build" qtbase5-dev:arm64
  bash scripts/build.sh build-arm64 --arch arm64 "${release[@]}" "${unity[@]}"
  require_node_tests build-arm64 interop
  run_ctest build-arm64 -LE '^panel$'
  run_demo build-arm64 qemu-aarch64
  run_checks scripts/check-package.sh build-arm64
}

stage_armhf_qt5() {
  require_setup "the armhf build" qtbase5-dev:armhf
  bash scripts/build.sh build-armhf --arch armhf "${release[@]}" -DBUILD_TESTING=OFF
  run_demo build-armhf qemu-arm
  run_checks scripts/check-package.sh build-armhf
}

stage_cross_qt6() {
  local arch
  for arch in arm64 armhf; do
    require_setup "the $arch Qt 6 build" qt6-base-dev:$arch
    bash scripts/build.sh build-$arch-qt6 --arch $arch --qt 6 "${release[@]}" "${unity[@]}" -DBUILD_TESTING=OFF
    run_checks scripts/check-package.sh build-$arch-qt6
  done
}

stage_side_by_side() {
  run_checks scripts/check-side-by-side.sh build build-qt6
}

for name in $stages; do
  stage "$name"
done
