#!/usr/bin/env bash
# An installer package of the release, as an integrator's customer installs it, under Wine in a
# prefix of its own that starts clean:
#   1. the rows regsvr32 writes for the bundle's DLL (per user: regsvr32 /n /i:user) are the rows the
#      package declares: same keys, names and values, the file path aside (the drift check);
#   2. msiexec /i /qn installs the DLL (byte for byte the bundle's) where the kind says, and writes
#      exactly those rows, below HKLM (per machine) or HKCU (per user) alone;
#   3. per machine: the bundle's client and a script create the enabler by both ProgIDs and call it
#      by name; then a package of the next patch version, built here, replaces it (major upgrade)
#      and one installation is left. Per user, Wine 8 activates no per-user class, so the rows are
#      what is checked;
#   4. msiexec /x /qn leaves no key and no value of the server's and no file or folder.
#
#   tests/bundle/run-package.sh BITS machine|user ZIP WORK_DIR
#
# ZIP is the release bundle; the packages lie beside it, as make dist writes them.
set -euo pipefail

readonly checkout="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
usage() { echo "usage: run-package.sh BITS machine|user ZIP WORK_DIR" >&2; exit 2; }
[[ $# -eq 4 ]] || usage
bits="$1"; kind="$2"; zip="$3"; work="$4"
case "$bits" in 64) arch=x64 ;; 32) arch=x86 ;; *) usage ;; esac
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
# What changed from the clean prefix to STATE, with the DLL at PATH.
changes() {
    rows written --file "$2" "$work/clean-HKLM.reg" "$work/$1-HKLM.reg" "$work/clean-HKCU.reg" "$work/$1-HKCU.reg"
}
# The roots of a file of rows.
roots() { cut -f1 "$1" | sort -u | xargs; }
# Rows of a file without the columns before FIELD, once each.
columns() { cut -f"$1"- "$2" | LC_ALL=C sort -u; }
same() {
    if ! diff -u "$2" "$3" >"$work/diff" 2>&1; then cat "$work/diff" >&2; fail "$1"; fi
    echo "package: $1"
}

echo "package: $(basename "$package"), $bits-bit Wine, a prefix of its own"
# Wine's script host registers its own type library when it first runs; it does so before the clean
# state is taken, so that its entries are not taken for the package's.
echo "" >"$work/empty.js"
run cscript //nologo "Z:$work/empty.js"
snapshot clean

# 1. What registration writes, and what the package declares.
dll="$(cd "$bundle/$arch" && pwd)/Vesk.dll"
run regsvr32 /s $options "Z:$dll" || fail "regsvr32 $options could not register the bundle's DLL"
snapshot registered
run regsvr32 /s /u $options "Z:$dll" || fail "regsvr32 /u $options could not unregister it"
changes registered "Z:${dll//\//\\}" >"$work/registration.rows"
! grep '^removed' "$work/registration.rows" || fail "registration removed the values above"
rows package "$package" >"$work/package.rows"
if [[ "$kind" == user ]]; then
    # Wine 8's RegisterTypeLibForUser registers machine-wide, so the roots of the two differ there.
    echo "package: regsvr32 $options wrote $(grep -c "^HKLM" "$work/registration.rows" || true) of its rows below HKLM" \
         "(Wine registers a type library per user machine-wide)"
fi
[[ "$(roots "$work/package.rows")" == "$root" ]] ||
    fail "the package writes below $(roots "$work/package.rows"), not $root alone"
same "the package declares the $(wc -l <"$work/package.rows") rows regsvr32${options:+ $options} writes" \
    <(columns 2 "$work/registration.rows") <(columns 2 "$work/package.rows")

# 2. Installed.
if [[ "$kind" == machine ]]; then folder="$(run cmd /c echo %ProgramFiles% | tr -d '\r')\\Vesk"
else folder="$(run cmd /c echo %LOCALAPPDATA% | tr -d '\r')\\Vesk\\$arch"; fi
unix_folder="$prefix/drive_c/$(tr '\\' / <<<"${folder#C:\\}")"
run msiexec /i "Z:$package" /qn || fail "msiexec /i failed"
cmp "$unix_folder/Vesk.dll" "$dll" || fail "the installed $folder\\Vesk.dll is not the bundle's"
snapshot installed
changes installed "$folder\\Vesk.dll" >"$work/installed.rows"
[[ "$(roots "$work/installed.rows")" == "$root" ]] ||
    fail "msiexec wrote below $(roots "$work/installed.rows"), not $root alone"
# The registry views are compared where Wine keeps two: it keeps no 32-bit view of HKCU.
from=2
[[ "$kind" == machine ]] || from=3
same "msiexec wrote those rows below $root, naming $folder\\Vesk.dll" \
    <(columns "$from" "$work/registration.rows") <(columns "$from" "$work/installed.rows")

# 3. Used, and replaced by the next version.
if [[ "$kind" == machine ]]; then
    run "$work/client/build/bundle_client.exe" registered "Z:$bundle/VeskLib.tlb" >"$work/client.log" ||
        { cat "$work/client.log"; fail "the bundle's client failed against the installed package"; }
    echo "package: $(tail -1 "$work/client.log")"
    use_from_scripts
    next="$(echo "$version" | awk -F. '{print $1 "." $2 "." $3 + 1}')"
    bash "$checkout/tools/make-packages.sh" "$next" "$bundle" "$work/next" "$arch" >/dev/null
    package="$work/next/vesk-$next-$arch.msi"
    run msiexec /i "Z:$package" /qn || fail "msiexec /i of $next over $version failed"
    installations="$(run reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s |
        tr -d '\r' | sed -n 's/^ *DisplayName *REG_SZ *\(Vesk .*\)/\1/p')"
    [[ "$installations" == "Vesk $next ($arch)" ]] ||
        fail "after the upgrade to $next the installations are: ${installations:-none}"
    snapshot upgraded
    same "$next replaced $version: one installation left, with the same rows" \
        <(changes installed "$folder\\Vesk.dll") <(changes upgraded "$folder\\Vesk.dll")
fi

# 4. Removed.
run msiexec /x "Z:$package" /qn || fail "msiexec /x failed"
snapshot removed
changes removed "$folder\\Vesk.dll" >"$work/removed.rows"
# The installer also deletes the parent keys it leaves empty, such as a shared key that was empty
# before; a value is never among them.
grep '^removed-key' "$work/removed.rows" | sed 's/^/package: note: msiexec \/x also deleted the empty key /' || true
same "msiexec /x left no key and no value of the server's" /dev/null <(grep -v '^removed-key' "$work/removed.rows")
# Per user, the folder Vesk holding the bitness's folder goes too.
gone="$unix_folder"
[[ "$kind" == machine ]] || gone="$(dirname "$unix_folder")"
[[ ! -e "$gone" ]] || fail "msiexec /x left $(find "$gone" | xargs)"
echo "package: msiexec /x left no file and no folder"
