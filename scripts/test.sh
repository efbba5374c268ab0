#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds the Linux program
# and both Windows programs, and runs every test with CTest.
set -euo pipefail
cd "$(dirname "$0")/.."

# Adds the counts of a CTest log to the totals printed at the end; stops
# the run when the log shows a failure.
passed=0
failed=0
count_ctest() {  # LOG STATUS NAME
  local total failures
  total=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$1" | tail -1)
  failures=$(sed -n 's/.*, \([0-9]*\) tests failed out of.*/\1/p' "$1" | tail -1)
  passed=$((passed + ${total:-0} - ${failures:-0}))
  failed=$((failed + ${failures:-0}))
  if [ "$2" -ne 0 ] || [ -z "$total" ]; then
    echo "test: $3 failed"
    echo "total: $passed passed, $((failed > 0 ? failed : 1)) failed"
    exit 1
  fi
}
run_ctest() {  # PRESET [CTEST ARGUMENTS...]
  local log status=0
  log=$(mktemp)
  ctest --preset "$@" -j2 2>&1 | tee "$log" || status=$?
  count_ctest "$log" "$status" "ctest --preset $*"
  rm -f "$log"
}

scripts/setup.sh
scripts/build.sh native win64 win32

# CTest lists a GoogleTest program's tests by running it, and writes the
# list into the build; two CTest runs that start together on a fresh build
# can read it half-written and run only a few tests. So it is listed once
# here, before the two runs below share the build, and the count is kept.
native_tests=$(ctest --preset native -N -E '^wine_tier$' | sed -n 's/^Total Tests: //p')

# The Windows program under Wine mostly waits on Wine and on its boxes, so
# it runs beside the rest of the suite and the other builds.
wine_log=$(mktemp)
ctest --preset native -R '^wine_tier$' --verbose >"$wine_log" 2>&1 &
wine_tier=$!
passed_before=$passed
run_ctest native -E '^wine_tier$'
if [ $((passed - passed_before)) -ne "${native_tests:-0}" ] || [ "${native_tests:-0}" -lt 50 ]; then
  echo "test: the native suite ran $((passed - passed_before)) tests of ${native_tests:-0} listed"
  echo "total: $passed passed, 1 failed"
  exit 1
fi

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

wine_status=0
wait "$wine_tier" || wine_status=$?
# Its summary, and why it was skipped if it was (CTest alone does not say).
sed -n '/tests passed\|tests failed/,$p' "$wine_log"
grep -h -m1 "Wine tier skipped:" "$wine_log" || true
count_ctest "$wine_log" "$wine_status" "the Wine tier"
rm -f "$wine_log"

echo "total: $passed passed, $failed failed"
