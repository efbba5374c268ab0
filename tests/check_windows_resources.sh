#!/usr/bin/env bash
# Checks the manifest and version information inside a Windows program:
# patch_installer.exe asks to be elevated, is DPI aware and uses Common
# Controls 6; fff.exe runs as its invoker; both name Windows 7 to 11 and
# carry the product's name and version.
set -euo pipefail
exe="$1"
name=$(basename "$exe")
if [ ! -f "$exe" ]; then
  echo "missing $exe: build the win64 and win32 presets first" >&2
  exit 1
fi
if ! resources=$(x86_64-w64-mingw32-windres -i "$exe" -O rc 2>&1); then
  echo "$exe has no readable resources: $resources" >&2
  exit 1
fi

status=0
fail() {
  echo "$exe: $*" >&2
  status=1
}

case "$name" in
  patch_installer.exe)
    level=requireAdministrator
    # The catalogue's languages with their code pages: English, Hungarian
    # (1250), French, German, Spanish, Italian.
    translations='0x409, 1252, 0x40e, 1250, 0x40c, 1252, 0x407, 1252, 0xc0a, 1252, 0x410, 1252' ;;
  fff.exe) level=asInvoker translations='0x409, 1252' ;;
  *) echo "$exe: no expected resources for $name" >&2; exit 1 ;;
esac

# The version information, as windres prints it.
version_lines=(
  'FILEVERSION 1, 2, 0, 0'
  'PRODUCTVERSION 1, 2, 0, 0'
  'FILETYPE 0x1'
  'BLOCK "040904E4"'
  'VALUE "CompanyName", "Quillfern"'
  'VALUE "FileVersion", "1.2"'
  'VALUE "ProductName", "Gravelhorn Patch Installer"'
  'VALUE "ProductVersion", "1.2"'
  "VALUE \"OriginalFilename\", \"$name\""
  "VALUE \"Translation\", $translations"
)
trimmed=$(sed 's/^[[:space:]]*//' <<<"$resources")
for line in "${version_lines[@]}"; do
  grep -Fxq -- "$line" <<<"$trimmed" || fail "version information lacks: $line"
done
grep -q '^VALUE "FileDescription", ".' <<<"$trimmed" || fail "version information has no FileDescription"

# The manifest (type 24): windres prints it as quoted pieces with "" for a
# quote and \n for a line end.
manifest=$(mktemp)
trap 'rm -f "$manifest"' EXIT
pieces=$(awk '/^1 24 /{inside=1; next} inside && /^END/{exit}
  inside && /^[[:space:]]*"/{sub(/^[[:space:]]*"/, ""); sub(/"$/, ""); printf "%s", $0}' \
  <<<"$resources")
printf '%b' "${pieces//\"\"/\"}" >"$manifest"
if [ ! -s "$manifest" ]; then
  fail "has no manifest"
  exit 1
fi
# Windows refuses to start a program whose manifest is not well-formed.
if ! errors=$(xmllint --noout "$manifest" 2>&1); then
  fail "manifest is not well-formed XML: $errors"
  exit 1
fi

# Prints the values an XPath expression selects, separated by spaces.
values() {
  { xmllint --xpath "$1" "$manifest" 2>/dev/null || true; } |
    sed 's/^ *[A-Za-z]*="\(.*\)"$/\1/' | paste -sd ' '
}
element() {  # element NAMESPACE LOCAL-NAME
  echo "//*[namespace-uri()='$1' and local-name()='$2']"
}
security=urn:schemas-microsoft-com:asm.v3
compatibility=urn:schemas-microsoft-com:compatibility.v1
settings2005=http://schemas.microsoft.com/SMI/2005/WindowsSettings
settings2016=http://schemas.microsoft.com/SMI/2016/WindowsSettings
assembly=urn:schemas-microsoft-com:asm.v1

# Windows 7, 8, 8.1, and 10 and 11, in that order.
supported_os='{35138b9a-5d96-4fbd-8e2d-a2440225f93a} {4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}'
supported_os+=' {1f676c76-80e1-4239-95bb-83d0f6d0da78} {8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}'
common_controls="$(element $assembly dependentAssembly)/*[@name='Microsoft.Windows.Common-Controls']"

# Rows: what, XPath, expected values.
checks=(
  "execution level|$(element $security requestedExecutionLevel)/@level|$level"
  "supported Windows versions|$(element $compatibility supportedOS)/@Id|$supported_os"
)
if [ "$name" = patch_installer.exe ]; then
  checks+=(
    "DPI awareness|$(element $settings2005 dpiAware)/text()|true/pm"
    "DPI awareness (Windows 10)|$(element $settings2016 dpiAwareness)/text()|PerMonitorV2, PerMonitor"
    "Common Controls version|$common_controls/@version|6.0.0.0"
    "Common Controls key|$common_controls/@publicKeyToken|6595b64144ccf1df"
    "Common Controls type|$common_controls/@type|win32"
  )
fi
for row in "${checks[@]}"; do
  IFS='|' read -r what xpath expected <<<"$row"
  actual=$(values "$xpath")
  if [ "$actual" != "$expected" ]; then
    fail "manifest's $what is '$actual', expected '$expected'"
  else
    echo "$exe: $what $actual"
  fi
done
exit $status
