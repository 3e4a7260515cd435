# Shared settings for the scripts: where the builds go and how Wine runs.
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=$ROOT/build
export WINEPREFIX=$BUILD/windows-release/wineprefix
export WINEARCH=win64
export WINEDEBUG=-all
# No crash debugger: a crashing test ends with its exit status instead of waiting on Wine's
# crash dialog on the display until the test times out.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
JOBS=${JOBS:-$(nproc)}

build_preset() {
  local preset=$1
  cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" -j "$JOBS"
}

ensure_wineprefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w || true
  fi
  # The windowed tests draw on a virtual X server without a window manager. Wine's windows are
  # left unmanaged there, else each closing window waits two seconds for a manager to answer.
  if ! grep -q '^"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 || true
    wineserver -w || true
  fi
}

# Starts a virtual X server on a display number the server picks as free (other runs on this
# machine may have theirs) and exports DISPLAY. XVFB_PID names it for the caller to stop.
start_virtual_display() {
  if ! command -v Xvfb >/dev/null; then
    echo "Xvfb is missing (Debian package xvfb)"
    return 1
  fi
  local number_file number
  number_file=$(mktemp)
  # -noreset: by default the server resets whenever its last client leaves, and refuses the
  # connections that arrive meanwhile; tests open and close connections in quick succession.
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$number_file" >/dev/null 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 100); do
    [ -s "$number_file" ] && break
    kill -0 "$XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  number=$(tr -dc '0-9' <"$number_file")
  rm -f "$number_file"
  if [ -z "$number" ]; then
    kill "$XVFB_PID" 2>/dev/null
    echo "the virtual X server did not start"
    return 1
  fi
  export DISPLAY=":$number"
}
