# Sourced by scripts: a private Wine prefix with a persistent wineserver, and
# an Xvfb display when none is set; everything started here stops on exit.

# start_wine PREFIX: creates the prefix when new and keeps a wineserver running.
start_wine() {
  export WINEPREFIX=$1
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  mkdir -p "$WINEPREFIX"
  # Wine's server and system processes outlive the program that starts them
  # and keep its output pipes open; start them here, detached from any pipe,
  # so that CTest sees each test's output end with the test.
  wineserver -p </dev/null >/dev/null 2>&1 || true
  TK_STARTED_WINESERVER=1
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating Wine prefix $WINEPREFIX"
  fi
  wineboot -i </dev/null >/dev/null 2>&1 || true
  # There is no window manager under Xvfb: unmanaged windows spare Wine its
  # one-second wait for a window manager's answer at every hide and destroy.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 || true
  # A crashing program ends at once instead of waiting in the debugger, so a
  # crash fails its test rather than hanging the run.
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger \
    /d 'cmd.exe /c exit' /f </dev/null >/dev/null 2>&1 || true

}

# start_display: an Xvfb server on a free display unless DISPLAY is set.
start_display() {
  if [ -n "${DISPLAY:-}" ] && [ -z "${TK_FORCE_XVFB:-}" ]; then
    return
  fi
  local fd_file
  fd_file=$(mktemp)
  Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp >"$fd_file" 2>/dev/null &
  TK_XVFB_PID=$!
  for _ in $(seq 100); do
    [ -s "$fd_file" ] && break
    sleep 0.1
  done
  export DISPLAY=":$(head -n1 "$fd_file")"
  rm -f "$fd_file"
  echo "Xvfb on $DISPLAY"
}

stop_services() {
  if [ -n "${TK_STARTED_WINESERVER:-}" ]; then
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
  fi
  if [ -n "${TK_XVFB_PID:-}" ]; then
    kill "$TK_XVFB_PID" 2>/dev/null || true
    wait "$TK_XVFB_PID" 2>/dev/null || true
  fi
}
