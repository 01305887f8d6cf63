#!/usr/bin/env bash
# Regenerates docs/compare-sheet.png, the README's picture of the six colour
# reductions: the built-in demo clip at its middle, made by `kest compare`.
#
# Usage: scripts/make-compare-sheet.sh [BUILD_DIR]   (default build/native,
# where the kest tool must be built)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
kest=${1:-$root/build/native}/tools/kest
[[ -x $kest ]] || { echo "missing $kest: build the kest target first" >&2; exit 1; }
"$kest" compare -o "$root/docs/compare-sheet.png"
