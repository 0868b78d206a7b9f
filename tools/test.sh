#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once in a normal build,
# once in a Release build (without the front end), once under AddressSanitizer and
# UndefinedBehaviorSanitizer; in between it fuzzes
# the model and restart readers for a minute each (tools/fuzz.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV_BUILD_TESTS=ON -DKV_BUILD_GUI=ON -DKV_BUILD_BENCH=ON
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

# The same tests once more in a Release build (-O3): an answer that changes with the
# build type is a fault, not noise.
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DKV_BUILD_TESTS=ON -DKV_BUILD_GUI=OFF -DKV_BUILD_BENCH=OFF
cmake --build build-release -j "$jobs"
ctest --test-dir build-release --output-on-failure -j "$jobs"

# Fuzzing of the model and restart readers, a minute per target in a clang build of
# its own. A finding stops the run here and leaves its input in build-fuzz/findings/.
bash tools/fuzz.sh 60

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:halt_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tools/lsan.supp
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DKV_SANITIZE=ON -DKV_BUILD_TESTS=ON -DKV_BUILD_GUI=ON -DKV_BUILD_BENCH=OFF
cmake --build build-sanitize -j "$jobs"
ctest --test-dir build-sanitize --output-on-failure -j "$jobs"
