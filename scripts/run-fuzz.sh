#!/usr/bin/env bash
# Builds the fuzz targets (preset linux-fuzz, clang + libFuzzer) and runs each for a fixed number
# of inputs from a generated seed corpus. Exits non-zero when a target crashes or the build fails.
# RUNS overrides the number of inputs per target (default 20000).
set -euo pipefail
source "$(dirname "$0")/env.sh"

RUNS=${RUNS:-20000}
PRESET=linux-fuzz
OUT=$BUILD/$PRESET

echo "== $PRESET: build"
cmake --preset "$PRESET" >/dev/null
cmake --build --preset "$PRESET" --target chunk_fuzzer -j "$JOBS"

run_target() {
  local target=$1 work=$OUT/fuzz/$1
  rm -rf "$work/seeds" && mkdir -p "$work/seeds" "$work/corpus" "$work/artifacts"
  AAXW_FUZZ_WRITE_SEEDS="$work/seeds" "$OUT/bin/$target"
  echo "== $PRESET: $target, $RUNS runs from $(ls "$work/seeds" | wc -l) seeds"
  "$OUT/bin/$target" -runs="$RUNS" -artifact_prefix="$work/artifacts/" "$work/corpus" "$work/seeds" \
    >"$work/last-run.log" 2>&1 || {
    tail -n 40 "$work/last-run.log"
    echo "$target failed; the crashing input is in $work/artifacts/"
    return 1
  }
  tail -n 1 "$work/last-run.log"
}

run_target chunk_fuzzer
