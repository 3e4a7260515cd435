#!/usr/bin/env bash
# The installer as a user runs it, under Wine, in a fresh prefix of its own: silent installs,
# upgrades, a downgrade and uninstalls, the installed bundle validated by aaxhost, its version
# resource read back, and a listing of the prefix compared before install and after uninstall.
# The failures that must change nothing are checked the same way: a host holding the module
# during an upgrade and an uninstall, a folder that cannot be used, a downgrade not asked for.
# Usage: install_scenario.sh BUILD_DIR (the windows-release build). Exit status 1 on a failed check.
set -uo pipefail
build=$(realpath "$1")
work=$build/install-scenario
exec 9>"$work.lock" && flock 9  # one run at a time owns the prefix
# No crash debugger (as for every Wine run here): a crash in one of Wine's own background
# processes would otherwise start it, and it writes a key of its own into the prefix.
# Arguments and file names outside ASCII (the scenario uses some) cross to Wine as UTF-8.
export LC_ALL=C.UTF-8
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
rm -rf "$work" && mkdir -p "$work"
package() {  # package BUILD OUT: the installer of that build, checked as make package checks it
  if ! "$(dirname "$0")/../../scripts/package.sh" --no-build --build-dir "$1" --out "$2" >"$work/package.log" 2>&1; then
    cat "$work/package.log" >&2
    exit 1
  fi
}
package "$build" "$work/dist"
package "$build/next" "$work/dist-next"
version=$(cat "$build/aaxw-version.txt")
next_version=$(cat "$build/next/aaxw-version.txt")
setup=$work/dist/VantreloDelay-AAX-$version-setup.exe
next_setup=$work/dist-next/VantreloDelay-AAX-$next_version-setup.exe
wineboot -i >/dev/null 2>&1
wineserver -w

drive=$WINEPREFIX/drive_c
bundle='C:\Program Files\Common Files\AAX\Plug-Ins\VantreloDelay.aaxplugin'
library="$drive/Program Files/Common Files/AAX/Plug-Ins/VantreloDelay.aaxplugin/Contents/x64/VantreloDelay.aaxplugin"
app='C:\Program Files\Brenlock\VantreloDelay AAX'
app_dir="$drive/Program Files/Brenlock/VantreloDelay AAX"
effect="$app_dir/Evaluation/VST64/VantreloDelay.dll"
entry_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Brenlock VantreloDelay AAX'
entry='[Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Brenlock VantreloDelay AAX]'
effect_value='[Software\\Brenlock\\VantreloDelay] "installdirectory"='
helper=$build/bin/install_helper.exe

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
    tail -n 20 "$work/output.txt" "$work/errors.txt" >&2
  fi
}

# Runs a Windows program (it has ended when this returns) and keeps its exit status. Its
# standard output goes to output.txt; the error stream, which Wine's background processes
# share, to errors.txt.
run() {
  wine "$@" </dev/null >"$work/output.txt" 2>"$work/errors.txt"
}
# Runs a command line exactly as given (quotes and all), as a launcher would.
run_line() { run "$helper" run "$1"; }
status_is() {  # status_is N COMMAND...
  local expected=$1
  shift
  "$@"
  local status=$?
  [ "$status" -eq "$expected" ] || { echo "exit status $status, expected $expected" >>"$work/errors.txt"; return 1; }
}
said() { grep -qF -- "$1" "$work/errors.txt" "$work/output.txt" "$work/hold.txt" 2>/dev/null; }

