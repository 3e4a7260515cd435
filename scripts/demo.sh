#!/usr/bin/env bash
# The demo: builds the module, the reference delay and our host in release, installs the delay
# in a private install directory under build/, points the module at it and renders the shipped
# input through the stereo instance with a few audible settings, and once more with the tone
# automated into a sweep. Prints the parameter table and where the results are.
set -euo pipefail
source "$(dirname "$0")/env.sh"

PRESET=linux-release
BIN=$BUILD/$PRESET/bin
DEMO=$BUILD/demo
INSTALL=$DEMO/install
MODULE=$BIN/VantreloDelayAAX.so
OUTPUT=$DEMO/pluck-pattern-delayed.wav
SWEEP=$DEMO/pluck-pattern-sweep.wav

echo "== building (release): module, reference delay, aaxhost"
cmake --preset "$PRESET" >/dev/null
cmake --build --preset "$PRESET" --target VantreloDelayAAX VantreloDelay aaxhost -j "$JOBS"

echo "== installing the delay in $INSTALL"
mkdir -p "$INSTALL/VST64"
cp "$BIN/VantreloDelay.so" "$INSTALL/VST64/VantreloDelay.so"
# The module finds the delay through the registry; on Linux a file stands in for it.
export VANTRELO_REGISTRY_FILE=$DEMO/registry
"$BIN/aaxhost" install-dir "$INSTALL"

echo "== rendering $ROOT/assets/pluck-pattern.wav"
echo "   time 0.30, feedback 0.55, mix 0.45, ping-pong on, tone 0.70, 2 s tail"
"$BIN/aaxhost" render "$MODULE" -i "$ROOT/assets/pluck-pattern.wav" -o "$OUTPUT" \
  --layout stereo --set time=0.3 --set feedback=0.55 --set mix=0.45 --set pingpong=1 --set tone=0.7 \
  --tail 2

echo "== rendering it again with automation ($ROOT/assets/tone-sweep.txt):"
echo "   bright echoes while the pattern plays, then more feedback and a tone sweep down over the tail"
"$BIN/aaxhost" render "$MODULE" -i "$ROOT/assets/pluck-pattern.wav" -o "$SWEEP" \
  --layout stereo --set time=0.3 --set feedback=0.6 --set mix=0.5 --set pingpong=1 \
  --automate "$ROOT/assets/tone-sweep.txt" --report "$DEMO/pluck-pattern-sweep.json" --tail 2

echo
echo "== parameters of the stereo instance"
"$BIN/aaxhost" params "$MODULE" --layout stereo

echo
echo "output: $OUTPUT"
echo "        $SWEEP (automated; what was applied: $DEMO/pluck-pattern-sweep.json)"
