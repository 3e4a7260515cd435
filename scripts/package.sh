#!/usr/bin/env bash
# Builds the Windows release and lays out what a Windows user gets:
#   OUT/VantreloDelay.aaxplugin/Contents/x64/VantreloDelay.aaxplugin   the module, stripped
#   OUT/symbols/*.debug                                                 its debug information
#   OUT/VantreloDelay-AAX-<version>-setup.exe                           the installer
# and checks what it ships: the hardening flags, a build id shared by each library and its debug
# information, and a module that imports no function that writes the registry. The output is
# reproducible: the same sources give the same bytes (every date in it is that of the last commit
# that changed more than documentation, SOURCE_DATE_EPOCH). The default run also writes the measured sizes into docs/packaging.md.
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
  cmake --build --preset windows-release -j "$JOBS" --target VantreloDelayAAX VantreloDelay VantreloDelayUninstall
fi
bin=$build_dir/bin
for file in "$bin/VantreloDelayAAX.dll" "$bin/VantreloDelay.dll" "$bin/Uninstall.exe" "$build_dir/aaxw-version.txt"; do
  [ -f "$file" ] || { echo "package: $file is missing (build the windows-release preset)" >&2; exit 1; }
done
version=$(cat "$build_dir/aaxw-version.txt")
objcopy=x86_64-w64-mingw32-objcopy
objdump=x86_64-w64-mingw32-objdump
command -v makensis >/dev/null || { echo "package: makensis is missing (Debian package nsis)" >&2; exit 1; }
# The last commit that changed anything but documentation: committing the size table below does
# not change the dates, and so the sizes, it records.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$ROOT" log -1 --format=%ct -- . ':(exclude)docs' ':(exclude)*.md' 2>/dev/null || true)
  SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-0}
fi
export SOURCE_DATE_EPOCH

bundle=$out/VantreloDelay.aaxplugin
setup=$out/VantreloDelay-AAX-$version-setup.exe
stage=$build_dir/package-stage
rm -rf "$bundle" "$out/symbols" "$stage" "$out"/VantreloDelay-AAX-*-setup.exe
mkdir -p "$bundle/Contents/x64" "$out/symbols" "$stage"

fail() { echo "package: $*" >&2; exit 1; }

# strip_into SOURCE TARGET: TARGET is SOURCE without symbols and debug information, which go to
# symbols/NAME.debug; TARGET names that file (debug link) so that a debugger finds it beside it.
strip_into() {
  local source=$1 target=$2 debug
  debug=$out/symbols/$(basename "$target").debug
  "$objcopy" --only-keep-debug "$source" "$debug"
  "$objcopy" --strip-all --add-gnu-debuglink="$debug" "$source" "$target"
}

# The time a PE file's header carries (seconds since 1970).
pe_time() {
  local header
  header=$(od -An -t u4 -j 60 -N 4 "$1" | tr -d ' ')
  od -An -t u4 -j $((header + 8)) -N 4 "$1" | tr -d ' '
}

# The build id (the CodeView record's signature) that a file carries, or nothing.
build_id() { "$objdump" -p "$1" | sed -n 's/.*format RSDS signature \([0-9a-f]*\) age.*/\1/p' | head -1; }

# check_shipped FILE [DEBUG]: the hardening flags, no time but SOURCE_DATE_EPOCH (or none), and a
# build id that its debug information DEBUG shares.
check_shipped() {
  local file=$1 debug=${2:-} headers flag id stamp
  headers=$("$objdump" -p "$file")
  for flag in HIGH_ENTROPY_VA DYNAMIC_BASE NX_COMPAT; do
    grep -qw "$flag" <<<"$headers" || fail "$(basename "$file") lacks $flag"
  done
  stamp=$(pe_time "$file")
  [ "$stamp" = 0 ] || [ "$stamp" = "$SOURCE_DATE_EPOCH" ] ||
    fail "$(basename "$file") carries the time $stamp, not SOURCE_DATE_EPOCH ($SOURCE_DATE_EPOCH)"
  id=$(build_id "$file")
  [ -n "$id" ] || fail "$(basename "$file") has no build id"
  if [ -n "$debug" ]; then
    [ "$(build_id "$debug")" = "$id" ] || fail "$(basename "$debug") does not carry the build id $id of $(basename "$file")"
  fi
}

