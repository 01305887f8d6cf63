#!/usr/bin/env bash
# The main job on a fresh Debian 12 machine: install what the build needs,
# build the kest tool, export the built-in demo clip as a KEST movie and
# render its first frame as the player shows it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

cmake --preset native
cmake --build --preset native --target kest

mkdir -p out
build/native/tools/kest export -o out/demo.KTD -y
build/native/tools/kest extract out/demo.KTD --frame 0 --png out/demo.png -y

echo
echo "KEST movie:      $(pwd)/out/demo.KTD"
echo "its first frame: $(pwd)/out/demo.png"
echo "inspect it with: build/native/tools/kest info out/demo.KTD"
