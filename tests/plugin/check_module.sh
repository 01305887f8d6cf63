#!/usr/bin/env bash
# The editor loads the module by itself: it must export exactly the given
# functions (by default GetOutputPluginTable alone, as kest_output.auo does)
# and import nothing but Windows system DLLs.
#   check_module.sh OBJDUMP MODULE [EXPORT...]   (exports in name order)
set -euo pipefail
objdump=$1 module=$2
shift 2
expected=$(printf '%s\n' "${@:-GetOutputPluginTable}")
[ -f "$module" ] || { echo "module not built: $module"; exit 1; }
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
echo "exports: $(echo $exports); imports: $(echo $imports)"
