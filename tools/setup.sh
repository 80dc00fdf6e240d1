#!/usr/bin/env bash
# Installs the Debian packages the build and the three test tiers need; does nothing when all are
# present, so every make target can run it first. Wine's 32-bit loader is installed only where the
# machine runs 32-bit programs (tools/runs-32-bit); the 64-bit one everywhere. The demo's pictures
# need a virtual X server (xvfb), xwininfo (x11-utils) and ImageMagick to capture and compare.
set -euo pipefail

readonly checkout="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

packages=(cmake ninja-build g++ clang libclang-rt-14-dev llvm googletest libbenchmark-dev
          g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools
          binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 wine wine64 xvfb x11-utils imagemagick)
runs_32_bit=false
if "$checkout/tools/runs-32-bit" >/dev/null; then
    runs_32_bit=true
    packages+=(wine32:i386)
fi

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
if $runs_32_bit && ! dpkg --print-foreign-architectures | grep -qx i386; then
  as_root dpkg --add-architecture i386
fi
as_root apt-get update -qq
as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
