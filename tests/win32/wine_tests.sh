#!/usr/bin/env bash
# Runs the Windows test host under Wine for ctest. One prefix, one Wine server
# and one X display (Xvfb) serve all the tests of a run:
#   wine_tests.sh start STATE                          make them (fixture setup)
#   wine_tests.sh stop STATE                           end them (fixture cleanup)
#   wine_tests.sh checks STATE HOST.exe MODULE         table, blob, failure paths
#   wine_tests.sh identity STATE HOST.exe MODULE NATIVE_CASES
#                                                      exports equal the native build's
#   wine_tests.sh dialog STATE HOST.exe MODULE [PNG]   the settings dialog, in Japanese
set -uo pipefail

action=${1:?usage: wine_tests.sh start|stop|checks|identity|dialog STATE ...}
state=${2:?the state folder is missing}
mkdir -p "$state"
state=$(cd "$state" && pwd)

export WINEPREFIX=$state/prefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Dialog texts cross the ANSI functions in code page 932, which Wine takes
# from the locale.
export LC_ALL=ja_JP.UTF-8
[ -f "$state/display" ] && export DISPLAY=":$(cat "$state/display")"

# Wine's drive Z: is the Unix root.
winpath() { local p=$1; [ "${p#/}" != "$p" ] || p=$PWD/$p; echo "Z:${p//\//\\}"; }

fail() {
  echo "FAIL: $*"
  exit 1
}

# Wine is judged by the host's own verdict line: a loader that cannot run a
# 32-bit program at all may exit 0 without printing anything.
# Under user-mode emulation the emulator itself crashes now and then; a host
# that died that way before giving any verdict is run once more.
run_host() {
  local out=$1 rc attempt
  shift
  for attempt in 1 2; do
    timeout -k 10 "${KEST_WINE_TIMEOUT:-900}" wine "$@" >"$out" 2>"$out.stderr"
    rc=$?
    grep -q '^RESULT ' "$out" && break
    grep -q 'qemu: uncaught target signal' "$out.stderr" || break
    [ $attempt = 1 ] && echo "(the emulator crashed before the host gave a verdict; running it again)"
  done
  tr -d '\r' <"$out"
  grep -q '^RESULT PASS' "$out" && return 0
  echo "--- the host's stderr (exit code $rc):"
  tail -n 20 "$out.stderr"
  return 1
}

case $action in
start)
  "$0" stop "$state" >/dev/null 2>&1
  rm -rf "$state/prefix" "$state/display"
  # The server must know the display from its start, or dialogs cannot be
  # created (error 1400).
  setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$state/display" >"$state/xvfb.log" 2>&1 &
  echo $! >"$state/xvfb.pid"
  for _ in $(seq 100); do [ -s "$state/display" ] && break; sleep 0.1; done
  [ -s "$state/display" ] || fail "Xvfb did not start: $(cat "$state/xvfb.log")"
  export DISPLAY=":$(cat "$state/display")"
  started=$(date +%s)
  timeout 1800 wineboot --init >"$state/wineboot.log" 2>&1 || fail "wineboot failed: $(tail -n 5 "$state/wineboot.log")"
  # Every Wine session starts Wine's services, which takes minutes under
  # emulation: one session serves all the tests, held open by a console
  # that waits for input that never comes. (Started on a prefix still being
  # made, the console fails to load kernel32.dll.)
  setsid bash -c 'sleep infinity | exec wine cmd.exe' </dev/null >"$state/session.log" 2>&1 &
  echo $! >"$state/session.pid"
  timeout 1800 wine cmd.exe /c echo ready 2>&1 | tr -d '\r' >"$state/ready.txt"
  grep -q '^ready' "$state/ready.txt" && kill -0 "$(cat "$state/session.pid")" 2>/dev/null ||
    fail "the Wine session did not start: $(tail -n 5 "$state/session.log" "$state/ready.txt")"
  cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null
  echo "Wine prefix ready in $(($(date +%s) - started)) s on display $DISPLAY ($(wine --version))"
  ;;
stop)
  [ -d "$WINEPREFIX" ] && timeout 60 wineserver -k 2>/dev/null
  [ -f "$state/session.pid" ] && kill -- "-$(cat "$state/session.pid")" 2>/dev/null
  [ -f "$state/xvfb.pid" ] && kill "$(cat "$state/xvfb.pid")" 2>/dev/null
  rm -f "$state/session.pid" "$state/xvfb.pid" "$state/display"
  exit 0
  ;;
checks)
  host=$3 module=$4
  work=$state/checks
  rm -rf "$work" && mkdir -p "$work"
  run_host "$work/out.txt" "$host" checks "$(winpath "$module")" "$(winpath "$work")"
  ;;
identity)
  host=$3 module=$4 native=$5
  rm -rf "$state/wine_cases" "$state/native_cases"
  mkdir -p "$state/wine_cases" "$state/native_cases"
  "$native" "$state/native_cases" || fail "the native build could not write its cases"
  run_host "$state/wine_cases/out.txt" "$host" export "$(winpath "$module")" "$(winpath "$state/wine_cases")" || exit 1
  rm -f "$state/wine_cases/out.txt" "$state/wine_cases/out.txt.stderr"
  status=0
  for f in "$state/native_cases"/*; do
    name=$(basename "$f")
    if cmp -s "$f" "$state/wine_cases/$name"; then
      echo "PASS same bytes: $name"
    else
      echo "FAIL differs: $name ($(cmp "$f" "$state/wine_cases/$name" 2>&1 | head -n 1))"
      status=1
    fi
  done
  for f in "$state/wine_cases"/*; do
    [ -e "$state/native_cases/$(basename "$f")" ] || { echo "FAIL only under Wine: $(basename "$f")"; status=1; }
  done
  exit $status
  ;;
dialog)
  host=$3 module=$4 png=${5:-}
  work=$state/dialog
  rm -rf "$work" && mkdir -p "$work"
  if [ -n "$png" ]; then
    run_host "$work/out.txt" "$host" dialog "$(winpath "$module")" "$(winpath "$png")"
  else
    run_host "$work/out.txt" "$host" dialog "$(winpath "$module")"
  fi
  ;;
*)
  fail "unknown action $action"
  ;;
esac
