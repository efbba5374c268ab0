#!/usr/bin/env bash
# Checks that a Windows program is a GUI-subsystem executable that imports
# only system DLLs (no libstdc++, libgcc or winpthread beside it).
set -euo pipefail
exe="$1"
if [ ! -f "$exe" ]; then
  echo "missing $exe: build the win64 and win32 presets first" >&2
  exit 1
fi
dump=$(x86_64-w64-mingw32-objdump -p "$exe")
if ! grep -q 'Subsystem.*(Windows GUI)' <<<"$dump"; then
  echo "$exe is not a GUI-subsystem program" >&2
  exit 1
fi
allowed='^(KERNEL32|USER32|ADVAPI32|msvcrt)\.dll$'
status=0
while read -r dll; do
  echo "$exe imports $dll"
  if ! grep -Eiq "$allowed" <<<"$dll"; then
    echo "$exe imports $dll, which is not a system DLL" >&2
    status=1
  fi
done < <(sed -n 's/^\s*DLL Name: //p' <<<"$dump")
exit $status
