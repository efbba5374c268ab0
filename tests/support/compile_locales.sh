#!/usr/bin/env bash
# The CTest fixture "locales": compiles the locales the tests run under,
# once for the whole suite, into FOLDER/<locale>, where the tests find them
# through GRAVELHORN_TEST_LOCALES (CompiledLocale).
#   compile_locales.sh FOLDER LOCALE...
# What an earlier run compiled with the same glibc is kept. A locale that
# localedef cannot compile (the package locales is missing) is left out and
# the run still passes: the tests that need it say why they skip.
set -uo pipefail
folder=$1
shift
glibc=$(getconf GNU_LIBC_VERSION)
[ "$(cat "$folder/glibc" 2>/dev/null)" = "$glibc" ] || rm -rf "$folder"
mkdir -p "$folder" && echo "$glibc" >"$folder/glibc" || exit 1
export LC_ALL=C
for name in "$@"; do
  [ -f "$folder/$name/LC_CTYPE" ] && continue
  # Into a folder of its own first, so that a run cut short leaves no half.
  (rm -rf "$folder/$name" "$folder/$name.new" &&
    localedef -i "${name%%.*}" -f "${name#*.}" "$folder/$name.new" >/dev/null 2>&1 &&
    mv "$folder/$name.new" "$folder/$name" || rm -rf "$folder/$name.new") &
done
wait
compiled="" missing=""
for name in "$@"; do
  if [ -f "$folder/$name/LC_CTYPE" ]; then compiled+=" $name"; else missing+=" $name"; fi
done
echo "locales in $folder:$compiled"
[ -z "$missing" ] || echo "localedef could not compile:$missing (package locales); their tests skip"
exit 0
