#!/usr/bin/env bash
# Checks what Vesk.dll shows the world: exactly the expected exports, undecorated, and imports of
# system DLLs only. Prints the file size.
#   tools/check-dll.sh OBJDUMP DLL EXPORT...
set -euo pipefail
objdump="$1"; dll="$2"; shift 2
[ -f "$dll" ] || { echo "$dll is missing: build it first (make windows, make windows64)"; exit 1; }

exports=$("$objdump" -p "$dll" | awk '/\[Ordinal\/Name Pointer\] Table/{t=1; next} t && /^\t\[/{print $NF; next} t{t=0}' | sort)
expected=$(printf '%s\n' "$@" | sort)
if [ "$exports" != "$expected" ]; then
  echo "exports differ"; echo "expected:"; echo "$expected"; echo "found:"; echo "$exports"; exit 1
fi

system='^(KERNEL32|USER32|ADVAPI32|OLE32|OLEAUT32|MSVCRT|COMCTL32)\.DLL$'
status=0
while read -r name; do
  if ! echo "$name" | tr a-z A-Z | grep -Eq "$system"; then
    echo "imports a DLL that is not a system DLL: $name"; status=1
  fi
done < <("$objdump" -p "$dll" | awk '/DLL Name:/{print $3}')
[ $status -eq 0 ] || exit 1

echo "$("$objdump" -f "$dll" | grep -o 'file format .*')"
echo "exports: $(echo $exports)"
echo "imports: $("$objdump" -p "$dll" | awk '/DLL Name:/{printf "%s ", $3}')"
echo "size: $(stat -c %s "$dll") bytes"