# Files of drive C: (type, size, path) and the registry under Software, one line per value
# prefixed by its key. Wine's server writes the registry out when it stops: stopped first (no
# program of ours runs then). Left out: the temporary folders, where the uninstaller leaves its
# own first program for deletion at the next restart, and keys that Wine writes by itself (the
# network cards it finds, and its crash debugger's settings should one of its own processes crash).
listing() {
  wineserver -k 2>/dev/null
  wineserver -w
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
files_unchanged_since() { diff <(grep -v '\.reg: ' "$1") <(cd "$WINEPREFIX" && find drive_c \( -path 'drive_c/users/*/Temp' -o -path 'drive_c/windows/temp' \) -prune -o -printf '%y %s %p\n' | sort) >&2; }
# The entry as the registry holds it now (no wait for Wine's server).
entry_now() {
  local found
  found=$(wine reg query "$entry_key" 2>/dev/null) || return 0
  tr -d '\r' <<<"$found" | grep -v '^$'
}
uninstall() { run "$helper" quiet-uninstall; }
version_resource_is() {  # version_resource_is FILE LINE...
  local file=$1
  shift
  run "$build/bin/read_version_info.exe" "$file" && tr -d '\r' <"$work/output.txt" | diff <(printf '%s\n' "$@") - >&2
}
hardened() {  # the installed library, as a host loads it
  local headers
  headers=$(x86_64-w64-mingw32-objdump -p "$1") &&
    grep -qw HIGH_ENTROPY_VA <<<"$headers" && grep -qw DYNAMIC_BASE <<<"$headers" && grep -qw NX_COMPAT <<<"$headers"
}

# 1. A silent install, a second one over it with the reference delay, and the registered quiet
# uninstall, checked the moment it returns.
listing >"$work/before.txt"
check "install: exit status 0" run "$setup" /S
check "install: the library is where hosts look" test -f "$library"
check "install: the library is hardened" hardened "$library"
check "install: listed among installed programs" has "$entry"
check "install: no effect and no value of its own" eval 'gone "$effect" && ! has "$effect_value"'
check "install: the version resource" version_resource_is "$bundle\\Contents\\x64\\VantreloDelay.aaxplugin" \
  "FixedFileVersion=$version.0" "FixedProductVersion=$version.0" CompanyName=Brenlock "ProductName=VantreloDelay AAX" \
  "FileDescription=VantreloDelay AAX Native plug-in" "FileVersion=$version" "ProductVersion=$version" \
  OriginalFilename=VantreloDelay.aaxplugin
check "install twice: exit status 0" run "$setup" /S /EVALUATION
check "evaluation: the reference delay is installed" test -f "$effect"
check "evaluation: the value names it" has "$effect_value\"${app//\\/\\\\}\\\\Evaluation\""
check "validate: the installed bundle passes" run "$build/bin/aaxhost.exe" validate "$bundle"
check "quiet uninstall: exit status 0" uninstall
check "quiet uninstall: everything is gone when it returns" \
  eval 'gone "$library" "$app_dir" "$drive/Program Files/Common Files/AAX" && [ -z "$(entry_now)" ] &&
        ! wine reg query "HKLM\\Software\\Brenlock" >/dev/null 2>&1'
check "quiet uninstall: the prefix is as before" unchanged_since "$work/before.txt"

# 2. "/D=" as launchers and users write it: quoted, with forward slashes, "..", a name outside
# the code page (and aaxhost given that path); refused when relative or too long for hosts, or
# when the folder cannot be made.
check "install /D=\"...\": exit status 0" run_line "\"$(winepath -w "$setup")\" /S /EVALUATION /D=\"C:\\Audio\\Plug Ins\""
check "install /D=\"...\": the library is in the folder named" test -f "$drive/Audio/Plug Ins/VantreloDelay.aaxplugin/Contents/x64/VantreloDelay.aaxplugin"
listing >"$work/before-refusals.txt"
check "install /D=relative: refused" status_is 2 run_line "\"$(winepath -w "$setup")\" /S /D=Plug-Ins"
check "install /D=relative: says why" said "is not an absolute path"
check "install /D=199 characters: refused" status_is 2 run "$setup" /S "/D=C:\\$(printf 'x%.0s' $(seq 196))"
check "install /D=199 characters: says why" said "at most 198 characters"
: >"$drive/Blocked"  # a file where a folder would go
check "install /D=unusable folder: exit status 2" status_is 2 run "$setup" /S '/D=C:\Blocked\Plug-Ins'
rm -f "$drive/Blocked"
check "refusals: nothing changed" unchanged_since "$work/before-refusals.txt"
check "install /D=C:/.../../Łódź: exit status 0" run "$setup" /S '/D=C:/Audio/Unused/../Łódź'
moved="$drive/Audio/Łódź/VantreloDelay.aaxplugin/Contents/x64/VantreloDelay.aaxplugin"
check "install /D= elsewhere: the bundle moves, normalised" eval 'gone "$drive/Audio/Plug Ins" "$drive/Audio/Unused" && test -f "$moved"'
check "validate: a bundle named outside the code page passes" run "$build/bin/aaxhost.exe" validate 'C:\Audio\Łódź\VantreloDelay.aaxplugin'
uninstall
check "uninstall /D=: the prefix is as before" unchanged_since "$work/before.txt"

# 3. A host holding the module: an upgrade (another version) and an uninstall fail with nothing
# changed; once it lets go, the upgrade keeps the reference delay and upgrades it too; an older
# version does not replace a newer one unless asked.
run "$setup" /S /EVALUATION
listing >"$work/before-held.txt"
entry_now >"$work/entry-held.txt"
mkfifo "$work/hold.fifo"
wine "$helper" hold "$bundle\\Contents\\x64\\VantreloDelay.aaxplugin" <"$work/hold.fifo" >"$work/hold.txt" 2>&1 &
holder=$!
exec 8>"$work/hold.fifo"
for _ in $(seq 300); do grep -q held "$work/hold.txt" && break; kill -0 "$holder" 2>/dev/null || break; sleep 0.1; done
check "held: the helper holds the module" grep -q held "$work/hold.txt"
check "held upgrade: exit status 2" status_is 2 run "$next_setup" /S
check "held upgrade: says why" said "is in use"
check "held uninstall: exit status 2" status_is 2 uninstall
check "held: the entry is unchanged" eval 'entry_now | diff "$work/entry-held.txt" - >&2'
check "held: the files are unchanged" files_unchanged_since "$work/before-held.txt"
exec 8>&-
wait "$holder"
check "held: nothing changed" unchanged_since "$work/before-held.txt"
check "upgrade: exit status 0" run "$next_setup" /S
check "upgrade: the entry says the new version" eval 'entry_now | grep -q "DisplayVersion.*REG_SZ *$next_version\$"'
check "upgrade: the module is the new one" eval 'version_resource_is "$bundle\\Contents\\x64\\VantreloDelay.aaxplugin" "FixedFileVersion=$next_version.0" "FixedProductVersion=$next_version.0" CompanyName=Brenlock "ProductName=VantreloDelay AAX" "FileDescription=VantreloDelay AAX Native plug-in" "FileVersion=$next_version" "ProductVersion=$next_version" OriginalFilename=VantreloDelay.aaxplugin'
check "upgrade: the reference delay is kept, and upgraded" eval 'run "$build/bin/read_version_info.exe" "$app\\Evaluation\\VST64\\VantreloDelay.dll" && grep -q "^FileVersion=$next_version" "$work/output.txt"'
listing >"$work/before-downgrade.txt"
check "downgrade: refused" status_is 2 run "$setup" /S
check "downgrade: says why" said "/ALLOWDOWNGRADE"
check "downgrade: nothing changed" unchanged_since "$work/before-downgrade.txt"
check "downgrade /ALLOWDOWNGRADE: exit status 0" run "$setup" /S /ALLOWDOWNGRADE
check "downgrade /ALLOWDOWNGRADE: the older version with its reference delay" \
  eval 'entry_now | grep -q "DisplayVersion.*REG_SZ *$version\$" && test -f "$effect"'
uninstall
check "uninstall after the upgrades: the prefix is as before" unchanged_since "$work/before.txt"

# 4. Files removed by hand before the uninstaller runs, and a file of someone else's in the
# evaluation folder: the uninstaller leaves it, and an install does not overwrite it.
run "$setup" /S /EVALUATION
rm -rf "$drive/Program Files/Common Files/AAX/Plug-Ins/VantreloDelay.aaxplugin" "$effect"
check "uninstall after removal by hand: exit status 0" uninstall
check "uninstall after removal by hand: the prefix is as before" unchanged_since "$work/before.txt"
run "$setup" /S
mkdir -p "$(dirname "$effect")" && cp "$build/bin/read_version_info.exe" "$effect"
check "foreign file: an install does not overwrite it" status_is 2 run "$setup" /S /EVALUATION
check "foreign file: the uninstall leaves it" eval 'uninstall && cmp -s "$build/bin/read_version_info.exe" "$effect"'
rm -rf "$drive/Program Files/Brenlock"
check "foreign file: nothing else is left" unchanged_since "$work/before.txt"

# 5. The maker's effect in a folder named outside the code page, registered in the 32-bit view
# only: an install with /EVALUATION installs no reference delay and writes no value, and the
# module loads the maker's effect. Then a value that names a folder without the effect (stale,
# expandable): the reference delay replaces it, and the uninstall puts it back as it was.
mkdir -p "$drive/Vendor/Łódź/VST64" && cp "$build/package-stage/VantreloDelay.dll" "$drive/Vendor/Łódź/VST64/"
run reg add 'HKLM\Software\Brenlock\VantreloDelay' /v installdirectory /d 'C:\Vendor\Łódź' /reg:32 /f
listing >"$work/before-maker.txt"
check "maker's effect (32-bit view): exit status 0" run "$setup" /S /EVALUATION
check "maker's effect (32-bit view): no reference delay, no value of ours" \
  eval 'gone "$effect" && ! wine reg query "HKLM\\Software\\Brenlock\\VantreloDelay" /reg:64 >/dev/null 2>&1'
check "maker's effect: the module loads it from C:\\Vendor\\Łódź" run "$build/bin/aaxhost.exe" validate "$bundle"
uninstall
check "maker's effect: its value and files survive" unchanged_since "$work/before-maker.txt"
run reg delete 'HKLM\Software\Brenlock' /reg:32 /f
rm -rf "$drive/Vendor"
run reg add 'HKLM\Software\Brenlock\VantreloDelay' /v installdirectory /t REG_EXPAND_SZ /d '%SystemDrive%\Gone' /f
listing >"$work/before-stale.txt"
check "stale value: exit status 0" run "$setup" /S /EVALUATION
check "stale value: the reference delay replaces it" eval 'test -f "$effect" && wine reg query "HKLM\\Software\\Brenlock\\VantreloDelay" | grep -qF "$app\\Evaluation"'
uninstall
check "stale value: put back as it was, type and all" unchanged_since "$work/before-stale.txt"

echo "install scenario: ${#cases[@]} checks, $failures failed (details in $work)"
if [ -n "${GTEST_OUTPUT:-}" ]; then  # the test runner counts cases from GoogleTest's result files
  results=${GTEST_OUTPUT#xml:} && results=${results#Z:} && results=${results//\\//}
  printf '%s\n' "<testsuites tests=\"${#cases[@]}\" failures=\"$failures\" name=\"install_scenario\">" \
    "<testsuite name=\"InstallScenario\" tests=\"${#cases[@]}\" failures=\"$failures\">" "${cases[@]}" \
    "</testsuite>" "</testsuites>" >"${results%/}/install_scenario.xml"
fi
[ "$failures" -eq 0 ]
