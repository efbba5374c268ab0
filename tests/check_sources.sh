#!/usr/bin/env bash
# The house's habits, as CTest tests:
#   check_sources.sh layers SOURCE_DIR
#     every include follows the layers (platform <- filesystem <- config <-
#     installer <- programs);
#   check_sources.sh format SOURCE_DIR
#     every C++ file is as clang-format (.clang-format) lays it out;
#   check_sources.sh tidy SOURCE_DIR NATIVE_BUILD WIN64_BUILD
#     clang-tidy (.clang-tidy) finds nothing in the product's sources: the
#     Linux ones with the native build's compile commands, the Windows ones
#     with the win64 build's, where that build is there.
# Exit code 77 tells CTest that the check was skipped, and why.
set -uo pipefail
mode=$1 source=$2
cd "$source" || exit 1
# BUILD FOLDER...: clang-tidy, with the arguments in extra, on the .cc files directly in each
# folder, without its counts of hidden warnings.
tidy() {
  local build=$1 && shift
  find "$@" -maxdepth 1 -type f -name '*.cc' | sort |
    xargs -P2 -n6 clang-tidy -p "$build" --quiet "${extra[@]}" 2>&1 |
    grep -v '^[0-9]* warnings\? generated\.$'
  return "${PIPESTATUS[2]}"
}
case $mode in
  layers)
    # Each folder includes only its own headers and those of the layers
    # below it: platform <- filesystem <- config <- installer <- programs,
    # and no program another program's.
    status=0
    while read -r file; do
      case $file in
        platform/*) allowed='platform' ;;
        filesystem/*) allowed='platform|filesystem' ;;
        config/*) allowed='platform|filesystem|config' ;;
        installer/*) allowed='platform|filesystem|config|installer' ;;
        programs/*/*) program=${file#programs/} program=${program%%/*}
          allowed="platform|filesystem|config|installer|programs/$program|programs/product_version\.h" ;;
        *) continue ;;
      esac
      if against=$(grep -nE '^#include "' "$file" | grep -vE "^[0-9]+:#include \"($allowed)[/\"]"); then
        echo "$file: an include against the layers: $against"
        status=1
      fi
    done < <(find platform filesystem config installer programs -type f \( -name '*.cc' -o -name '*.h' -o -name '*.rc' \))
    [ $status -eq 0 ] && echo "every include follows the layers"
    exit $status
    ;;
  format)
    command -v clang-format >/dev/null ||
      { echo "skipped: clang-format not found (scripts/setup.sh installs it)"; exit 77; }
    find config filesystem installer platform programs tests bench scripts -type f \
      \( -name '*.cc' -o -name '*.h' \) -print0 | xargs -0 clang-format --dry-run --Werror || exit 1
    echo "every C++ file as clang-format lays it out"
    ;;
  tidy)
    native=$3 win64=$4
    command -v clang-tidy >/dev/null ||
      { echo "skipped: clang-tidy not found (scripts/setup.sh installs it)"; exit 77; }
    status=0 extra=()
    tidy "$native" config filesystem installer platform platform/wine programs/linux programs/fff \
      programs/fff/posix || status=1
    if [ -f "$win64/compile_commands.json" ]; then
      # clang finds mingw-w64's C headers by the target, its C++ ones not.
      while read -r folder; do extra+=("--extra-arg=-isystem$folder"); done < <(
        echo | x86_64-w64-mingw32-g++-posix -E -x c++ - -v 2>&1 |
          sed -n 's|^ \(/.*/include/c++[^ ]*\)$|\1|p')
      tidy "$win64" platform/win32 programs/windows programs/fff/win32 || status=1
    else
      echo "the Windows sources were not checked: $win64 is not built (scripts/build.sh win64)"
    fi
    exit $status
    ;;
esac
