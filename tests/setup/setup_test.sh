#!/usr/bin/env bash
# tools/setup.sh against a mirror in every state it has been met in, without a network: stand-ins for
# apt-get, dpkg, dpkg-query, sudo and sleep come first on PATH and keep the "machine's" packages in
# a folder of their own; the kernel's answer comes from a stand-in tools/runs-32-bit.
set -uo pipefail

readonly checkout="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0

# The stand-ins. State: $STATE/installed (one package a line), $STATE/archs (foreign architectures),
# $STATE/calls (every apt-get and sleep call). Behaviour: $UPDATE_FAILS updates fail before one
# succeeds (-1: all fail); the packages in $BROKEN never install.
mkdir -p "$work/bin"
cat >"$work/bin/apt-get" <<'EOF'
#!/usr/bin/env bash
echo "apt-get $*" >>"$STATE/calls"
if [[ " $* " == *" update "* ]]; then
    n=$(grep -c '^apt-get .*update' "$STATE/calls")
    if [[ "$UPDATE_FAILS" == -1 || $n -le "$UPDATE_FAILS" ]]; then
        echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (39868 != 39796). Mirror sync in progress? [IP: 151.101.2.132 80]"
        echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
        exit 100
    fi
    exit 0
fi
shift 3  # install -y -qq
for p in "$@"; do
    if [[ " $BROKEN " == *" $p "* ]]; then
        echo "E: Unable to correct problems, you have held broken packages."
        exit 100
    fi
done
printf '%s\n' "$@" >>"$STATE/installed"
EOF
cat >"$work/bin/dpkg-query" <<'EOF'
#!/usr/bin/env bash
if [[ "$2" == *Architecture* ]]; then grep ':i386$' "$STATE/installed" | sed 's/.*:/i386/' | sort -u; exit 0; fi
grep -qxF "$3" "$STATE/installed" && { echo "install ok installed"; exit 0; }
exit 1
EOF
cat >"$work/bin/dpkg" <<'EOF'
#!/usr/bin/env bash
case "$1" in
    --print-foreign-architectures) cat "$STATE/archs" ;;
    --add-architecture) echo "$2" >>"$STATE/archs" ;;
    --remove-architecture) grep -vx "$2" "$STATE/archs" >"$STATE/archs.new"; mv "$STATE/archs.new" "$STATE/archs" ;;
esac
EOF
printf '#!/usr/bin/env bash\necho "sleep $*" >>"$STATE/calls"\n' >"$work/bin/sleep"
printf '#!/usr/bin/env bash\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin/"*

# The packages every tier needs: the build and its cross compilers, the shipped DLL's clang, lld, PDB
# reader, clock and PE reader, the unit tests, fuzzers and benchmarks, Wine, the demo's pictures, the
# release's packages, signatures and registry rows.
required="cmake ninja-build g++ clang libclang-rt-14-dev llvm googletest libbenchmark-dev
          g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-i686
          binutils-mingw-w64-x86-64 clang-19 lld-19 llvm-19 faketime python3-pefile wine wine64 xvfb x11-utils
          imagemagick wixl msitools osslsigncode openssl python3"

