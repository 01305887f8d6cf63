#!/usr/bin/env bash
# Everything from a fresh Debian 12 machine: install, build the native tree
# and both Windows modules, run every test (the modules under Wine too), then run them again under the
# address and undefined-behaviour sanitizers, and fuzz each input surface
# for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

cmake --preset win32
cmake --build --preset win32
cmake --preset win64
cmake --build --preset win64
# Each Windows module is also loaded by a Windows loader (Wine) and compared
# with the native build, when that Wine can be had on this machine.
if setup=$(scripts/wine-setup.sh | tee /dev/stderr); then
  wine=ON why=
else
  wine=OFF why=$(printf '%s\n' "$setup" | sed -n 's/^Wine tests skipped: //p' | tail -n 1)
  echo "The 32-bit Wine tests will not run: kest_output.auo is checked natively only."
fi
if scripts/wine-setup.sh win64; then
  wine64=ON
else
  wine64=OFF
  echo "The 64-bit Wine tests will not run: kest_output.auo2 is checked natively only."
fi
cmake --preset native -DKEST_WINE=$wine -DKEST_WINE64=$wine64 "-DKEST_WINE_SKIPPED=$why"
cmake --build --preset native
ctest --preset native --parallel 2

cmake --preset asan
cmake --build --preset asan
ctest --preset asan --parallel 2

cmake --preset fuzz
cmake --build --preset fuzz
ctest --preset fuzz --parallel 2
