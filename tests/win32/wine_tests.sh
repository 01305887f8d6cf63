#!/usr/bin/env bash
# Runs a Windows test host under Wine for ctest. One prefix, one Wine server
# and one X display (Xvfb) serve all the tests of a run:
#   wine_tests.sh start STATE                          make them (fixture setup)
#   wine_tests.sh stop STATE                           end them (fixture cleanup)
#   wine_tests.sh checks STATE HOST.exe MODULE         table, settings, failure paths
#   wine_tests.sh export STATE HOST.exe MODULE FOLDER  every export case into FOLDER
#   wine_tests.sh fill STATE HOST.exe MODULE           an export that runs out of
#                                                      space part way (64-bit host)
#   wine_tests.sh digests STATE HOST.exe MODULE        pinned exports by their digests
#   wine_tests.sh dialog STATE HOST.exe MODULE [PNG]   the settings dialog, in Japanese
#   wine_tests.sh identity NATIVE_CASES WORK [ARCH STATE HOST.exe MODULE]...
#                                                      every leg's exports equal the
#                                                      native build's; a leg whose
#                                                      STATE is "-" is skipped, HOST.exe
#                                                      then giving the reason
#   wine_tests.sh speed NATIVE_CASES WORK [ARCH STATE HOST.exe MODULE]...
#                                                      the timed case, native and in
#                                                      each leg: frames a second side
#                                                      by side, and the same bytes
#   wine_tests.sh timed STATE HOST.exe MODULE FOLDER   the timed case into FOLDER
# KEST_WINE_ARCH=win64 runs 64-bit hosts in a 64-bit prefix; the default is
# win32.
set -uo pipefail

