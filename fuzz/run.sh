#!/usr/bin/env bash
# Builds the fuzz targets with clang into build-fuzz/, writes the seed corpus and
# runs each target for FUZZ_SECONDS seconds (default 60). What a target finds goes
# to build-fuzz/crashes/; the script then exits with 1. The corpus each run grows
# (build-fuzz/corpus/) is kept for the next run.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-60}
jobs=${JOBS:-$(nproc)}
build=build-fuzz

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSARY_FUZZ=ON >/dev/null
cmake --build "$build" -j "$jobs"

rm -rf "$build/seeds"
"$build/bin/skimlet-make-seeds" "$build/seeds"
mkdir -p "$build/crashes"

export ASAN_OPTIONS=detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

found=()
for program in skimlet-fuzz-decode skimlet-fuzz-encode vantrel-fuzz-metadata; do
    target=${program##*-}
    corpus="$build/corpus/$target"
    mkdir -p "$corpus"
    echo "fuzz: $program for $seconds s" >&2
    if ! "$build/bin/$program" -max_total_time="$seconds" -rss_limit_mb=2048 \
        -timeout=10 -print_final_stats=1 -artifact_prefix="$build/crashes/$target-" \
        "$corpus" "$build/seeds/$target"; then
        found+=("$target")
    fi
done

if [[ ${#found[@]} -gt 0 ]]; then
    echo "fuzz: ${found[*]} found a fault; the inputs are in $build/crashes/:" >&2
    ls -l "$build/crashes" >&2
    exit 1
fi
echo "fuzz: nothing found" >&2
