#!/usr/bin/env bash
# Builds the fuzz targets with clang (in build-fuzz/) and runs each for
# SECONDS (default 60) under AddressSanitizer and UndefinedBehaviorSanitizer,
# starting from its seeds in tests/fuzz/corpus/<target> (files the program
# wrote). New inputs that reach new code are kept in
# build-fuzz/fuzz-corpus/<target>; a crash, a leak, a hang or a blown memory
# limit is written to build-fuzz/fuzz-crashes/<target>/ and fails the run
# (copy it into the seeds and add a regression test).
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
build=$root/build-fuzz
"$root/scripts/install-deps.sh"
args=(-G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DEMULSA_FUZZ=ON
  -DEMULSA_BUILD_TESTS=OFF -DEMULSA_BUILD_BENCHMARKS=OFF)
if command -v ccache > /dev/null; then
  args+=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
mkdir -p "$build"
cmake -S "$root" -B "$build" "${args[@]}" > "$build/configure.log" 2>&1 || { cat "$build/configure.log"; exit 1; }
cmake --build "$build" --target emulsa_fuzzers

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for program in "$build"/fuzz/fuzz_*; do
    targets+=("$(basename "$program")")
  done
fi
failed=0
for name in "${targets[@]}"; do
  corpus=$build/fuzz-corpus/$name
  crashes=$build/fuzz-crashes/$name
  mkdir -p "$corpus" "$crashes"
  log=$build/fuzz-$name.log
  status=0
  ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:allocator_may_return_null=1 \
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    "$build/fuzz/$name" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2560 -max_len=1048576 \
      -print_final_stats=1 -artifact_prefix="$crashes/" "$corpus" "$root/tests/fuzz/corpus/$name" \
      > "$log" 2>&1 || status=$?
  runs=$(grep -oE 'stat::number_of_executed_units: *[0-9]+' "$log" | grep -oE '[0-9]+$' || echo "?")
  coverage=$(grep -oE 'cov: [0-9]+' "$log" | tail -1 | grep -oE '[0-9]+' || echo "?")
  found=$(find "$crashes" -type f | wc -l)
  printf '%-28s %10s runs  coverage %6s  crashes %s\n' "$name" "$runs" "$coverage" "$found"
  if [ "$status" -ne 0 ] || [ "$found" -gt 0 ]; then
    failed=1
    echo "--- $name failed (status $status); the end of $log:" >&2
    tail -40 "$log" >&2
  fi
done
exit $failed
