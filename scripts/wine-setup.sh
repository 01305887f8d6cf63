#!/usr/bin/env bash
# Wine for 32-bit Windows programs (or, with the argument win64, for 64-bit
# ones), an X server without a screen, a Japanese font and the ja_JP.UTF-8
# locale: what the tests that load kest_output.auo (kest_output.auo2) under a
# Windows loader need. Exits 0 when all of it is usable; otherwise prints
# "Wine tests skipped: <reason>" and exits 1, so that the caller can go on
# without those tests.
#   wine-setup.sh [win32|win64]
set -uo pipefail
arch=${1:-win32}
case $arch in
win32) loader=/usr/lib/wine/wine ;;
win64) loader=/usr/lib/wine/wine64 ;;
*) echo "usage: wine-setup.sh [win32|win64]" >&2; exit 2 ;;
esac
# Pipelines end in `grep ... >/dev/null`, not `grep -q`: grep -q stops at its
# first match, and the writer's SIGPIPE then fails the pipeline under pipefail.

skip() {
  echo "$([ "$arch" = win64 ] && echo "64-bit ")Wine tests skipped: $*"
  exit 1
}

SUDO=
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null 2>&1 || skip "not root and no sudo to install packages"
  SUDO="sudo -n"
fi
export DEBIAN_FRONTEND=noninteractive

# Only the 32-bit loader runs a 32-bit program: with wine64 alone a 32-bit
# .exe exits 0 and prints nothing.
have_everything() {
  [ -x $loader ] && command -v wine >/dev/null 2>&1 &&
    command -v Xvfb >/dev/null 2>&1 && command -v xauth >/dev/null 2>&1 &&
    fc-list 2>/dev/null | grep -i ipagothic >/dev/null &&
    locale -a 2>/dev/null | grep -iE '^ja_JP\.utf-?8$' >/dev/null
}

if ! have_everything && [ "$arch" = win64 ]; then
  # The 64-bit loader needs no foreign architecture.
  PKGS="wine wine64 xvfb xauth fonts-ipafont-gothic fonts-wine locales fontconfig"
  timeout 600 $SUDO apt-get update -q || true
  timeout 900 $SUDO apt-get install -y -q --no-install-recommends -o DPkg::Lock::Timeout=300 $PKGS ||
    timeout 900 $SUDO apt-get install -y -q --no-install-recommends -o DPkg::Lock::Timeout=300 -t bookworm $PKGS ||
    skip "installing $PKGS failed"
elif ! have_everything; then
  PKGS="wine wine32:i386 xvfb xauth fonts-ipafont-gothic fonts-wine locales fontconfig"
  if ! dpkg --print-foreign-architectures | grep -x i386 >/dev/null; then
    $SUDO dpkg --add-architecture i386 || skip "cannot add the i386 architecture"
  fi
  # The i386 index of the security suite can be stale and make update exit
  # 100; the release's i386 index is all that is needed.
  timeout 600 $SUDO apt-get update -q || true
  apt-cache policy wine32:i386 2>/dev/null | grep 'Candidate: [0-9]' >/dev/null ||
    skip "no i386 package index offers wine32"
  # A plain install can meet "held broken packages" when amd64 libraries come
  # from the security suite and the i386 ones from the release; taking both
  # from the release resolves it. One transaction either way.
  timeout 900 $SUDO apt-get install -y -q --no-install-recommends -o DPkg::Lock::Timeout=300 $PKGS ||
    timeout 900 $SUDO apt-get install -y -q --no-install-recommends -o DPkg::Lock::Timeout=300 -t bookworm $PKGS ||
    skip "installing $PKGS failed"
fi

command -v Xvfb >/dev/null 2>&1 || skip "Xvfb is missing"
if [ "$arch" = win64 ]; then
  [ -x $loader ] || skip "the 64-bit loader $loader is missing"
  $loader --version 2>/dev/null | grep '^wine-' >/dev/null || skip "the 64-bit Wine loader does not run"
else
[ -x /usr/lib/wine/wine ] || skip "the 32-bit loader /usr/lib/wine/wine is missing"

# Some kernels (virtual machines among them) are built or booted without
# 32-bit program support: exec of the 32-bit loader then fails with "exec
# format error". The processor can still run it under user-mode emulation,
# registered with binfmt_misc; slow, but correct to the bit for SSE2 code.
loader_runs() { /usr/lib/wine/wine --version 2>/dev/null | grep '^wine-' >/dev/null; }
emulated() { grep -qs '^enabled' /proc/sys/fs/binfmt_misc/qemu-i386; }
if emulated || ! loader_runs; then
  # Emulated, the first Wine session takes 15 to 40 minutes to start and the
  # emulator has been seen to wedge it: too slow and too uncertain for every
  # run, so only on request.
  if [ "${KEST_WINE_EMULATED:-0}" != 1 ]; then
    if emulated; then
      skip "binfmt_misc hands 32-bit programs to qemu-i386 emulation here; KEST_WINE_EMULATED=1 runs the Wine tests that way (20 to 45 minutes)"
    fi
    skip "this kernel runs no 32-bit programs; KEST_WINE_EMULATED=1 runs the Wine tests under qemu-i386 emulation (20 to 45 minutes)"
  fi
  if ! command -v qemu-i386-static >/dev/null 2>&1; then
    timeout 900 $SUDO apt-get install -y -q --no-install-recommends -o DPkg::Lock::Timeout=300 qemu-user-static ||
      skip "this kernel cannot run 32-bit programs and qemu-user-static could not be installed"
  fi
  binfmt=/proc/sys/fs/binfmt_misc
  [ -e $binfmt/register ] || $SUDO mount -t binfmt_misc binfmt_misc $binfmt 2>/dev/null ||
    skip "this kernel cannot run 32-bit programs and binfmt_misc is not available"
  if [ ! -e $binfmt/qemu-i386 ]; then
    # 32-bit little-endian x86 ELF executables and shared objects; F: the
    # interpreter is opened now, so it also serves inside other mount
    # namespaces.
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' |
      $SUDO tee $binfmt/register >/dev/null || skip "cannot register the 32-bit emulator with binfmt_misc"
  fi
  loader_runs || skip "the 32-bit Wine loader does not run, not even under emulation"
  # Every Wine program talks to the one Wine server all the time: emulated,
  # that server is slow and has been seen to crash. The 64-bit server also
  # serves 32-bit prefixes, and Wine's launcher prefers it when present.
  if [ ! -x /usr/lib/wine/wineserver64 ]; then
    timeout 900 $SUDO apt-get install -y -q --no-install-recommends -o DPkg::Lock::Timeout=300 wine64 ||
      timeout 900 $SUDO apt-get install -y -q --no-install-recommends -o DPkg::Lock::Timeout=300 -t bookworm wine64 ||
      echo "(wine64 could not be installed: the emulated 32-bit Wine server is used)"
  fi
  echo "Wine runs under qemu-i386 emulation on this kernel: expect 15 to 25 minutes for its first start"
fi
fi

# Japanese dialog texts cross the ANSI functions in code page 932, which Wine
# takes from the locale: it must really be generated.
if ! locale -a 2>/dev/null | grep -iE '^ja_JP\.utf-?8$' >/dev/null; then
  $SUDO localedef -i ja_JP -f UTF-8 ja_JP.UTF-8 || skip "cannot generate the ja_JP.UTF-8 locale"
fi

# A console program that prints something proves that the loader runs 32-bit
# code; the exit code alone proves nothing.
echo "Wine ready ($arch): $($loader --version 2>/dev/null)"