if [ "${1:-}" = identity ]; then
  native=${2:?the native cases program is missing} work=${3:?the work folder is missing}
  shift 3
  rm -rf "$work/native" && mkdir -p "$work/native"
  "$native" "$work/native" || { echo "FAIL: the native build could not write its cases"; exit 1; }
  status=0 ran=0
  while [ $# -ge 4 ]; do
    arch=$1 leg_state=$2 host=$3 module=$4
    shift 4
    if [ "$leg_state" = - ]; then
      echo "SKIP the $arch leg: $host"
      continue
    fi
    out=$work/$arch
    rm -rf "$out" && mkdir -p "$out"
    KEST_WINE_ARCH=$arch "$0" export "$leg_state" "$host" "$module" "$out"
    case $? in
    0) ;;
    77) echo "SKIP the $arch leg: its Wine session is unavailable"; continue ;;
    *) echo "FAIL the $arch leg: the host did not export its cases"; status=1; continue ;;
    esac
    ran=$((ran + 1))
    rm -f "$out/out.txt" "$out/out.txt.stderr"
    for f in "$work/native"/*; do
      name=$(basename "$f")
      # The 64-bit host has no preview callback and hands the settings over
      # through the project file: its log lacks the preview lines, its
      # results name the other entry.
      if [ "$arch" = win64 ] && [ "${name%.calls}" != "$name" ]; then
        same() { grep -v '^preview ' "$1" | cmp -s - "$2"; }
      elif [ "$arch" = win64 ] && [ "$name" = results.txt ]; then
        same() { cmp -s <(awk '{print $1, $4, $5}' "$1") <(awk '{print $1, $4, $5}' "$2"); }
      else
        same() { cmp -s "$1" "$2"; }
      fi
      if [ -e "$out/$name" ] && same "$f" "$out/$name"; then
        echo "PASS $arch same: $name"
      else
        echo "FAIL $arch differs: $name ($(cmp "$f" "$out/$name" 2>&1 | head -n 1))"
        status=1
      fi
    done
    for f in "$out"/*; do
      [ -e "$work/native/$(basename "$f")" ] || { echo "FAIL only under $arch Wine: $(basename "$f")"; status=1; }
    done
  done
  [ $status = 0 ] && [ $ran = 0 ] && exit 77
  exit $status
fi

# Figures, never a verdict on them: the test fails only when an export does
# or when its bytes differ from the native build's.
if [ "${1:-}" = speed ]; then
  native=${2:?the native cases program is missing} work=${3:?the work folder is missing}
  shift 3
  rm -rf "$work" && mkdir -p "$work/native"
  line=$("$native" timed "$work/native") || { echo "FAIL: the native build's timed export"; exit 1; }
  echo "native build:  ${line#TIMED }"
  status=0
  while [ $# -ge 4 ]; do
    arch=$1 leg_state=$2 host=$3 module=$4
    shift 4
    if [ "$leg_state" = - ]; then
      echo "$arch module under Wine: not run here ($host)"
      continue
    fi
    out=$work/$arch
    mkdir -p "$out"
    KEST_WINE_ARCH=$arch "$0" timed "$leg_state" "$host" "$module" "$out" >"$out/log.txt"
    case $? in
    0) ;;
    77) echo "$arch module under Wine: not run here (its Wine session is unavailable)"; continue ;;
    *) cat "$out/log.txt"; echo "FAIL the $arch leg: the timed export"; status=1; continue ;;
    esac
    echo "$arch module under Wine: $(sed -n 's/^TIMED //p' "$out/log.txt")"
    if cmp -s "$work/native/timed.KTD" "$out/timed.KTD"; then
      echo "PASS $arch same bytes as the native build"
    else
      echo "FAIL $arch timed.KTD differs from the native build's"
      status=1
    fi
  done
  exit $status
fi

action=${1:?usage: wine_tests.sh start|stop|checks|identity|speed|digests|timed|dialog STATE ...}
state=${2:?the state folder is missing}
mkdir -p "$state"
state=$(cd "$state" && pwd)

arch=${KEST_WINE_ARCH:-win32}
export WINEPREFIX=$state/prefix WINEARCH=$arch WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Debian's `wine` starts the 32-bit loader whenever it is installed.
WINE=wine
if [ "$arch" = win64 ]; then
  WINE=/usr/lib/wine/wine64
  export WINELOADER=$WINE
fi
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

# ctest reports this exit code as a skipped test.
skip_code=77
# Only 32-bit programs are ever emulated.
emulated() { [ "$arch" = win32 ] && grep -qs '^enabled' /proc/sys/fs/binfmt_misc/qemu-i386; }
# Seconds for the first session, for one test host and for the whole Wine run.
# Natively a session starts in 10 to 20 s and a host ends within one; what
# takes longer is hung. Emulated, the first start alone can take 40 minutes.
if emulated; then
  start_budget=${KEST_WINE_START_BUDGET:-2700} host_budget=${KEST_WINE_TIMEOUT:-600} run_budget=${KEST_WINE_RUN_BUDGET:-3300}
else
  start_budget=${KEST_WINE_START_BUDGET:-300} host_budget=${KEST_WINE_TIMEOUT:-120} run_budget=${KEST_WINE_RUN_BUDGET:-900}
fi
# The tests that need the session give way when it could not be had.
if [ "$action" != start ] && [ "$action" != stop ] && [ -f "$state/unavailable" ]; then
  echo "SKIP: $(cat "$state/unavailable")"
  exit $skip_code
fi

# Seconds left of the Wine run's time, at most $1.
wine_time_left() {
  local n=$1 end
  end=$(cat "$state/deadline" 2>/dev/null) && n=$((end - $(date +%s)))
  [ "$n" -gt "$1" ] && n=$1
  [ "$n" -lt 1 ] && n=1
  echo "$n"
}

# Wine programs of this prefix, found by the environment they carry.
# The Wine server is one of them; its clients hang, rather than end, when it
# goes away (it has been seen to crash under emulation).
prefix_pids() {
  local pattern=$1 pid
  for pid in $(pgrep -f "$pattern"); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -xF "WINEPREFIX=$WINEPREFIX" >/dev/null && echo "$pid"
  done
}
server_alive() { [ -n "$(prefix_pids wineserver)" ]; }

# Ends every Wine program of this prefix, the server among them.
end_session() {
  [ -f "$state/session.pid" ] && kill -- "-$(cat "$state/session.pid")" 2>/dev/null
  rm -f "$state/session.pid"
  [ -d "$WINEPREFIX" ] && timeout -k 10 60 wineserver -k 2>/dev/null
  local pids
  pids=$(prefix_pids '/usr/lib/wine/')
  [ -n "$pids" ] && kill -9 $pids 2>/dev/null
  sleep 1
}

# Waits for the process group GROUP to end: 0 when it did, 1 when the
# prefix's server went away meanwhile and stayed away for a minute, 2 after
# LIMIT seconds. The group is killed unless it ended. (An emulated loader
# takes a minute or more to start the server in the first place.)
await() {
  local group=$1 limit=$2 seen=no gone_since= now t0 verdict
  t0=$(date +%s)
  while kill -0 "$group" 2>/dev/null; do
    now=$(date +%s) verdict=
    if server_alive; then
      seen=yes gone_since=
    elif [ $seen = yes ]; then
      gone_since=${gone_since:-$now}
      [ $((now - gone_since)) -ge 60 ] && verdict=1
    fi
    [ $((now - t0)) -ge "$limit" ] && verdict=2
    if [ -n "$verdict" ]; then
      kill -- "-$group" 2>/dev/null
      sleep 2
      kill -9 -- "-$group" 2>/dev/null
      return $verdict
    fi
    sleep 1
  done
  return 0
}

# Every Wine session starts Wine's services, which takes minutes under
# emulation: one session serves all the tests, held open by a console that
# waits for input that never comes. A session that does not answer is ended
# and made again. Returns 0 once `wine cmd.exe` answers within it.
open_session() {
  local limit=$1 attempt t0
  t0=$(date +%s)
  for attempt in 1 2 3; do
    local rest=$((limit - ($(date +%s) - t0)))
    [ $rest -gt 60 ] || return 1
    if [ $attempt -gt 1 ]; then
      echo "(the Wine session did not answer; starting it again)"
      end_session
    fi
    setsid bash -c "sleep infinity | exec $WINE cmd.exe" </dev/null >"$state/session.log" 2>&1 &
    echo $! >"$state/session.pid"
    setsid bash -c "$WINE cmd.exe /c echo ready 2>&1 | tr -d '\r'" </dev/null >"$state/ready.txt" 2>&1 &
    await $! $((rest < 900 ? rest : 900))
    grep -q '^ready' "$state/ready.txt" && kill -0 "$(cat "$state/session.pid")" 2>/dev/null && return 0
  done
  return 1
}

# Wine is judged by the host's own verdict line: a loader that cannot run a
# 32-bit program at all may exit 0 without printing anything.
# Under user-mode emulation the emulator itself crashes now and then; a host
# that died that way before giving any verdict is run once more, in a new
# session if the Wine server went down with it.
run_host() {
  local out=$1 rc attempt limit lost=no
  shift
  for attempt in 1 2; do
    limit=$(wine_time_left "$host_budget")
    setsid $WINE "$@" </dev/null >"$out" 2>"$out.stderr" &
    local host=$!
    await $host "$limit"
    case $? in
    0) wait $host; rc=$? lost=no ;;
    1) rc="none: the Wine server went away" lost=yes ;;
    *) rc="none: no end after $limit s" lost=no ;;
    esac
    grep -q '^RESULT ' "$out" && break
    [ $attempt = 2 ] && break
    if [ $lost = yes ] || ! server_alive; then
      lost=yes
      [ "$(wine_time_left 9999)" -gt 900 ] || break
      echo "(the Wine server went away before the host gave a verdict; running it again in a new session)"
      end_session
      open_session 600 || break
      lost=no
    elif grep -q 'qemu: uncaught target signal' "$out.stderr"; then
      echo "(the emulator crashed before the host gave a verdict; running it again)"
    else
      break
    fi
  done
  tr -d '\r' <"$out"
  grep -q '^RESULT PASS' "$out" && return 0
  # A session lost to the emulator says nothing about the module.
  if [ $lost = yes ] && ! grep -q '^RESULT ' "$out" && emulated; then
    echo "SKIP: the emulated Wine server went away under the test host, and no new session could be had in time"
    exit $skip_code
  fi
  echo "--- the host's stderr (exit code $rc):"
  tail -n 20 "$out.stderr"
  return 1
}

case $action in
start)
  "$0" stop "$state" >/dev/null 2>&1
  rm -rf "$state/prefix" "$state/display" "$state/unavailable"
  budget_end=$(($(date +%s) + start_budget))
  left() { local n=$((budget_end - $(date +%s))); [ $n -gt $1 ] && n=$1; [ $n -lt 1 ] && n=1; echo $n; }
  # The server must know the display from its start, or dialogs cannot be
  # created (error 1400).
  setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$state/display" >"$state/xvfb.log" 2>&1 &
  echo $! >"$state/xvfb.pid"
  for _ in $(seq 100); do [ -s "$state/display" ] && break; sleep 0.1; done
  [ -s "$state/display" ] || fail "Xvfb did not start: $(cat "$state/xvfb.log")"
  export DISPLAY=":$(cat "$state/display")"
  started=$(date +%s)
  # The whole Wine run, the tests included, keeps within this.
  echo $((started + run_budget)) >"$state/deadline"
  # Making the prefix ends in an exit status that says little under
  # emulation: the loader gives up waiting for the boot after five minutes
  # while the boot goes on, and a boot can stall on a service for good with
  # the prefix already usable. What counts is a session that answers. A boot
  # whose server went away is made again from nothing.
  for boot in 1 2; do
    setsid $WINE wineboot.exe --init </dev/null >"$state/wineboot.log" 2>&1 &
    await $! "$(left 1500)"
    [ $? = 1 ] || break
    [ $boot = 1 ] && [ "$(left 9999)" -gt 900 ] || break
    echo "(the Wine server went away while the prefix was made; making it again)"
    end_session
    rm -rf "$WINEPREFIX"
  done
  ready=no
  open_session "$(left 9999)" && ready=yes
  if [ $ready = no ]; then
    why="the Wine session did not start in $(($(date +%s) - started)) s: $(tail -n 3 "$state/wineboot.log" "$state/session.log" "$state/ready.txt" | tr '\n' ' ')"
    # A kernel without 32-bit programs leaves Wine to an emulator that
    # sometimes wedges a whole session. That says nothing about the module:
    # the Wine tests are then skipped, loudly, as when Wine cannot be had.
    if emulated; then
      echo "$why" >"$state/unavailable"
      echo "SKIP: $why"
      exit $skip_code
    fi
    fail "$why"
  fi
  cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null
  echo "Wine prefix ready in $(($(date +%s) - started)) s on display $DISPLAY ($($WINE --version)$(emulated && echo ', emulated'))"
  ;;
stop)
  end_session
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
digests)
  host=$3 module=$4
  work=$state/digests
  rm -rf "$work" && mkdir -p "$work"
  run_host "$work/out.txt" "$host" digests "$(winpath "$module")" "$(winpath "$work")"
  ;;
export)
  host=$3 module=$4 out=$5
  run_host "$out/out.txt" "$host" export "$(winpath "$module")" "$(winpath "$out")"
  ;;
timed)
  host=$3 module=$4 out=$5
  run_host "$out/out.txt" "$host" timed "$(winpath "$module")" "$(winpath "$out")"
  ;;
fill)
  host=$3 module=$4
  work=$state/fill
  rm -rf "$work" && mkdir -p "$work"
  # The movie may grow to 1200 KiB, two of the case's three frames; a
  # larger write fails with EFBIG rather than the signal. The Wine server,
  # started by the fixture, keeps its own limit.
  (
    trap '' XFSZ
    ulimit -f 1200
    run_host "$work/out.txt" "$host" fill "$(winpath "$module")" "$(winpath "$work/movie.KTD")"
  )
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
