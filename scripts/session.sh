# Sourced: an X display and a wine prefix of our own for running the Windows programs, and their end.
#   start_display          Xvfb on a free display number with a window manager, as a trader's desktop
#                          has one; exports DISPLAY
#   start_wine PREFIX      a wine prefix (made when missing) in wine's default settings, with a warm wine
#                          server; exports WINEPREFIX
#   stop_session           stops what the two started, by pid
# shellcheck shell=bash

session_xvfb_pid=""
session_wm_pid=""
session_wineserver_pid=""

start_display() {
  local fdfile
  fdfile=$(mktemp)
  # Xvfb picks a free display and writes its number to the file.
  Xvfb -displayfd 7 -screen 0 1280x1024x24 -nolisten tcp 7>"$fdfile" >/dev/null 2>&1 &
  session_xvfb_pid=$!
  local i
  for i in $(seq 1 100); do
    if [[ -s $fdfile ]] && grep -q $'\n' "$fdfile"; then break; fi
    if ! kill -0 "$session_xvfb_pid" 2>/dev/null; then echo "session: Xvfb did not start" >&2; return 1; fi
    sleep 0.1
  done
  local number
  number=$(tr -dc '0-9' <"$fdfile")
  rm -f "$fdfile"
  [[ -n $number ]] || { echo "session: Xvfb gave no display number" >&2; return 1; }
  export DISPLAY=":$number"
  # openbox: small, follows the desktop conventions wine relies on (transient windows kept with their
  # owner, moves driven by the window manager, minimizing), and runs on Xvfb without any configuration.
  openbox --sm-disable >/dev/null 2>&1 &
  session_wm_pid=$!
  for i in $(seq 1 100); do
    if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then return 0; fi
    if ! kill -0 "$session_wm_pid" 2>/dev/null; then echo "session: openbox did not start" >&2; return 1; fi
    sleep 0.1
  done
  echo "session: openbox did not come up" >&2
  return 1
}

start_wine() {
  export WINEPREFIX=$1
  export WINEDEBUG=-all
  # Without its preloader wine's fixed addresses are left to chance, and now and then a program dies
  # silently before it starts (status 1; "cannot be started" for a program started from another).
  if [[ ! -x /usr/lib/wine/wine64-preloader ]]; then
    echo "session: wine64-preloader is missing: run scripts/setup.sh" >&2
    return 1
  fi
  # No Mono or Gecko installers: there is no network, and the panel needs neither.
  export WINEDLLOVERRIDES="mscoree=;mshtml="
  mkdir -p "$(dirname "$WINEPREFIX")"
  if [[ ! -f $WINEPREFIX/.session-ready-3 ]]; then
    rm -rf "$WINEPREFIX"
    wineboot -i >"$WINEPREFIX.boot.log" 2>&1 || true
    wineserver -w
    # Wine's own fonts (caption button symbols, dialog fonts): Debian's wine 8 looks for them in a folder
    # that does not exist, so they go where every font of the Windows folder is found.
    cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
    # A crash prints its backtrace and ends the process, instead of a dialog nobody closes.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >>"$WINEPREFIX.boot.log" 2>&1
    wineserver -w
    touch "$WINEPREFIX/.session-ready-3"
  fi
  # A warm server for the whole session; the first wine process starts wine's services, which keep
  # their output open, so it writes to a file and never into a pipe a test runner reads.
  wineserver -f -p >/dev/null 2>&1 &
  session_wineserver_pid=$!
  wine cmd /c exit >"$WINEPREFIX.warmup.log" 2>&1 || true
}

stop_session() {
  if [[ -n ${WINEPREFIX:-} ]]; then
    wineserver -k 2>/dev/null || true
    if [[ -n $session_wineserver_pid ]]; then
      local i
      for i in $(seq 1 50); do kill -0 "$session_wineserver_pid" 2>/dev/null || break; sleep 0.1; done
      kill -9 "$session_wineserver_pid" 2>/dev/null || true
    fi
    # wine's device services can outlive their server: any wine process still running in our prefix goes.
    local proc
    for proc in /proc/[0-9]*; do
      [[ $(readlink "$proc/exe" 2>/dev/null) == */wine64* ]] || continue
      if { tr '\0' '\n' <"$proc/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
        kill -9 "${proc#/proc/}" 2>/dev/null || true
      fi
    done
  fi
  if [[ -n $session_wm_pid ]]; then
    kill "$session_wm_pid" 2>/dev/null || true
    wait "$session_wm_pid" 2>/dev/null || true
    session_wm_pid=""
  fi
  if [[ -n $session_xvfb_pid ]]; then
    kill "$session_xvfb_pid" 2>/dev/null || true
    wait "$session_xvfb_pid" 2>/dev/null || true
    session_xvfb_pid=""
  fi
}