module=$bundle/Contents/x64/VantreloDelay.aaxplugin
strip_into "$bin/VantreloDelayAAX.dll" "$module"
# The reference delay for the installer's evaluation component, and the uninstaller's first
# program (no debug information kept: it is small and plain).
strip_into "$bin/VantreloDelay.dll" "$stage/VantreloDelay.dll"
"$objcopy" --strip-all "$bin/Uninstall.exe" "$stage/Uninstall.exe"
check_shipped "$module" "$out/symbols/VantreloDelay.aaxplugin.debug"
check_shipped "$stage/VantreloDelay.dll" "$out/symbols/VantreloDelay.dll.debug"
check_shipped "$stage/Uninstall.exe"
# The module reads the registry and never writes it.
writers=$("$objdump" -p "$module" | grep -oE '\bReg(Set|Create|Delete|Save|Restore|Replace|Load|Unload|Copy|Rename|Flush)[A-Za-z]*' | sort -u | tr '\n' ' ' || true)
[ -z "$writers" ] || fail "the module imports registry writers: $writers"

# The installer keeps each file's date: SOURCE_DATE_EPOCH, like everything else here.
touch -d "@$SOURCE_DATE_EPOCH" "$module" "$stage/VantreloDelay.dll" "$stage/Uninstall.exe"
makensis -V2 -WX -NOCD \
  "-DVERSION=$version" "-DBUNDLE_DIR=$bundle" "-DEFFECT_DLL=$stage/VantreloDelay.dll" "-DOUTFILE=$setup" \
  "-DMODULE_SHA256=$(sha256sum "$module" | cut -d' ' -f1)" \
  "-DEFFECT_SHA256=$(sha256sum "$stage/VantreloDelay.dll" | cut -d' ' -f1)" \
  "-DUNINSTALL_EXE=$stage/Uninstall.exe" \
  "$ROOT/scripts/installer.nsi"

echo "VantreloDelay AAX $version in $out:"
(cd "$out" && find VantreloDelay.aaxplugin symbols "$(basename "$setup")" \
   \( -type d -printf '  %p/\n' \) -o -printf '  %-64p %10s bytes\n' | sort)

# The size table of docs/packaging.md, as measured here.
size() { stat -c %s "$1" | sed ':a;s/\B[0-9]\{3\}\>/,&/;ta'; }
table="| file | as built | stripped |
|---|---|---|
| module, \`VantreloDelay.aaxplugin\` | $(size "$bin/VantreloDelayAAX.dll") bytes | $(size "$module") bytes |
| reference delay, \`VantreloDelay.dll\` | $(size "$bin/VantreloDelay.dll") bytes | $(size "$stage/VantreloDelay.dll") bytes |
| uninstaller, \`Uninstall.exe\` | $(size "$bin/Uninstall.exe") bytes | $(size "$stage/Uninstall.exe") bytes |
| installer, \`$(basename "$setup")\` | | $(size "$setup") bytes |"
echo "$table"
doc=$ROOT/docs/packaging.md
if [ "$out" = "$ROOT/dist" ] && [ -f "$doc" ] && grep -q '^<!-- sizes: written by scripts/package.sh -->$' "$doc"; then
  awk -v table="$table" '
    /^<!-- sizes: written by scripts\/package.sh -->$/ { print; print table; skip = 1; next }
    skip && /^<!-- end of sizes -->$/ { skip = 0 }
    !skip' "$doc" >"$doc.new" && mv "$doc.new" "$doc"
fi
