#!/usr/bin/env bash
# Runs a check of the built module, or reports it skipped (exit 77, which
# ctest counts as skipped) when the module has not been built:
#   if_module_built.sh MODULE COMMAND [ARGS...]
module=$1
shift
if [ ! -f "$module" ]; then
  echo "SKIP: the module is not built ($module); cmake --preset win32 && cmake --build --preset win32 builds it"
  exit 77
fi
exec "$@"
