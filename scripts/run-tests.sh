#!/usr/bin/env bash
# Builds and runs every suite: Linux debug, Linux ASan+UBSan, the threaded suites under
# ThreadSanitizer, Windows x64 under Wine, the machine-code check of the audio path, and the fuzz
# targets briefly. Ends with one summary line of test cases and a non-zero exit on any
# failure.
set -uo pipefail
source "$(dirname "$0")/env.sh"

failed_suites=()
total_passed=0
total_failed=0

count_results() {
  local dir=$1 tests failures
  for xml in "$dir"/*.xml; do
    [ -f "$xml" ] || continue
    tests=$(grep -o '<testsuites tests="[0-9]*" failures="[0-9]*"' "$xml" | head -1 | sed -E 's/.*tests="([0-9]+)" failures="([0-9]+)"/\1 \2/')
    [ -n "$tests" ] || continue
    set -- $tests
    total_passed=$((total_passed + $1 - $2))
    total_failed=$((total_failed + $2))
  done
}

run_suite() {
  local preset=$1
  echo "== $preset: build"
  if ! build_preset "$preset"; then
    failed_suites+=("$preset (build)")
    return
  fi
  local results=$BUILD/$preset/test-results
  rm -rf "$results" && mkdir -p "$results"
  echo "== $preset: test"
  local output="xml:$results/"
  if [ "$preset" = windows-release ]; then
    ensure_wineprefix
    # The Windows executables see the Unix file system as drive Z:.
    output="xml:Z:${results//\//\\}\\"
  fi
  if ! (cd "$ROOT" && GTEST_OUTPUT="$output" ctest --preset "$preset" -j "$JOBS"); then
    failed_suites+=("$preset")
  fi
  count_results "$results"
}

# The windowed tests need a display: a virtual X server of our own, stopped when the run ends.
# The Windows suites draw on it through Wine as well. A windowed test that finds no display
# fails instead of skipping.
if start_virtual_display; then
  trap 'kill "$XVFB_PID" 2>/dev/null' EXIT
  export AAXW_REQUIRE_DISPLAY=1
  echo "== virtual display $DISPLAY"
else
  failed_suites+=("virtual display")
fi
run_suite linux-debug
run_suite linux-asan
run_suite linux-tsan
run_suite windows-release
if ! "$ROOT/scripts/check-audio-path.sh"; then failed_suites+=("audio path check"); fi
if [ -x "$ROOT/scripts/run-fuzz.sh" ]; then
  if ! "$ROOT/scripts/run-fuzz.sh"; then failed_suites+=("fuzz"); fi
fi

echo
if [ ${#failed_suites[@]} -gt 0 ]; then
  echo "failed: ${failed_suites[*]}"
fi
echo "total: $total_passed passed, $total_failed failed"
[ ${#failed_suites[@]} -eq 0 ] && [ "$total_failed" -eq 0 ] && [ "$total_passed" -gt 0 ]
