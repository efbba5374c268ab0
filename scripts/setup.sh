#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build, the demo and the
# tests need and this machine lacks. Safe to run again: it installs nothing
# that is already there. Package names given as arguments are wanted too
# (bench/run.sh asks for its tools this way).
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64
  # xmllint reads the Windows programs' manifests in their tests.
  libxml2-utils
  file
  # The Linux program is stopped at each step of replacing a file under strace.
  strace
  # localedef's locale sources: tests compile the locales they run under.
  locales
  clang libclang-rt-14-dev
  # The format and static checks.
  clang-format clang-tidy
  # The Wine tier: 64-bit Wine only (this kernel runs no 32-bit programs,
  # so never wine32 or the wine package), a virtual display, and input
  # and screenshots on it.
  wine64 xvfb xdotool imagemagick
  # scripts/sign.sh, and the throwaway certificate its test makes.
  osslsigncode openssl
)
packages+=("$@")

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed"; then
    missing+=("$package")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
