#!/usr/bin/env bash
# Builds the Windows release and lays out what a Windows user gets:
#   OUT/VantreloDelay.aaxplugin/Contents/x64/VantreloDelay.aaxplugin   the module, stripped
#   OUT/symbols/*.debug                                                 its debug information
#   OUT/VantreloDelay-AAX-<version>-setup.exe                           the installer
# Usage: scripts/package.sh [--no-build] [--build-dir DIR] [--out DIR]
# (defaults: build the windows-release preset, write dist/).
set -euo pipefail
source "$(dirname "$0")/env.sh"

build=1
build_dir=$BUILD/windows-release
out=$ROOT/dist
while [ $# -gt 0 ]; do
  case $1 in
    --no-build) build=0 ;;
    --build-dir) build_dir=$(realpath -m "$2"); shift ;;
    --out) out=$(realpath -m "$2"); shift ;;
    *) echo "usage: $0 [--no-build] [--build-dir DIR] [--out DIR]" >&2; exit 2 ;;
  esac
  shift
done

if [ "$build" = 1 ]; then
  cmake --preset windows-release >/dev/null
  cmake --build --preset windows-release -j "$JOBS" --target VantreloDelayAAX VantreloDelay
fi
bin=$build_dir/bin
for file in "$bin/VantreloDelayAAX.dll" "$bin/VantreloDelay.dll" "$build_dir/aaxw-version.txt"; do
  [ -f "$file" ] || { echo "package: $file is missing (build the windows-release preset)" >&2; exit 1; }
done
version=$(cat "$build_dir/aaxw-version.txt")
objcopy=x86_64-w64-mingw32-objcopy
command -v makensis >/dev/null || { echo "package: makensis is missing (Debian package nsis)" >&2; exit 1; }

bundle=$out/VantreloDelay.aaxplugin
setup=$out/VantreloDelay-AAX-$version-setup.exe
stage=$build_dir/package-stage
rm -rf "$bundle" "$out/symbols" "$stage" "$out"/VantreloDelay-AAX-*-setup.exe
mkdir -p "$bundle/Contents/x64" "$out/symbols" "$stage"

# strip_into SOURCE TARGET: TARGET is SOURCE without symbols and debug information, which go to
# symbols/NAME.debug; TARGET names that file (debug link) so that a debugger finds it beside it.
strip_into() {
  local source=$1 target=$2 debug
  debug=$out/symbols/$(basename "$target").debug
  "$objcopy" --only-keep-debug "$source" "$debug"
  "$objcopy" --strip-all --add-gnu-debuglink="$debug" "$source" "$target"
}
strip_into "$bin/VantreloDelayAAX.dll" "$bundle/Contents/x64/VantreloDelay.aaxplugin"
# The reference delay for the installer's evaluation component.
strip_into "$bin/VantreloDelay.dll" "$stage/VantreloDelay.dll"

makensis -V2 -WX -NOCD \
  "-DVERSION=$version" "-DBUNDLE_DIR=$bundle" "-DEFFECT_DLL=$stage/VantreloDelay.dll" "-DOUTFILE=$setup" \
  "$ROOT/scripts/installer.nsi"

echo "VantreloDelay AAX $version in $out:"
(cd "$out" && find VantreloDelay.aaxplugin symbols "$(basename "$setup")" \
   \( -type d -printf '  %p/\n' \) -o -printf '  %-64p %10s bytes\n' | sort)
echo "  module: $(stat -c %s "$bin/VantreloDelayAAX.dll") bytes as built," \
     "$(stat -c %s "$bundle/Contents/x64/VantreloDelay.aaxplugin") bytes stripped"
