#!/usr/bin/env bash
# Builds the benchmarks (preset linux-release), runs them and prints what the module costs
# against the effect called directly. Not part of `make test`.
#
# Writes build/bench/results.json (Google Benchmark JSON, every repetition) and
# build/bench/report.txt (the ratio tables). Settings, from the environment:
#   BENCH_REPETITIONS  repetitions of each benchmark (default 7), run in random interleaved
#                      order so that a burst of load from elsewhere spreads over both sides
#   BENCH_MIN_TIME     minimum seconds per repetition (default 0.2)
#   BENCH_FILTER       regular expression of benchmarks to run (default all)
set -euo pipefail
source "$(dirname "$0")/env.sh"

preset=linux-release
out=$BUILD/bench
mkdir -p "$out"

echo "== $preset: build aaxw_bench"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target aaxw_bench -j "$JOBS"

# The data model's loader must find nothing on its own: the benchmark installs the effect it
# measures, and must not pick up whatever a machine-wide registry names.
export VANTRELO_REGISTRY_FILE=$out/empty-registry
rm -f "$VANTRELO_REGISTRY_FILE"

echo "== load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) CPUs"
"$BUILD/$preset/bin/aaxw_bench" \
  --benchmark_repetitions="${BENCH_REPETITIONS:-7}" \
  --benchmark_enable_random_interleaving=true \
  --benchmark_min_time="${BENCH_MIN_TIME:-0.2}" \
  --benchmark_filter="${BENCH_FILTER:-.}" \
  --benchmark_display_aggregates_only=true \
  --benchmark_out="$out/results.json" \
  --benchmark_out_format=json

echo
python3 "$ROOT/bench/bench_report.py" "$out/results.json" | tee "$out/report.txt"
echo
echo "JSON: $out/results.json"
