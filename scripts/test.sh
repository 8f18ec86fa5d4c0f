#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds Velmora with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/as-root.sh
bash scripts/setup.sh --check || as_root bash scripts/setup.sh

# Source checks: the layering of subsystems and the formatting of every C++ file.
bash scripts/check-layers.sh
find src tests helpers bench \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 clang-format --dry-run --Werror

build=build-asan
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELMORA_SANITIZE=ON -DVELMORA_WERROR=ON \
  -DVELMORA_BUILD_BENCHMARKS=OFF
cmake --build "$build"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp"
export QT_QPA_PLATFORM=offscreen
cd "$build"
ctest --output-on-failure -j "$(nproc)" --timeout 180
