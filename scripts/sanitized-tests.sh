#!/bin/sh
# Builds the program and its tests with gcc under AddressSanitizer and UndefinedBehaviorSanitizer in
# their own build tree and runs the whole test suite there. Any report of either sanitizer fails the
# test that caused it (the program started by the batch tests runs instrumented too). Leaks are
# reported as well: the suite on the offscreen platform, the PostgreSQL tests through Qt's driver and
# libpq included, leaves none at exit, so no suppression is needed.
set -eu
cd "$(dirname "$0")/.."
build=${SANITIZE_BUILD_DIR:-build-asan}
flags="-O1 -g -fno-omit-frame-pointer -fsanitize=address,undefined -fno-sanitize-recover=all"

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DQUOTAZIONI_BUILD_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
    -DCMAKE_MODULE_LINKER_FLAGS="-fsanitize=address,undefined"
cmake --build "$build" -j"$(nproc)"

ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1" \
UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
    ctest --test-dir "$build" --output-on-failure
