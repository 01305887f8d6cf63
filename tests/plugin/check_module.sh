#!/usr/bin/env bash
# The editor loads the module by itself: it must export exactly the given
# functions (by default GetOutputPluginTable alone, as kest_output.auo does)
# and import nothing but Windows system DLLs. It carries only what the editor
# calls: none of the plain reference forms, and not the movie reader, which
# the link map beside it would name.
#   check_module.sh OBJDUMP MODULE [--map MAP] [EXPORT...]   (exports in name order)
set -euo pipefail
objdump=$1 module=$2 map=
shift 2
if [ "${1:-}" = --map ]; then
  map=$2
  shift 2
fi
expected=$(printf '%s\n' "${@:-GetOutputPluginTable}")
# ctest reports this exit code as a skipped test.
if [ ! -f "$module" ]; then
  echo "SKIP: the module is not built ($module); scripts/test.sh builds both (the win32 and win64 presets)"
  exit 77
fi
dump=$("$objdump" -p "$module")

exports=$(printf '%s\n' "$dump" | awk '/\[Ordinal\/Name Pointer\] Table/{on=1;next} on&&/^[ \t]*\[/{print $NF;next} on{on=0}')
if [ "$exports" != "$expected" ]; then
  echo "exports are not exactly $(echo $expected):"; printf '%s\n' "$exports"; exit 1
fi

system='^(kernel32|user32|gdi32|comctl32|msvcrt|advapi32|ntdll|shell32|ole32)\.dll$'
imports=$(printf '%s\n' "$dump" | awk '/DLL Name:/{print tolower($3)}')
bad=$(printf '%s\n' "$imports" | grep -Ev "$system" || true)
if [ -n "$bad" ]; then
  echo "imports a DLL that Windows does not ship:"; printf '%s\n' "$bad"; exit 1
fi

# The reader's messages are its own; the module is stripped, so its text is
# what shows.
if LC_ALL=C grep -a -q -e 'not a KEST movie' -e 'frame header.s picture size' "$module"; then
  echo "the module holds the movie reader's messages"; exit 1
fi
if [ -n "$map" ]; then
  [ -f "$map" ] || { echo "no link map at $map"; exit 1; }
  extra=$(grep -oE '[A-Za-z0-9_]*(_reference|movie_reader)\.cpp\.obj' "$map" | sort -u || true)
  if [ -n "$extra" ]; then
    echo "the module links objects that only tests and tools need:"; printf '%s\n' "$extra"; exit 1
  fi
  objects=$(grep -cE '^ \.text +0x[0-9a-f]+ +0x[0-9a-f]+ .*libkest_core\.a\(' "$map" || true)
  echo "core objects with code in the module: $objects"
fi
echo "exports: $(echo $exports); imports: $(echo $imports)"
