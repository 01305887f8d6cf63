#!/usr/bin/env bash
# Everything from a fresh Debian 12 machine: install, build the native tree
# and the Windows module, run every test (the module under Wine too), then run them again under the
# address and undefined-behaviour sanitizers, and fuzz each input surface
# for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

cmake --preset win32
cmake --build --preset win32
# The Windows module is also loaded by a Windows loader (Wine) and compared
# with the native build, when Wine can be had on this machine.
if scripts/wine-setup.sh; then
  wine=ON
else
  wine=OFF
  echo "The Wine tests will not run: the module is checked natively only."
fi
cmake --preset native -DKEST_WINE=$wine
cmake --build --preset native
ctest --preset native --parallel 2

cmake --preset asan
cmake --build --preset asan
ctest --preset asan --parallel 2

cmake --preset fuzz
cmake --build --preset fuzz
ctest --preset fuzz --parallel 2
