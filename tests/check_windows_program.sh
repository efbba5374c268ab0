#!/usr/bin/env bash
# Checks a built Windows program: its subsystem, that it is large address
# aware, that it imports only system DLLs (no libstdc++, libgcc or
# winpthread beside it), its manifest and its version information.
#   check_windows_program.sh build/win64/patch_installer.exe
set -euo pipefail
exe=$1 name=$(basename "$1") status=0
# Exit code 77 tells CTest that the check was skipped, not failed.
[ -f "$exe" ] || { echo "skipped: $exe is not built (scripts/build.sh win64 win32 builds it)"; exit 77; }
fail() { echo "$exe: $*" >&2; status=1; }
expect() {  # TEXT LINE...: each LINE occurs in TEXT as a whole line, blanks trimmed
  local text line && text=$(sed 's/^[[:space:]]*//; s/[[:space:]]*$//' <<<"$1") && shift
  for line in "$@"; do grep -Fxq -- "$line" <<<"$text" || fail "lacks: $line"; done
}

dump=$(x86_64-w64-mingw32-objdump -p "$exe")
others=$(sed -n 's/^\s*DLL Name: //p' <<<"$dump" | grep -Eiv '^(KERNEL32|USER32|ADVAPI32|msvcrt)\.dll$') &&
  fail "imports $(echo $others), not only system DLLs"

case $name in
  patch_installer.exe)
    subsystem='Windows GUI' level=requireAdministrator
    # The catalogue's languages, as windres prints them: "0x409, 1252, ...".
    translations=$(sed -n 's/^ *LANGUAGE("[^"]*", *0x0*\([0-9A-Fa-f]*\), *\([0-9]*\)).*/0x\L\1\E, \2/p' \
      "$(dirname "$0")/../installer/catalogue_languages.h" | paste -sd'|' | sed 's/|/, /g') ;;
  fff.exe) subsystem='Windows CUI' level=asInvoker translations='0x409, 1252' ;;
  *) fail "no checks for $name"; exit 1 ;;
esac
grep -q "Subsystem.*($subsystem)" <<<"$dump" || fail "is not a $subsystem program"
# 4 GiB of address space for the 32-bit programs under 64-bit Windows, as
# the 64-bit ones have by default.
grep -Eq '^\s*large address aware$' <<<"$dump" || fail "is not large address aware"

resources=$(x86_64-w64-mingw32-windres -i "$exe" -O rc 2>&1) || { fail "has no resources: $resources"; exit 1; }
expect "$resources" 'FILEVERSION 1, 2, 0, 0' 'PRODUCTVERSION 1, 2, 0, 0' 'BLOCK "040904E4"' \
  'VALUE "CompanyName", "Quillfern"' 'VALUE "FileVersion", "1.2"' 'VALUE "ProductVersion", "1.2"' \
  'VALUE "ProductName", "Gravelhorn Patch Installer"' "VALUE \"OriginalFilename\", \"$name\"" \
  "VALUE \"Translation\", $translations"
grep -q 'VALUE "FileDescription", ".' <<<"$resources" || fail "has no file description"

# The manifest (type 24), which windres prints as quoted pieces with "" for
# a quote and \n for a line end. Windows refuses to start a program whose
# manifest is not well-formed XML.
pieces=$(awk '/^1 24 /{inside=1; next} inside && /^END/{exit}
  inside && /^[[:space:]]*"/{sub(/^[[:space:]]*"/, ""); sub(/"$/, ""); printf "%s", $0}' <<<"$resources")
manifest=$(printf '%b' "${pieces//\"\"/\"}")
xmllint --noout - <<<"$manifest" 2>/dev/null || fail "has no well-formed manifest"
# Its elements one a line, each from its name to the next "<", blanks
# squeezed (attributes may span lines).
elements=$(tr -s ' \n' ' ' <<<"$manifest" | tr '<' '\n')
expect "$elements" "requestedExecutionLevel level=\"$level\" uiAccess=\"false\"/>" \
  'supportedOS Id="{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"/>' 'supportedOS Id="{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"/>' \
  'supportedOS Id="{1f676c76-80e1-4239-95bb-83d0f6d0da78}"/>' 'supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>'
# The installer is DPI aware, per monitor, and uses Common Controls 6.
[ "$name" != patch_installer.exe ] || expect "$elements" \
  'dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true/pm' \
  'dpiAwareness xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">PerMonitorV2, PerMonitor' \
  'assemblyIdentity type="win32" name="Microsoft.Windows.Common-Controls" version="6.0.0.0" processorArchitecture="*" publicKeyToken="6595b64144ccf1df" language="*"/>'
exit $status