# case NAME KERNEL32 INSTALLED UPDATE_FAILS BROKEN STATUS UPDATES SLEEPS WINE32 I386 OUTPUT
#   KERNEL32: yes/no; INSTALLED: all/required/none; STATUS: set-up's exit status; UPDATES, SLEEPS: calls
#   made; WINE32: installed/note/none afterwards; I386: the i386 architecture kept (yes/no);
#   OUTPUT: a text the output must hold ("-": no output at all).
run_case() {
    local name=$1 kernel32=$2 have=$3 update_fails=$4 broken=$5 status=$6 updates=$7 sleeps=$8 wine32=$9 i386=${10}
    local output=${11}
    local dir="$work/$name"
    mkdir -p "$dir/state" "$dir/checkout/tools"
    cp "$checkout/tools/setup.sh" "$dir/checkout/tools/"
    printf '#!/usr/bin/env bash\n[[ %s == yes ]] || { echo "no 32-bit kernel"; exit 1; }\n' "$kernel32" \
        >"$dir/checkout/tools/runs-32-bit"
    chmod +x "$dir/checkout/tools/runs-32-bit"
    : >"$dir/state/installed"
    : >"$dir/state/archs"
    : >"$dir/state/calls"
    [[ $have == none ]] || printf '%s\n' $required >"$dir/state/installed"
    [[ $have == all ]] && echo wine32:i386 >>"$dir/state/installed"

    local out got
    out=$(PATH="$work/bin:$PATH" STATE="$dir/state" UPDATE_FAILS=$update_fails BROKEN="$broken" \
          bash "$dir/checkout/tools/setup.sh" 2>&1)
    got=$?
    local problems=()
    [[ $got -eq $status ]] || problems+=("exit status $got, expected $status")
    local n
    n=$(grep -c ' update' "$dir/state/calls")
    [[ $n -eq $updates ]] || problems+=("$n apt-get updates, expected $updates")
    n=$(grep -c '^sleep' "$dir/state/calls")
    [[ $n -eq $sleeps ]] || problems+=("$n pauses, expected $sleeps")
    local state=none
    grep -qx wine32:i386 "$dir/state/installed" && state=installed
    [[ -f "$dir/checkout/build/setup-wine32.txt" ]] && state=note
    [[ $state == "$wine32" ]] || problems+=("32-bit Wine: $state, expected $wine32")
    local kept=no
    grep -qx i386 "$dir/state/archs" && kept=yes
    [[ $kept == "$i386" ]] || problems+=("i386 architecture kept: $kept, expected $i386")
    if [[ $output == - ]]; then
        [[ -z $out ]] || problems+=("printed something, expected nothing")
    else
        grep -qF -- "$output" <<<"$out" || problems+=("output lacks: $output")
    fi
    # Every package installs but a broken one, and set-up names that one alone.
    local named=0 missing=""
    for p in $required; do
        if [[ " $broken " == *" $p "* ]]; then
            named=$((named + 1))
        elif ! grep -qxF "$p" "$dir/state/installed"; then
            missing+=" $p"
        fi
    done
    [[ -z $missing ]] || problems+=("not installed:$missing")
    n=$(grep -c 'cannot install' <<<"$out")
    [[ $n -eq $named ]] || problems+=("$n packages named as not installable, expected $named")
    if [[ ${#problems[@]} -eq 0 ]]; then
        echo "PASS  $name"
    else
        echo "FAIL  $name: $(IFS=';'; echo "${problems[*]}")"
        sed 's/^/        | /' <<<"$out"
        failures=$((failures + 1))
    fi
}

#        name                                   kernel32 installed update broken       status updates sleeps wine32    i386 output
run_case everything-there-does-nothing          yes      all       0      ""           0      0       0      installed no   -
run_case fresh-machine-installs-both-paths      yes      none      0      ""           0      2       0      installed yes  "setup: installing wine32:i386"
run_case kernel-without-32-bit-stays-64-bit     no       none      0      ""           0      1       0      none      no   "setup: installing cmake"
run_case an-update-failing-once-is-tried-again  no       none      1      ""           0      2       1      none      no   "attempt 1 of 3"
run_case half-synced-mirror-goes-on             yes      none      -1     wine32:i386  0      6       4      note      no   "setup: 32-bit Wine is not installed (E: Unable to correct problems, you have held broken packages.)"
run_case only-wine32-missing-is-tried-alone  yes      required  -1     wine32:i386  0      3       2      note      no   "setup: going on with the package lists apt has"
run_case a-required-package-is-an-error         no       none      0      wixl         1      1       0      none      no   "setup: error: cannot install wixl: E: Unable to correct problems"

# The note written by one run is what the next run (and tools/runs-32-bit) reads: a second set-up
# after a recorded failure asks apt nothing more.
dir="$work/only-wine32-missing-is-tried-alone"
: >"$dir/state/calls"
out=$(PATH="$work/bin:$PATH" STATE="$dir/state" UPDATE_FAILS=-1 BROKEN=wine32:i386 \
      bash "$dir/checkout/tools/setup.sh" 2>&1)
if [[ $? -eq 0 && -z $out && ! -s "$dir/state/calls" ]]; then
    echo "PASS  a-recorded-failure-is-not-retried-by-the-next-run"
else
    echo "FAIL  a-recorded-failure-is-not-retried-by-the-next-run: $(cat "$dir/state/calls") $out"
    failures=$((failures + 1))
fi

[[ $failures -eq 0 ]] && echo "setup test: all cases passed" || echo "setup test: $failures cases failed"
exit $((failures > 0))
