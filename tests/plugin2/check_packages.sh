#!/usr/bin/env bash
# What a user downloads: the 64-bit package as the editor installs it
# (package.ini and package.txt at the root, the module under Plugin/) and the
# 32-bit module's zip, each with its read-me.
#   check_packages.sh AU2PKG.zip AUO.zip KEST_OUTPUT.auo2 KEST_OUTPUT.auo
set -euo pipefail
pkg=$1 auo=$2
for z in "$pkg" "$auo"; do [ -f "$z" ] || { echo "not built: $z"; exit 1; }; done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

list() { cmake -E tar tf "$1" | LC_ALL=C sort | tr '\n' ' '; }
want="Plugin/kest_output.auo2 README-ja.txt config-dialog.png package.ini package.txt reductions.png "
[ "$(list "$pkg")" = "$want" ] || { echo "$pkg holds: $(list "$pkg"); expected: $want"; exit 1; }
want="README-ja.txt config-dialog.png kest_output.auo reductions.png "
[ "$(list "$auo")" = "$want" ] || { echo "$auo holds: $(list "$auo"); expected: $want"; exit 1; }

mkdir "$work/pkg" "$work/auo"
(cd "$work/pkg" && cmake -E tar xf "$pkg")
(cd "$work/auo" && cmake -E tar xf "$auo")
ini=$(tr -d '\r' <"$work/pkg/package.ini")
for line in '[package]' 'id=kest_output' 'name=KEST 出力'; do
  printf '%s\n' "$ini" | grep -xF -- "$line" >/dev/null || { echo "package.ini lacks the line $line"; exit 1; }
done
printf '%s\n' "$ini" | grep -E '^information=KEST \(KEST-V3\.0/4\.0\) 出力 version [0-9.]+ \(64-bit\)$' >/dev/null ||
  { echo "package.ini has no information line with the version"; exit 1; }
# The modules in the zips are the built ones, byte for byte.
cmp "$work/pkg/Plugin/kest_output.auo2" "$3" && cmp "$work/auo/kest_output.auo" "$4"
for readme in "$work/pkg/README-ja.txt" "$work/auo/README-ja.txt"; do
  grep '■ インストール' "$readme" >/dev/null || { echo "no install section in $readme"; exit 1; }
done
echo "packages hold what they should"
