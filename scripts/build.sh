#!/usr/bin/env bash
# Configures and builds the given presets (default: all three), one job per
# core.
set -euo pipefail
cd "$(dirname "$0")/.."
presets=("$@")
if [ ${#presets[@]} -eq 0 ]; then
  presets=(native win64 win32)
fi
for preset in "${presets[@]}"; do
  echo "== building $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -- -j"$(nproc)" --quiet
done
