#!/usr/bin/env bash
# The installer as a user runs it, under Wine, in a fresh prefix of its own: silent installs and
# uninstalls, the installed bundle validated by aaxhost, its version resource read back, and a
# listing of the prefix compared before install and after uninstall.
# Usage: install_scenario.sh BUILD_DIR (the windows-release build). Exit status 1 on a failed check.
set -uo pipefail
build=$(realpath "$1")
work=$build/install-scenario
exec 9>"$work.lock" && flock 9  # one run at a time owns the prefix
# No crash debugger (as for every Wine run here): a crash in one of Wine's own background
# processes would otherwise start it, and it writes a key of its own into the prefix.
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
rm -rf "$work" && mkdir -p "$work"
if ! "$(dirname "$0")/../../scripts/package.sh" --no-build --build-dir "$build" --out "$work/dist" >"$work/package.log" 2>&1; then
  cat "$work/package.log" >&2
  exit 1
fi
version=$(cat "$build/aaxw-version.txt")
setup=$work/dist/VantreloDelay-AAX-$version-setup.exe
wineboot -i >/dev/null 2>&1
wineserver -w

drive=$WINEPREFIX/drive_c
bundle='C:\Program Files\Common Files\AAX\Plug-Ins\VantreloDelay.aaxplugin'
library="$drive/Program Files/Common Files/AAX/Plug-Ins/VantreloDelay.aaxplugin/Contents/x64/VantreloDelay.aaxplugin"
app='C:\Program Files\Brenlock\VantreloDelay AAX'
effect="$drive/Program Files/Brenlock/VantreloDelay AAX/Evaluation/VST64/VantreloDelay.dll"
entry='[Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Brenlock VantreloDelay AAX]'
effect_value='[Software\\Brenlock\\VantreloDelay] "installdirectory"='

cases=() failures=0
check() {  # check NAME COMMAND...
  local name=$1
  shift
  if "$@"; then
    cases+=("<testcase name=\"$name\"/>")
  else
    cases+=("<testcase name=\"$name\"><failure message=\"failed\"/></testcase>")
    failures=$((failures + 1))
    echo "FAILED: $name" >&2
    if [ "$1" = run ]; then tail -n 20 "$work/output.txt" "$work/errors.txt" >&2; fi
  fi
}

# Runs a Windows program and waits until every process of the prefix has ended, so that the
# registry is on disk. Keeps the program's exit status. Its standard output goes to output.txt;
# the error stream, which Wine's background processes share, to errors.txt.
run() {
  wine "$@" </dev/null >"$work/output.txt" 2>"$work/errors.txt"
  local status=$?
  wineserver -w
  return $status
}

# Files of drive C: (type, size, path) and the registry under Software, one line per value
# prefixed by its key. Left out: the temporary folders, where the uninstaller leaves its own
# copy for deletion at the next restart, and keys that Wine writes by itself (the network cards it
# finds, and its crash debugger's settings should one of its own processes crash).
listing() {
  (cd "$WINEPREFIX" &&
    find drive_c \( -path 'drive_c/users/*/Temp' -o -path 'drive_c/windows/temp' \) -prune -o -printf '%y %s %p\n' | sort
    for hive in system.reg user.reg; do
      awk -v hive="$hive" '
        /^\[/ { key = $0; sub(/\] [0-9]+$/, "]", key)
                keep = key ~ /^\[Software\\\\/ && key !~ /NetworkCards|\\WineDbg\]/
                if (keep) print hive ": " key
                next }
        keep && NF && !/^#time=/ { print hive ": " key " " $0 }' "$hive"
    done)
}
has() { grep -qF -- "$1" <(listing); }
gone() { for path in "$@"; do [ ! -e "$path" ] || return 1; done; }
unchanged_since() { diff "$1" <(listing) >&2; }
uninstall() { run "$app\\Uninstall.exe" /S; }
version_resource_is() {
  run "$build/bin/read_version_info.exe" "$bundle\\Contents\\x64\\VantreloDelay.aaxplugin" &&
    tr -d '\r' <"$work/output.txt" | diff <(printf '%s\n' "$@") - >&2
}

