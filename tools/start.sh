#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV_SANITIZE=OFF -DKV_BUILD_GUI=ON -DKV_BUILD_TESTS=OFF -DKV_BUILD_BENCH=OFF
cmake --build build -j "$(nproc)" --target kelvaned
exec ./build/gui/kelvaned
