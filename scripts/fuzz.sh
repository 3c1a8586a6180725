#!/bin/sh
# Builds the libFuzzer targets of tests/fuzz with clang, under ASan and UBSan, in their own build tree
# and runs each from its seed corpus for SECONDS (30 by default). New inputs go to the build tree, never
# to the committed corpus. Exits non-zero when any target finds something; the input that did it is left
# in <build>/findings/.
#   scripts/fuzz.sh [SECONDS [TARGET...]]      e.g. scripts/fuzz.sh 600 ziparchive
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-30}
[ $# -gt 0 ] && shift
build=${FUZZ_BUILD_DIR:-build-fuzz}
targets=${*:-$(ls tests/fuzz/corpus)}

cmake -S . -B "$build" -DQUOTAZIONI_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++
cmake --build "$build" -j"$(nproc)"

mkdir -p "$build/findings" "$build/logs"
failed=""
for name in $targets; do
    mkdir -p "$build/corpus/$name"
    log="$build/logs/$name.log"
    echo "== fuzz_$name: ${seconds} s from tests/fuzz/corpus/$name (log: $log)"
    # One input taking more than 25 s is a hang worth reporting. libFuzzer's progress lines go to the
    # log; the summary is shown, and on a finding the report with its stack.
    if "$build/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=25 -print_final_stats=1 \
        -artifact_prefix="$build/findings/$name-" "$build/corpus/$name" "tests/fuzz/corpus/$name" \
        >"$log" 2>&1; then
        grep -E '^(#[0-9]+[[:space:]]+DONE|Done [0-9]+ runs)' "$log" || true
    else
        tail -n 150 "$log"
        failed="$failed $name"
    fi
done
if [ -n "$failed" ]; then
    echo "Fuzzing found faults in:$failed (inputs in $build/findings/)" >&2
    exit 1
fi
echo "Fuzzing found nothing in: $(echo $targets)"
