#!/usr/bin/env bash
# The installer package for the Windows of a Wine tier's bitness (the x64 package, with both DLLs,
# in a 64-bit prefix; the x86 one in a 32-bit prefix), per machine or per user, as an integrator's
# customer installs it, under Wine in a prefix of its own that starts clean:
#   0. its tables (in a 64-bit prefix the x86 package's too) hold the rules a validator checks; in a
#      64-bit prefix the x86 package refuses to install and writes nothing;
#   1. the rows regsvr32 writes for each DLL, with the regsvr32 of its bitness (per user with
#      /n /i:user), are the rows the package declares, the file paths aside (the drift check); where
#      no 32-bit program runs, the 32-bit DLL's are the declared ones, the server's registration's;
#   2. the previous version's package, built here with wixl from the bundle's fragments around DLLs
#      of that version, installs; the release's replaces it (one installation, the bundle's DLLs);
#   3. the DLLs, licence and notices are in place and exactly the declared rows written, below HKLM
#      or HKCU alone; per machine, the client and scripts of both bitnesses use it (Wine 8 activates
#      no per-user class: per user the rows are what is checked);
#   4. msiexec /x /qn leaves no key, value, file or folder of the server's.
#
#   tests/bundle/run-package.sh BITS machine|user ZIP WORK_DIR
#
# ZIP is the release bundle; the packages lie beside it, as make dist writes them.
set -euo pipefail

readonly checkout="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
usage() { echo "usage: run-package.sh BITS machine|user ZIP WORK_DIR" >&2; exit 2; }
[[ $# -eq 4 ]] || usage
bits="$1"; kind="$2"; zip="$3"; work="$4"
case "$bits" in 64) arch=x64 archs="x64 x86" ;; 32) arch=x86 archs=x86 ;; *) usage ;; esac
case "$kind" in
    machine) suffix="" root=HKLM options="" ;;
    user) suffix="-user" root=HKCU options="/n /i:user" ;;
    *) usage ;;
