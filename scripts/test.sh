#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds the Linux program
# and both Windows programs, and runs every test with CTest.
set -euo pipefail
cd "$(dirname "$0")/.."

# Runs one CTest preset and adds its counts to the totals printed at the end.
passed=0
failed=0
run_ctest() {
  local log
  log=$(mktemp)
  local status=0
  ctest --preset "$1" -j2 2>&1 | tee "$log" || status=$?
  local total failures
  total=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -1)
  failures=$(sed -n 's/.*, \([0-9]*\) tests failed out of.*/\1/p' "$log" | tail -1)
  rm -f "$log"
  passed=$((passed + ${total:-0} - ${failures:-0}))
  failed=$((failed + ${failures:-0}))
  if [ "$status" -ne 0 ] || [ -z "$total" ]; then
    echo "test: ctest --preset $1 failed"
    echo "total: $passed passed, $((failed > 0 ? failed : 1)) failed"
    exit 1
  fi
}

scripts/setup.sh
scripts/build.sh native win64 win32
run_ctest native
# CTest lists a skipped wine_tier (the Windows program under Wine) without
# its reason; this says which tools were missing.
grep -h -m1 "Wine tier skipped:" build/native/Testing/Temporary/LastTest.log || true

# The same suite under AddressSanitizer and UBSan: the tests' children and
# the programs they run come from the same build, so they are checked too.
scripts/build.sh sanitize
run_ctest sanitize

# A short run of each fuzz target, where clang can link libFuzzer.
fuzzer_links() {
  local probe
  probe=$(mktemp)
  echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, unsigned long) { return 0; }' |
    clang++ -fsanitize=fuzzer -x c++ - -o "$probe" 2>/dev/null
  local status=$?
  rm -f "$probe"
  return $status
}
if command -v clang++ >/dev/null && fuzzer_links; then
  scripts/build.sh fuzz
  run_ctest fuzz
else
  echo "test: clang++ with libFuzzer not found; the fuzz smoke runs are skipped"
fi

echo "total: $passed passed, $failed failed"
