#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds the Linux program
# and both Windows programs, and runs every test with CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh native win64 win32
ctest --preset native -j2