esac
name="$(basename "$zip" .zip)"
version="${name#vesk-}"; version="${version%-windows}"
package="$(dirname "$zip")/vesk-$version-$arch$suffix.msi"
[[ -f "$package" ]] || { echo "package: $package is missing; make dist makes it" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work"
if [[ "$kind" == machine ]]; then
    bash "$checkout/tests/bundle/run-client.sh" "$bits" "$zip" "$work/client" --build-only >/dev/null
    bundle="$work/client/$name"
else
    (cd "$work" && cmake -E tar xf "$zip")
    bundle="$work/$name"
fi
prefix="$work/prefix"
run() { "$checkout/tools/wine-run" --prefix "$prefix" --bits "$bits" "$@"; }
rows() { python3 "$checkout/tests/bundle/registry_rows.py" "$@"; }
source "$checkout/tests/bundle/scripts.sh"
fail() { echo "package: FAIL: $*" >&2; exit 1; }
# The classes keys exported, as STATE-HKLM.reg and STATE-HKCU.reg (all of HKCU\Software: a new
# prefix has no HKCU\Software\Classes until something writes there).
snapshot() {
    run reg export 'HKLM\Software\Classes' "Z:$work/$1-HKLM.reg" /y >/dev/null
    run reg export 'HKCU\Software' "Z:$work/$1-HKCU.reg" /y >/dev/null
}
# What changed from the clean prefix to STATE, with the DLLs at the paths after it.
changes() {
    rows written --file "$(IFS='|'; echo "${*:2}")" "$work/clean-HKLM.reg" "$work/$1-HKLM.reg" "$work/clean-HKCU.reg" "$work/$1-HKCU.reg"
}
# The roots of a file of rows.
roots() { cut -f1 "$1" | sort -u | xargs; }
# Rows of a file without the columns before FIELD, once each.
columns() { cut -f"$1"- "$2" | LC_ALL=C sort -u; }
same() {
    if ! diff -u "$2" "$3" >"$work/diff" 2>&1; then cat "$work/diff" >&2; fail "$1"; fi
    echo "package: $1"
}
# The folder of the DLL of ARCH as the package installs it, and the same below the prefix.
folder_of() {
    local folder="%ProgramFiles%\\Vesk"
    [[ "$1" == x86 && "$bits" == 64 ]] && folder="%ProgramFiles(x86)%\\Vesk"
    [[ "$kind" == machine ]] || folder="%LOCALAPPDATA%\\Vesk\\$1"
    run cmd /c echo "$folder" | tr -d '\r'
}
unix_path() { echo "$prefix/drive_c/$(tr '\\' / <<<"${1#C:\\}")"; }
# The registry's installations of Vesk, one name a line.
installations() {
    for hive in HKLM HKCU; do run reg query "$hive\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall" /s || true; done |
        tr -d '\r' | sed -n 's/^ *DisplayName *REG_SZ *\(Vesk .*\)/\1/p'
}

echo "package: $(basename "$package"), $bits-bit Wine, a prefix of its own"
register_archs="$archs" declared=""
if [[ "$bits" == 64 ]] && ! why="$("$checkout/tools/runs-32-bit")"; then
    echo "package: the 32-bit DLL's rows are held to those the package declares, the server's registration's: $why"
    register_archs=x64 declared=_x64
fi
cscript32() { run 'C:\windows\syswow64\cscript.exe' //nologo "$@"; }
# Wine's script hosts register their own type library when they first run; they do so before the
# clean state is taken, so that their entries are not taken for the package's.
echo "" >"$work/empty.js"
run cscript //nologo "Z:$work/empty.js"
[[ "$bits" == 32 || -n "$declared" ]] || cscript32 "Z:$work/empty.js"
snapshot clean

# 0. The tables, and the x86 package's refusal of 64-bit Windows.
other="$(dirname "$package")/vesk-$version-x86$suffix.msi"
rows tables "$package" "$bundle"
if [[ "$bits" == 64 ]]; then
    rows tables "$other" "$bundle"
    ! run msiexec /i "Z:$other" /qn /l*v "Z:$work/refused.log" || fail "the x86 package installed in a 64-bit prefix"
    # Wine logs a failed action's result as 0, and in silence no message text (the tables hold it).
    grep -q ": LaunchConditions. Return value 0" "$work/refused.log" || fail "the x86 package failed, not by its launch condition"
    snapshot refused
    same "the x86 package's launch condition refuses a 64-bit prefix, and it writes nothing" /dev/null <(changes refused x)
fi

# 1. What registration writes, and what the package declares.
declare -A dll folder
installed=() registered=()
for a in $archs; do
    dll[$a]="$(cd "$bundle/$a" && pwd)/Vesk.dll"
    folder[$a]="$(folder_of "$a")"
    installed+=("${folder[$a]}\\Vesk.dll")
done
# Each DLL with the regsvr32 of its bitness: in a 64-bit prefix, the 32-bit one's is in SysWOW64.
regsvr32() {
    local program=regsvr32
    [[ "$1" == x86 && "$bits" == 64 ]] && program='C:\windows\syswow64\regsvr32.exe'
    run "$program" /s "${@:2}" $options "Z:${dll[$1]}"
}
for a in $register_archs; do
    regsvr32 "$a" || fail "regsvr32 $options could not register the $a DLL"
    registered+=("Z:${dll[$a]//\//\\}")
done
snapshot registered
for a in $register_archs; do regsvr32 "$a" /u || fail "regsvr32 /u $options could not unregister the $a DLL"; done
changes registered "${registered[@]}" >"$work/registration.rows"
! grep '^removed' "$work/registration.rows" || fail "registration removed the values above"
rows package "$package" $declared >"$work/package.rows"
if [[ "$kind" == user ]]; then
    # Wine 8's RegisterTypeLibForUser registers machine-wide, so the roots of the two differ there.
    echo "package: regsvr32 $options wrote $(grep -c "^HKLM" "$work/registration.rows" || true) of its rows below HKLM" \
         "(Wine registers a type library per user machine-wide)"
fi
[[ "$(roots "$work/package.rows")" == "$root" ]] ||
    fail "the package writes below $(roots "$work/package.rows"), not $root alone"
# The registry views are compared where Wine keeps two: it keeps no 32-bit view of HKCU.
from=2
[[ "$kind" == machine ]] || from=3
same "the package declares the $(wc -l <"$work/package.rows") rows regsvr32${options:+ $options} writes for $register_archs" \
    <(columns "$from" "$work/registration.rows") <(columns "$from" "$work/package.rows")
[[ -z "$declared" ]] || rows package "$package" >"$work/package.rows"

# 2. The previous version, built here from the bundle's fragments around DLLs of that version, and
# replaced by the release's package.
old="$(awk -F. '{print ($3 ? $1 "." $2 "." $3 - 1 : $2 ? $1 "." $2 - 1 ".0" : $1 - 1 ".0.0")}' <<<"$version")"
cp -r "$bundle" "$work/old-bundle"
for a in $archs; do
    # The file and product versions in the version record's fixed part.
    python3 -c 'import struct, sys; d = bytearray(open(sys.argv[1], "rb").read()); M, m, p = map(int, sys.argv[2].split("."))
struct.pack_into("<4I", d, d.find(struct.pack("<I", 0xFEEF04BD)) + 8, *[M << 16 | m, p << 16] * 2); open(sys.argv[1], "wb").write(d)' \
        "$work/old-bundle/$a/Vesk.dll" "$old"
done
bash "$checkout/tools/make-packages.sh" "$old" "$work/old-bundle" "$work/old" "$arch$suffix"
run msiexec /i "Z:$work/old/vesk-$old-$arch$suffix.msi" /qn || fail "msiexec /i of $old failed"
for a in $archs; do cmp "$(unix_path "${folder[$a]}")/Vesk.dll" "$work/old-bundle/$a/Vesk.dll"; done
echo "package: $old, built with wixl from the bundle's fragments ($archs), installed"
run msiexec /i "Z:$package" /qn || fail "msiexec /i of $version over $old failed"
[[ "$(installations)" == "Vesk $version ($arch${suffix:+, current user})" ]] ||
    fail "after the upgrade to $version the installations are: $(installations | xargs)"
for a in $archs; do
    cmp "$(unix_path "${folder[$a]}")/Vesk.dll" "${dll[$a]}" || fail "the upgrade left ${folder[$a]}\\Vesk.dll of $old"
done
echo "package: $version replaced $old: one installation left, each DLL the bundle's ($archs)"

# 3. Installed and used.
notices="$(unix_path "${folder[$arch]}")"
[[ "$kind" == machine ]] || notices="$(dirname "$notices")"
cmp "$notices/THIRD-PARTY-NOTICES.txt" "$bundle/THIRD-PARTY-NOTICES.txt" && cmp "$notices/LICENSE.txt" "$bundle/LICENSE" ||
    fail "the notices and the licence are not installed"
snapshot installed
changes installed "${installed[@]}" >"$work/installed.rows"
[[ "$(roots "$work/installed.rows")" == "$root" ]] ||
    fail "msiexec wrote below $(roots "$work/installed.rows"), not $root alone"
same "msiexec wrote the declared rows below $root, naming ${installed[*]}, and the notices" \
    <(columns "$from" "$work/package.rows") <(columns "$from" "$work/installed.rows")
if [[ "$kind" == machine ]]; then
    run "$work/client/build/bundle_client.exe" registered "Z:$bundle/VeskLib.tlb" >"$work/client.log" ||
        { cat "$work/client.log"; fail "the bundle's client failed against the installed package"; }
    echo "package: $(tail -1 "$work/client.log")"
    use_from_scripts
    # A 32-bit process is served by the 32-bit DLL, through the rows of its view.
    [[ "$bits" == 32 || -n "$declared" ]] || { cscript32 "Z:$checkout/tests/system/scripts/enabler.js" 0 >/dev/null &&
        echo "package: a 32-bit script created the installed 32-bit enabler by ProgID and called it by name"; } ||
        fail "a 32-bit script could not use the installed 32-bit DLL"
fi

# 4. Removed.
run msiexec /x "Z:$package" /qn || fail "msiexec /x failed"
snapshot removed
changes removed "${installed[@]}" >"$work/removed.rows"
# The installer also deletes the parent keys it leaves empty, such as a shared key that was empty
# before; a value is never among them.
grep '^removed-key' "$work/removed.rows" | sed 's/^/package: note: msiexec \/x also deleted the empty key /' || true
same "msiexec /x left no key and no value of the server's" /dev/null <(grep -v '^removed-key' "$work/removed.rows")
! run reg query 'HKCU\Software\Vesk' >/dev/null 2>&1 || fail "msiexec /x left HKCU\\Software\\Vesk"
for a in $archs; do
    gone="$(unix_path "${folder[$a]}")"
    [[ "$kind" == machine ]] || gone="$(dirname "$gone")"
    [[ ! -e "$gone" ]] || fail "msiexec /x left $(find "$gone" | xargs)"
done
echo "package: msiexec /x left no file and no folder"
