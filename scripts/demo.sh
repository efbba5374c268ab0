#!/usr/bin/env bash
# The demo: builds everything, lays out a sample game in a Wine-style prefix
# under build/demo, builds a sample Patch.dat with the fff tool, and patches
# the game with the Linux program from the patch's folder.
#
#   scripts/demo.sh [LANGUAGE]      LANGUAGE, or $DEMO_LANGUAGE: the game's
#                                   registry language code (default eng)
set -euo pipefail
cd "$(dirname "$0")/.."
language="${1:-${DEMO_LANGUAGE:-eng}}"

scripts/setup.sh
scripts/build.sh native win64 win32

root=$PWD
fff=$root/build/native/fff
installer=$root/build/native/patch_installer
make_sample=$root/build/native/bench/make_sample
demo=$root/build/demo
prefix=$demo/prefix
game=$prefix/drive_c/Games/Gravelhorn
patch=$prefix/drive_c/Patch
staging=$demo/staging

rm -rf "$demo"
mkdir -p "$prefix/dosdevices" "$game" "$patch" "$staging"
ln -s ../drive_c "$prefix/dosdevices/c:"
ln -s / "$prefix/dosdevices/z:"

# HKEY_LOCAL_MACHINE as Wine writes it; the game's 32-bit setup registered
# under Wow6432Node.
cat > "$prefix/system.reg" <<REG
WINE REGISTRY Version 2
;; All keys relative to \\\\Machine

#arch=win64

[Software\\\\Wow6432Node\\\\Quillfern\\\\GHR] 1796580337
#time=1da2b3c4d5e6f71
"Installpath"="C:\\\\Games\\\\Gravelhorn"
"Language"="$language"
REG

# The installed game, version v1.1, with its executables and three archives.
mkdir -p "$staging/game/Cfg" "$staging/game/Maps" "$staging/game/Text"
printf '[Menu]\r\nresolution=800x600\r\n[Version]\r\nversion=v1.1\r\n' > "$staging/game/Cfg/Menu.cfg"
printf 'sample level\n' > "$staging/game/Maps/level01.map"
printf 'sample texts\n' > "$staging/game/Text/menu.txt"
"$fff" create "$game/Game.cod" -C "$staging/game" Cfg/Menu.cfg Maps/level01.map
"$fff" create "$game/Language.cod" -C "$staging/game" Text/menu.txt
"$fff" create "$game/Patch12.cod" -C "$staging/game" Maps/level01.map
# The game's executables: the edition's that the language code selects, as
# the installer would install them (all but the language archive).
while read -r member game_file; do
  if [ "$game_file" != Patch12.cod ]; then
    printf 'MZ sample %s v1.1\n' "$game_file" > "$game/$game_file"
  fi
done < <("$make_sample" installed-files "$language")

# The patch: every member of the sample Patch.dat, executables as small
# stand-ins and each language archive with its own menu and texts.
members=()
while read -r member; do
  file=${member#/}
  code=${file#Patch_}
  code=${code%.cod}
  if [ "$code" = "$file" ]; then
    printf 'MZ sample %s v1.2\n' "$file" > "$staging/$file"
  else
    mkdir -p "$staging/lang_$code/Cfg" "$staging/lang_$code/Text"
    printf '[Version]\r\nversion=v1.2\r\n' > "$staging/lang_$code/Cfg/Menu.cfg"
    printf 'texts in %s\n' "$code" > "$staging/lang_$code/Text/menu.txt"
    "$fff" create "$staging/$file" -C "$staging/lang_$code" Cfg/Menu.cfg Text/menu.txt
  fi
  members+=("$member=$file")
done < <("$make_sample" patch-members)
"$fff" create "$patch/Patch.dat" -C "$staging" "${members[@]}"

snapshot() {
  (cd "$game" && for f in *; do
     printf '%-24s %6s bytes  %s\n' "$f" "$(stat -c %s "$f")" "$(sha256sum "$f" | cut -c1-16)"
   done)
}

echo
echo "== Sample game in $game (Language \"$language\"):"
snapshot | tee "$demo/before.txt"
echo
echo "== Patch.dat:"
"$fff" list "$patch/Patch.dat"
echo
echo "== fff check --patch, the publisher's gate before shipping:"
"$fff" check --patch "$patch/Patch.dat" 2>&1
echo
echo "== Running the installer from $patch:"
set +e
(cd "$patch" && "$installer" --prefix "$prefix" </dev/null)
status=$?
set -e
echo "== Exit code: $status"
echo
echo "== The game folder now (changed files marked *):"
snapshot > "$demo/after.txt"
while IFS= read -r line; do
  if grep -qxF "$line" "$demo/before.txt"; then echo "  $line"; else echo "* $line"; fi
done < "$demo/after.txt"
