# Sourced by scripts: a private Wine prefix with a persistent wineserver, and
# an Xvfb display when none is set; everything started here stops on exit.
# Both builds run in 64-bit prefixes, as on 64-bit Windows: the i686 program
# and its setup as 32-bit programs beside the 64-bit system.

# wine32_available: true where 32-bit Windows programs can run, that is where
# the 32-bit Wine loader (wine32:i386) is installed. TK_NO_WINE32=1 pretends
# it is not, as on a machine where scripts/setup-deps could not install it.
wine32_available() {
  [ -z "${TK_NO_WINE32:-}" ] && [ -x /usr/lib/wine/wine ]
}

# use_build ARCH: the registry view that scripts read and change for that
# build's program and setup. A 64-bit program sees the 64-bit view, a 32-bit
# one the 32-bit view (HKLM\SOFTWARE\WOW6432Node); reg.exe itself may be
# either, depending on which Wine loaders are installed, so it is always told.
use_build() {
  case "$1" in
  x86_64) TK_REG_VIEW=/reg:64 ;;
  i686) TK_REG_VIEW=/reg:32 ;;
  *) echo "unknown build: $1 (x86_64 or i686)" >&2; return 2 ;;
  esac
  TK_ARCH=$1
}

# program_reg ARGS...: reg.exe on the registry as the program under test sees
# it (use_build first), e.g. program_reg query 'HKLM\Software\Tandemkeep'.
program_reg() {
  wine reg "$@" "${TK_REG_VIEW:?use_build first}" </dev/null
}

# prefix_usable: the prefix in WINEPREFIX has its 64-bit system and, where a
# 32-bit Wine is installed, its 32-bit one, and a program of each runs in it.
prefix_usable() {
  [ -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ] || return 1
  /usr/lib/wine/wine64 reg query 'HKLM\Software\Microsoft\Windows NT\CurrentVersion' /v CurrentVersion \
    </dev/null >/dev/null 2>&1 || return 1
  if wine32_available; then
    [ -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ] || return 1
    wine reg query 'HKLM\Software\Microsoft\Windows NT\CurrentVersion' /v CurrentVersion /reg:32 \
      </dev/null >/dev/null 2>&1 || return 1
  fi
}

# make_prefix BOOT_LOG: boots the prefix in WINEPREFIX (new or not) with a
# persistent wineserver; true when it is usable afterwards.
make_prefix() {
  mkdir -p "$WINEPREFIX"
  # Wine's server and system processes outlive the program that starts them
  # and keep its output pipes open; start them here, detached from any pipe,
  # so that CTest sees each test's output end with the test.
  wineserver -p </dev/null >/dev/null 2>&1 || true
  TK_STARTED_WINESERVER=1
  wineboot -i </dev/null >"$1" 2>&1 || true
  prefix_usable
}

# start_wine PREFIX: creates the prefix when new and keeps a wineserver
# running; returns non-zero, after one line saying why, when Wine cannot make
# a usable prefix. wineboot's output goes to PREFIX-boot.log. A new prefix
# that comes out unusable is made once more from nothing, and both boot logs
# are kept (PREFIX-boot.log and PREFIX-boot-first.log), so that a failure
# that passes is still on record and one that does not is reported.
start_wine() {
  export WINEPREFIX=$1
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export WINEARCH=win64
  local boot_log="${WINEPREFIX%/}-boot.log"
  local first_log="${WINEPREFIX%/}-boot-first.log"
  rm -f "$first_log"
  # A prefix made while only the 64-bit Wine was installed has no 32-bit
  # system ("could not load kernel32.dll" for every 32-bit program), and
  # wineboot does not add one later: make it again.
  if [ -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ] && wine32_available &&
     [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; then
    echo "Wine prefix $WINEPREFIX has no 32-bit system (made before the 32-bit Wine was installed): making it again"
    stop_wine "$WINEPREFIX"
    rm -rf "$WINEPREFIX"
  fi
  if [ ! -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ]; then
    echo "Creating Wine prefix $WINEPREFIX"
  fi
  if ! make_prefix "$boot_log"; then
    echo "Wine prefix $WINEPREFIX is not usable after wineboot (see $first_log): making it again"
    mv -f "$boot_log" "$first_log"
    stop_wine "$WINEPREFIX"
    rm -rf "$WINEPREFIX"
    if ! make_prefix "$boot_log"; then
      echo "Wine could not set up the prefix $WINEPREFIX (see $first_log and $boot_log)" >&2
      return 1
    fi
  fi
  local view
  for view in /reg:64 /reg:32; do
    # There is no window manager under Xvfb: unmanaged windows spare Wine its
    # one-second wait for a window manager's answer at every hide and destroy.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f "$view" \
      </dev/null >>"$boot_log" 2>&1 || true
    # A crashing program ends at once instead of waiting in the debugger, so
    # a crash fails its test rather than hanging the run. 32-bit programs
    # read this key in their own view.
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger \
      /d 'cmd.exe /c exit' /f "$view" </dev/null >>"$boot_log" 2>&1 || true
  done
}

# stop_wine [PREFIX]: ends every process of that prefix (default: the current
# one) and waits until its wineserver has gone.
stop_wine() {
  local prefix=${1:-${WINEPREFIX:-}}
  [ -n "$prefix" ] && [ -d "$prefix" ] || return 0
  WINEPREFIX=$prefix wineserver -k </dev/null >/dev/null 2>&1 || true
  WINEPREFIX=$prefix wineserver -w </dev/null >/dev/null 2>&1 || true
}

# start_display: an Xvfb server on a free display unless DISPLAY is set;
# returns non-zero, after one line saying why, when there is no usable display.
start_display() {
  if [ -n "${DISPLAY:-}" ] && [ -z "${TK_FORCE_XVFB:-}" ]; then
    if command -v xdpyinfo >/dev/null && ! xdpyinfo >/dev/null 2>&1; then
      echo "Cannot open the X display $DISPLAY: unset DISPLAY to use a private Xvfb" >&2
      return 1
    fi
    return 0
  fi
  local fd_file
  fd_file=$(mktemp)
  TK_XVFB_LOG=$(mktemp -t tandemkeep-xvfb.XXXXXX)
  Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp >"$fd_file" 2>"$TK_XVFB_LOG" &
  TK_XVFB_PID=$!
  for _ in $(seq 100); do
    [ -s "$fd_file" ] && break
    kill -0 "$TK_XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  if [ ! -s "$fd_file" ]; then
    rm -f "$fd_file"
    kill "$TK_XVFB_PID" 2>/dev/null || true
    TK_XVFB_PID=""
    echo "Xvfb did not start (see $TK_XVFB_LOG)" >&2
    return 1
  fi
  export DISPLAY=":$(head -n1 "$fd_file")"
  rm -f "$fd_file"
  echo "Xvfb on $DISPLAY"
}

stop_services() {
  if [ -n "${TK_STARTED_WINESERVER:-}" ]; then
    stop_wine
  fi
  if [ -n "${TK_XVFB_PID:-}" ]; then
    kill "$TK_XVFB_PID" 2>/dev/null || true
    wait "$TK_XVFB_PID" 2>/dev/null || true
    rm -f "$TK_XVFB_LOG"
  fi
}
