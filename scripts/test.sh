#!/usr/bin/env bash
# Builds and runs every test: the C++ engine tests (plain and under
# AddressSanitizer + UndefinedBehaviorSanitizer), a bounded run of every
# fuzz target, and the Python tests.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)

scripts/deps.sh

step() { printf '\n==> %s\n' "$*"; }

step "engine: build and test"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLMERE_WERROR=ON >/dev/null
ninja -C build/release
ctest --test-dir build/release --output-on-failure -j "$jobs" --timeout 600

step "engine: AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLMERE_SANITIZE=ON -DQUILLMERE_WERROR=ON \
    -DCMAKE_CXX_FLAGS=-O1 >/dev/null
ninja -C build/asan
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build/asan --output-on-failure -j "$jobs" --timeout 1200

step "fuzz: bounded runs"
CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLMERE_FUZZ=ON \
    -DQUILLMERE_TESTS=OFF -DQUILLMERE_PYTHON=OFF >/dev/null
ninja -C build/fuzz
scripts/fuzz.sh build/fuzz "${QUILLMERE_FUZZ_SECONDS:-60}"

if [[ -f scripts/python-tests.sh ]]; then
    step "python"
    scripts/python-tests.sh
fi
step "all tests passed"
