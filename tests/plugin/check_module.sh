#!/usr/bin/env bash
# The editor loads kest_output.auo by itself: it must export exactly
# GetOutputPluginTable and import nothing but Windows system DLLs.
set -euo pipefail
objdump=$1 module=$2
[ -f "$module" ] || { echo "module not built: $module"; exit 1; }
dump=$("$objdump" -p "$module")

exports=$(printf '%s\n' "$dump" | awk '/\[Ordinal\/Name Pointer\] Table/{on=1;next} on&&/^[ \t]*\[/{print $NF;next} on{on=0}')
if [ "$exports" != "GetOutputPluginTable" ]; then
  echo "exports are not exactly GetOutputPluginTable:"; printf '%s\n' "$exports"; exit 1
fi

system='^(kernel32|user32|gdi32|comctl32|msvcrt|advapi32|ntdll|shell32|ole32)\.dll$'
imports=$(printf '%s\n' "$dump" | awk '/DLL Name:/{print tolower($3)}')
bad=$(printf '%s\n' "$imports" | grep -Ev "$system" || true)
if [ -n "$bad" ]; then
  echo "imports a DLL that Windows does not ship:"; printf '%s\n' "$bad"; exit 1
fi
echo "exports: $exports; imports: $(echo $imports)"
