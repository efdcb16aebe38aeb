#!/usr/bin/env bash
# The test command: setup, an optimised build with assertions into build/ and
# its tests, the same with AddressSanitizer and UndefinedBehaviorSanitizer
# into build-asan/, then a short run of every fuzzer. Non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/setup.sh

jobs=$(nproc)
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

build_and_test() {
  local dir=$1; shift
  echo "== $dir"
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && ctest --output-on-failure -j "$jobs")
}

# Optimised, but with assertions (no NDEBUG).
build_and_test build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g"
build_and_test build-asan -DCMAKE_BUILD_TYPE=Debug -DTW_SANITIZE=ON -DTW_BENCH=OFF

# Fuzzers: a short run of each over its seed corpus.
if ls fuzz/*_fuzz.cpp >/dev/null 2>&1; then
  echo "== fuzz"
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTW_FUZZ=ON -DTW_SANITIZE=ON >/dev/null
  fuzzers=$(for src in fuzz/*_fuzz.cpp; do basename "$src" .cpp; done)
  # shellcheck disable=SC2086
  cmake --build build-fuzz -j "$jobs" --target $fuzzers
  for src in fuzz/*_fuzz.cpp; do
    name=$(basename "$src" .cpp)
    corpus="fuzz/corpus/${name%_fuzz}"
    work=$(mktemp -d)
    [ -d "$corpus" ] && cp -r "$corpus/." "$work/"
    echo "-- $name"
    "build-fuzz/bin/$name" -max_total_time="${TW_FUZZ_SECONDS:-30}" -print_final_stats=0 \
      -artifact_prefix="$work/" "$work" 2>"$work/log" || { tail -50 "$work/log"; exit 1; }
    rm -rf "$work"
  done
fi
echo "all tests passed"
