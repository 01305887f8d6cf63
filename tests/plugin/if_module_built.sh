#!/usr/bin/env bash
# Runs a check of the built module, or reports it skipped (exit 77, which
# ctest counts as skipped) when the module has not been built:
#   if_module_built.sh MODULE COMMAND [ARGS...]
module=$1
shift
if [ ! -f "$module" ]; then
  echo "SKIP: the module is not built ($module); scripts/test.sh builds both (the win32 and win64 presets)"
  exit 77
fi
exec "$@"