# 1. A silent install, and a second one over it with the reference delay.
listing >"$work/before.txt"
check "install: exit status 0" run "$setup" /S
check "install: the library is where hosts look" test -f "$library"
check "install: listed among installed programs" has "$entry"
check "install: no effect and no value of its own" eval 'gone "$effect" && ! has "$effect_value"'
check "install: the version resource" version_resource_is "FixedFileVersion=$version.0" \
  "FixedProductVersion=$version.0" CompanyName=Brenlock "ProductName=VantreloDelay AAX" "FileDescription=VantreloDelay AAX Native plug-in" \
  "FileVersion=$version" "ProductVersion=$version" OriginalFilename=VantreloDelay.aaxplugin
check "install twice: exit status 0" run "$setup" /S /EVALUATION
check "install twice: the library is still there" test -f "$library"
check "evaluation: the reference delay is installed" test -f "$effect"
check "evaluation: the value names it" has "$effect_value\"${app//\\/\\\\}\\\\Evaluation\""
check "validate: the installed bundle passes" run "$build/bin/aaxhost.exe" validate "$bundle"
uninstall
check "uninstall: the library, the effect and the entry are gone" eval 'gone "$library" "$effect" && ! has "$entry"'
check "uninstall: the prefix is as before" unchanged_since "$work/before.txt"

# 2. Another folder with /D=, then a move to a third: the bundle leaves the old folder, and the
# uninstaller finds the new one and removes the folders that the installs created.
check "install /D=: exit status 0" run "$setup" /S '/D=C:\Audio\Plug-Ins'
check "install /D=: the library is in the chosen folder" test -f "$drive/Audio/Plug-Ins/VantreloDelay.aaxplugin/Contents/x64/VantreloDelay.aaxplugin"
run "$setup" /S '/D=C:\Audio\Moved'
check "install /D= elsewhere: the bundle moves" eval 'gone "$drive/Audio/Plug-Ins" && test -f "$drive/Audio/Moved/VantreloDelay.aaxplugin/Contents/x64/VantreloDelay.aaxplugin"'
uninstall
check "uninstall /D=: the prefix is as before" unchanged_since "$work/before.txt"

# 3. Files removed by hand before the uninstaller runs.
run "$setup" /S /EVALUATION
rm -rf "$drive/Program Files/Common Files/AAX/Plug-Ins/VantreloDelay.aaxplugin" "$effect"
uninstall
check "uninstall after removal by hand: the prefix is as before" unchanged_since "$work/before.txt"

# 4. The maker's effect installed already: its value is neither replaced nor removed.
run reg add 'HKLM\Software\Brenlock\VantreloDelay' /v installdirectory /d 'C:\Brenlock\VantreloDelay' /f
listing >"$work/before-effect.txt"
check "beside the maker's effect: exit status 0" run "$setup" /S /EVALUATION
check "beside the maker's effect: the reference delay is not installed" gone "$effect"
uninstall
check "beside the maker's effect: its value survives" unchanged_since "$work/before-effect.txt"

echo "install scenario: ${#cases[@]} checks, $failures failed (details in $work)"
if [ -n "${GTEST_OUTPUT:-}" ]; then  # the test runner counts cases from GoogleTest's result files
  results=${GTEST_OUTPUT#xml:} && results=${results#Z:} && results=${results//\\//}
  printf '%s\n' "<testsuites tests=\"${#cases[@]}\" failures=\"$failures\" name=\"install_scenario\">" \
    "<testsuite name=\"InstallScenario\" tests=\"${#cases[@]}\" failures=\"$failures\">" "${cases[@]}" \
    "</testsuite>" "</testsuites>" >"${results%/}/install_scenario.xml"
fi
[ "$failures" -eq 0 ]
