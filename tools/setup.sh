#!/usr/bin/env bash
# Installs the Debian packages the build and every test tier need; does nothing when all are present,
# so every make target can run it first.
#
# It degrades, it does not stop, where the mirror is only partly usable:
# - `apt-get update` failing for some index files (a mirror in the middle of a sync) is tried again a
#   few times, then set-up goes on with the package lists it has;
# - what every tier needs (the 64-bit path) must install: a failure is an error naming the package
#   and apt's own message;
# - Wine's 32-bit loader (wine32:i386) is tried on its own, only where the kernel runs 32-bit
#   programs; when it cannot be installed set-up says so in one line, leaves the reason in
#   build/setup-wine32.txt (where tools/runs-32-bit reads it) and goes on: the 32-bit tier, the demo
#   and the benchmarks then take the 64-bit path. Delete that file to try again.
set -uo pipefail

readonly checkout="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
readonly wine32_note="$checkout/build/setup-wine32.txt"
readonly update_attempts=3
readonly update_pause_seconds=5

# The Windows builds compile with clang-19 and link with lld-19 (CodeView PDBs) against the mingw-w64
# runtime of the GCC cross compilers; llvm-19's llvm-pdbutil reads the PDBs, faketime holds widl's
# clock still, python3-pefile (for Debian's /usr/bin/python3) reads the DLLs. The demo's pictures need
# a virtual X server (xvfb), xwininfo (x11-utils) and ImageMagick; the release packages wixl and
# msitools, their signatures osslsigncode and openssl, and the generator of their registry rows
# python3.
packages=(cmake ninja-build g++ clang libclang-rt-14-dev llvm googletest libbenchmark-dev
          g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools
          binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 clang-19 lld-19 llvm-19 faketime python3-pefile
          wine wine64 xvfb x11-utils imagemagick wixl msitools osslsigncode openssl python3)
readonly wine32=wine32:i386

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
# apt's own complaint: its error lines, else its last line.
apt_message() { grep -E '^(E|W): ' "$1" | head -3 | paste -sd ' ' - | grep . || tail -1 "$1"; }

updated=false
update_lists() {
    $updated && return 0
    updated=true
    local log attempt
    log="$(mktemp)"
    for ((attempt = 1; attempt <= update_attempts; attempt++)); do
        if as_root apt-get update -qq >"$log" 2>&1; then
            rm -f "$log"
            return 0
        fi
        echo "setup: apt-get update failed (attempt $attempt of $update_attempts): $(apt_message "$log")"
        ((attempt < update_attempts)) && sleep "$update_pause_seconds"
    done
    echo "setup: going on with the package lists apt has"
    rm -f "$log"
}

# apt-get install PACKAGES..., its output in the file $1.
apt_install() {
    local log="$1"
    shift
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$@" >"$log" 2>&1
}

install_required() {
    local missing=() p log
    for p in "${packages[@]}"; do
        installed "$p" || missing+=("$p")
    done
    [[ ${#missing[@]} -eq 0 ]] && return 0
    echo "setup: installing ${missing[*]}"
    update_lists
    log="$(mktemp)"
    if apt_install "$log" "${missing[@]}"; then
        rm -f "$log"
        return 0
    fi
    # Name what failed: each package that still will not install on its own.
    local failed=0
    for p in "${missing[@]}"; do
        installed "$p" && continue
        if ! apt_install "$log" "$p"; then
            echo "setup: error: cannot install $p: $(apt_message "$log")" >&2
            failed=1
        fi
    done
    rm -f "$log"
    return "$failed"
}

# Gives up on the 32-bit loader for this checkout, in one line, and leaves the machine's package
# architectures as they were when no i386 package came of the attempt.
give_up_wine32() {
    local why="$1"
    mkdir -p "$(dirname "$wine32_note")"
    echo "set-up could not install $wine32: $why" >"$wine32_note"
    echo "setup: 32-bit Wine is not installed ($why); the 32-bit tier, the demo and the benchmarks take the 64-bit path"
    if [[ "$added_i386" == true ]] && ! dpkg-query -W -f='${Architecture}\n' 2>/dev/null | grep -qx i386; then
        as_root dpkg --remove-architecture i386 2>/dev/null || true
    fi
}

added_i386=false
install_wine32() {
    installed "$wine32" && return 0
    "$checkout/tools/runs-32-bit" --kernel >/dev/null || return 0
    [[ -f "$wine32_note" ]] && return 0
    echo "setup: installing $wine32"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        as_root dpkg --add-architecture i386 || { give_up_wine32 "dpkg cannot add the i386 architecture"; return 0; }
        added_i386=true
        updated=false
    fi
    update_lists
    local log
    log="$(mktemp)"
    if apt_install "$log" "$wine32"; then
        rm -f "$log" "$wine32_note"
    else
        give_up_wine32 "$(apt_message "$log")"
        rm -f "$log"
    fi
}

install_required || exit 1
install_wine32
exit 0
