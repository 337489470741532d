#!/bin/bash
# SPDX-FileCopyrightText: 2026 SSH Settings contributors
# SPDX-License-Identifier: GPL-2.0-or-later
# Builds the fuzz targets (Clang, -DBUILD_FUZZERS=ON, in a build folder of their own) and runs each one from its starting
# corpus tests/fuzz/corpus/<reader>/ for SECONDS (default 30):
#   scripts/fuzz.sh [SECONDS]
# A crash, a leak, a broken invariant or an input slower than FUZZ_TIMEOUT seconds (default 10) fails; the log then
# shows the fuzzer's report and the input, in base64, which the artifacts folder keeps too. New inputs the fuzzer finds
# go to <build>/fuzz-corpus/<reader>/ (copy the telling ones to the starting corpus by hand), so runs build on each other.
# With FUZZ_WHOLE_TREE=1 (the test suite's Clang stage) the build folder holds the whole tree, tests and benchmarks
# included, built with every warning an error: one Clang build proves the tree compiles cleanly and serves the fuzzers.
set -euo pipefail
cd "$(dirname "$0")/.."
RUN_SECONDS=${1:-30}
BUILD=${FUZZ_BUILD_DIR:-build-fuzz}
JOBS=${JOBS:-$(nproc)}
TIMEOUT=${FUZZ_TIMEOUT:-10}

WHOLE_TREE=${FUZZ_WHOLE_TREE:-0}

if [ "$WHOLE_TREE" = 1 ]; then
    tree=(-DBUILD_TESTING=ON -DBUILD_BENCHMARKS=ON -DCMAKE_COMPILE_WARNING_AS_ERROR=ON)
    targets=(all)
else
    tree=(-DBUILD_TESTING=OFF -DBUILD_BENCHMARKS=OFF -DCMAKE_COMPILE_WARNING_AS_ERROR=OFF)
    targets=(fuzzers)
fi
CC=clang CXX=clang++ cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
    -DBUILD_FUZZERS=ON "${tree[@]}" >/dev/null
cmake --build "$BUILD" -j "$JOBS" --target "${targets[@]}"
echo "build: $SECONDS s"
built=$SECONDS

failed=()
for source in tests/fuzz/*fuzzer.cpp; do
    reader=$(basename "$source" fuzzer.cpp)
    corpus="$BUILD/fuzz-corpus/$reader"
    artifacts="$BUILD/fuzz-artifacts/$reader"
    log="$BUILD/fuzz-$reader.log"
    rm -rf "$artifacts"
    mkdir -p "$corpus" "$artifacts"
    options=(-max_total_time="$RUN_SECONDS" -timeout="$TIMEOUT" -rss_limit_mb=2048 -print_final_stats=1
             -artifact_prefix="$artifacts/")
    if [ -f "tests/fuzz/$reader.dict" ]; then
        options+=(-dict="tests/fuzz/$reader.dict")
    fi
    echo "== fuzz-$reader, $RUN_SECONDS s"
    if ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        "$BUILD/bin/fuzz-$reader" "${options[@]}" "$corpus" "tests/fuzz/corpus/$reader" >"$log" 2>&1; then
        grep -E '^(#[0-9]+[[:space:]]+DONE|stat::)' "$log" || true
    else
        failed+=("$reader")
        echo "fuzz-$reader FAILED; its report:"
        grep -v -E '^#[0-9]+' "$log" | tail -n 80
        for input in "$artifacts"/*; do
            [ -f "$input" ] || continue
            echo "-- input $input (base64):"
            base64 "$input"
        done
    fi
done

echo "fuzzing: $((SECONDS - built)) s"
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzzing failed: ${failed[*]}"
    exit 1
fi
echo "fuzzing passed"
