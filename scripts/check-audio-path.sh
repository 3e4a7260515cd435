#!/usr/bin/env bash
# Checks the machine code on the audio path of the shipped modules (scripts/check-audio-path.py):
# the Linux module of the release preset, built here (the module alone), and the Windows module
# of windows-release, which `make test` has built before. Part of `make test`.
set -euo pipefail
source "$(dirname "$0")/env.sh"

echo "== linux-release: build VantreloDelayAAX"
cmake --preset linux-release >/dev/null
cmake --build --preset linux-release --target VantreloDelayAAX -j "$JOBS"
echo "== audio path: machine code"
"$ROOT/scripts/check-audio-path.py" --self-test
"$ROOT/scripts/check-audio-path.py" linux="$BUILD/linux-release/bin/VantreloDelayAAX.so" \
  windows="$BUILD/windows-release/bin/VantreloDelayAAX.dll"
