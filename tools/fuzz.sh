#!/usr/bin/env bash
# Builds the fuzz targets of fuzz/ with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer and runs each for SECONDS (default 60) on a copy of
# its seed corpus. A finding (crash, leak, hang of a single step, memory beyond
# the limit, or a broken rule of fuzz/fuzz_checks.h) stops at once with a
# non-zero status and leaves the input that caused it in build-fuzz/findings/.
#
#   bash tools/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
root=$PWD
build=$root/build-fuzz
findings=$build/findings

cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKV_BUILD_FUZZ=ON -DKV_SANITIZE=ON -DKV_BUILD_TESTS=OFF -DKV_BUILD_GUI=OFF -DKV_BUILD_BENCH=OFF
cmake --build "$build" -j "$(nproc)" --target fuzz_model fuzz_restart

export ASAN_OPTIONS=detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$root/tools/lsan.supp
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# The targets' own files and the restart files that fuzzed models save stay in here.
export TMPDIR=$scratch
mkdir -p "$findings"

# run_target NAME SEED_FILE...: fuzzes in a directory of its own, on a corpus that
# the fuzzer may add to without touching the checked-in seeds.
run_target() {
  local name=$1; shift
  local work=$scratch/$name
  mkdir -p "$work/corpus"
  cp "$@" "$work/corpus/"
  echo "== fuzz: $name for $seconds s on $# seeds"
  local status=0
  (cd "$work" && "$build/fuzz/$name" corpus -dict="$root/fuzz/kelvaned.dict" \
     -max_total_time="$seconds" -max_len=8192 -timeout=20 -rss_limit_mb=2048 \
     -artifact_prefix="$findings/$name-" -print_final_stats=1 >log 2>&1) || status=$?
  if [ "$status" -ne 0 ]; then
    echo "== fuzz: $name FOUND A FAULT (exit status $status); its report:"
    # From the report's first line on, without the fuzzer's progress lines.
    awk '/^==== fuzz check failed|^==[0-9]+==|runtime error:|^ERROR: libFuzzer/ {on=1}
         on && !/^#[0-9]+/' "$work/log" | grep -v '^INFO:' | head -n 150
    echo "== fuzz: the input is in $findings/; replay it with $build/fuzz/$name FILE"
    exit 1
  fi
  echo "== fuzz: $name: $(grep -o 'stat::number_of_executed_units: [0-9]*' "$work/log" \
    | grep -o '[0-9]*$') inputs, no finding"
}

run_target fuzz_model examples/*.dat fuzz/corpus/model/*
run_target fuzz_restart fuzz/corpus/restart/*
