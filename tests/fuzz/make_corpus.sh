#!/usr/bin/env bash
# Writes the seed corpora of the fuzz targets into corpus/<target>/. The
# files are committed; run this again only to change the seeds.
set -euo pipefail
cd "$(dirname "$0")"
rm -rf corpus
mkdir -p corpus/archive corpus/config corpus/wine_registry corpus/wine_path

# A 32-bit little-endian number.
le32() {
  printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $(($1 >> 8 & 255)))"
  printf "\\x$(printf %02x $(($1 >> 16 & 255)))\\x$(printf %02x $(($1 >> 24 & 255)))"
}

# fff_archive NAME DATA [NAME DATA...]: an FFF archive, data behind the
# directory, on standard output.
fff_archive() {
  local count=$(($# / 2)) offset i name data
  printf 'FFF seed archive\0\0\0\0\0\0\0\0'
  le32 $((count * 136))
  offset=$((28 + count * 136))
  local args=("$@")
  for ((i = 0; i < ${#args[@]}; i += 2)); do
    name=${args[i]}
    data=${args[i + 1]}
    printf '%s' "$name"
    head -c $((128 - ${#name})) /dev/zero
    le32 $offset
    le32 ${#data}
    offset=$((offset + ${#data}))
  done
  for ((i = 1; i < ${#args[@]}; i += 2)); do printf '%s' "${args[i]}"; done
}

a=corpus/archive
fff_archive Cfg/Menu.cfg $'[Version]\r\nversion=v1.1\r\n' Data/level1.map level > $a/game
fff_archive /Gravelhorn_d3d.exe 'MZ d3d' /Patch_eng.cod 'eng patch' > $a/patch
fff_archive > $a/empty
fff_archive one 1 > $a/one
# A member that runs past the end, and a directory longer than the file.
{ fff_archive big 0123456789 | head -c 170; } > $a/cut_member
{ head -c 24 /dev/zero; le32 4294967295; } > $a/huge_directory
# A name that fills its whole field, then one looked up from the tail.
{ fff_archive "$(printf 'n%.0s' {1..128})" x; printf 'Cfg\\Menu.cfg'; } > $a/full_name

c=corpus/config
printf 'Version\nversion\n\n[Menu]\r\nversion=0\r\n[Version]\r\nversion=v1.1\r\n' > $c/menu
printf 'Version\nversion\n\n[Version]\nversion=v1.0\n' > $c/line_feeds
printf 'Version\nVersion\n\n[Version]\r\nVersion=v1.1' > $c/no_line_end
printf 'Version\nversion\n\n[Version]\r\n\0version=v1.1\r\n' > $c/zero_byte
printf 'Menu\nkey\nC:\\Games\\GHR\\Cfg\\Menu.cfg\n[Menu] [x]key=a[b]\r\n' > $c/other_file
printf 'Version\nversion\nMissing.cfg\n' > $c/missing_file

r=corpus/wine_registry
reg_head=$'WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n'
{ printf 'Software\\Quillfern\\GHR\nInstallpath\n%s' "$reg_head"
  printf '[Software\\\\Wow6432Node\\\\Quillfern\\\\GHR] 1796580337\n#time=1da2b3c4d5e6f71\n'
  printf '"Installpath"="C:\\\\Games\\\\GHR"\n"Language"="eng"\n'; } > $r/win64
{ printf 'Software\\Quillfern\\GHR\nLanguage\nWINE REGISTRY Version 2\n\n'
  printf '[Software\\\\Quillfern\\\\GHR] 1796580337\n"Language"=str:"d\\xe9\\u"\n'; } > $r/escapes
{ printf 'Key\nBlob\nWINE REGISTRY Version 2\n\n[Key] 1\n'
  printf '"Blob"=hex:01,02,\\\n  03,04\n"Number"=dword:0000002a\n'
  printf '"Text"=hex(2):43,00,3a,00,00,00\n'; } > $r/binary
{ printf 'K\nLanguage\nWINE REGISTRY Version 2\n\n[K] 1\n"Language"=dword:00726567\n'; } > $r/dword_language
printf 'K\n\n[K] 1\n@="default"\n"\\x00e9t\\303\\251"="caf\xc3\xa9"\n' > $r/default_value

p=corpus/wine_path
printf 'C:\\Games\\GHR\\Cfg\\Menu.cfg' > $p/drive
printf '\\Games\\ghr\\data\\level1.MAP' > $p/root_of_drive
printf '..\\..\\..\\Games\\GHR\\\\DATA.bin' > $p/climb
printf 'Cfg/./../Cfg/menu.cfg' > $p/relative
printf 'd:new\\file.txt' > $p/other_drive
