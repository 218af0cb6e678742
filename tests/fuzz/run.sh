#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz and runs each one for
# a bounded time; fails when any target finds a crash, leak or sanitizer
# report.   tests/fuzz/run.sh [smoke|long] [seconds per target]
#   smoke: 10 s per target (CI);  long: 300 s per target.
# Each target keeps its corpus in build-fuzz/corpus-<target>, seeded from
# the hex files in tests/fuzz/seeds/<target>/; findings land in
# build-fuzz/findings/. A summary line per target gives executions and coverage.
set -euo pipefail
cd "$(dirname "$0")/../.."

mode=${1:-smoke}
case "$mode" in
  smoke) seconds=${2:-10} ;;
  long) seconds=${2:-300} ;;
  *) echo "usage: $0 [smoke|long] [seconds]" >&2; exit 2 ;;
esac
build=build-fuzz
targets=(fuzz_address fuzz_codec fuzz_replies fuzz_simframes fuzz_symbols fuzz_multiitem)

cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLMARSH_FUZZ=ON >/dev/null
cmake --build "$build" -j2 --target "${targets[@]}"

mkdir -p "$build/findings"
failed=()
for target in "${targets[@]}"; do
  corpus="$build/corpus-$target"
  mkdir -p "$corpus"
  for seed in tests/fuzz/seeds/"$target"/*.hex; do
    [[ -e "$seed" ]] && xxd -r -p "$seed" > "$corpus/seed-$(basename "$seed" .hex)"
  done
  log="$build/$target.log"
  status=0
  # -timeout: the slowest input, a source at the layout's limit, takes seconds
  # under the sanitizers.
  # The outer timeout only guards against a hung fuzzer process.
  timeout --kill-after=10 $((seconds + 60)) \
    "$build/bin/$target" "$corpus" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=30 \
      -print_final_stats=1 -artifact_prefix="$build/findings/$target-" >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -1 || true)
  crashes=$(grep -c -E '==[0-9]+== ?ERROR|runtime error:|deadly signal' "$log" || true)
  echo "fuzz: $target: ${seconds}s, executions ${runs:-?}, ${cov:-cov ?}, corpus $(ls "$corpus" | wc -l), crashes $crashes, exit $status"
  if [[ $status -ne 0 || $crashes -ne 0 ]]; then
    failed+=("$target")
    tail -40 "$log" >&2
  fi
done

if ((${#failed[@]})); then
  echo "fuzz: FAILED: ${failed[*]} (inputs in $build/findings/)" >&2
  exit 1
fi
echo "fuzz: all ${#targets[@]} targets clean"
