#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds the Linux program
# and both Windows programs, and runs every test with CTest. It ends with
# the time of each stage, every test that was skipped and why, and the
# totals.
set -euo pipefail
cd "$(dirname "$0")/.."

passed=0
failed=0
stages=()   # a line for each, with its times
skipped=()  # "test: reason"
jobs=$(nproc)
# Every CTest run's verbose output, kept for reading afterwards.
logs=build/test-logs
rm -rf "$logs" && mkdir -p "$logs"
groups=()  # the process groups of the CTest runs beside the rest
# The times, the skipped tests and the totals; a CTest run still going on
# beside is stopped with all its processes.
finish() {  # FAILED
  local group
  for group in "${groups[@]}"; do kill -KILL -- "-$group" 2>/dev/null || true; done
  echo
  echo "== stage times (load average now: $(cut -d' ' -f1-3 /proc/loadavg))"
  printf '  %s\n' "${stages[@]}"
  printf '  %-32s %4d s  (CPU %4d s)\n' "the whole command" $SECONDS "$(cpu)"
  echo "== skipped tests: ${#skipped[@]}"
  if [ ${#skipped[@]} -gt 0 ]; then printf '  SKIPPED %s\n' "${skipped[@]}"; fi
  echo "(CTest's output of every test: $logs/)"
  echo "total: $passed passed, $1 failed"
  [ "$1" -eq 0 ] || exit 1
}
# The CPU seconds of this shell's finished children: what a stage costs,
# whatever else the machine is doing.
cpu() { awk -v hz="$(getconf CLK_TCK)" '{ printf "%d", ($16 + $17) / hz }' /proc/$$/stat; }
stage() {  # NAME START_SECONDS START_CPU [NOTE]: the stage begun then has ended
  stages+=("$(printf '%-32s %4d s  (CPU %4d s) %s' "$1" $((SECONDS - $2)) $(($(cpu) - $3)) "${4:-}")")
}
build() {  # PRESET [TARGET]
  local start=$SECONDS start_cpu
  start_cpu=$(cpu)
  if [ $# -eq 1 ]; then
    scripts/build.sh "$1"
  else
    echo "== building $1 ($2)"
    cmake --preset "$1" >/dev/null && cmake --build --preset "$1" --target "$2" -- -j"$jobs" --quiet
  fi
  stage "build $1${2:+ ($2)}" "$start" "$start_cpu"
}

# In CTest's verbose log each test's lines begin "N: ", N being its number.
# Notes every skipped test with the reason it gave: the line after gtest's
# "Skipped", or else its first line that says skipped. A test CTest ran
# as a whole (the Wine tier's shards) may have skipped gtest tests inside.
note_skipped() {  # LOG
  local line
  while IFS= read -r line; do skipped+=("$line"); done < <(awk '
    /^The following tests did not run:/ { listing = 1; next }
    listing && /^\t/ { sub(/^\t */, ""); n = $1; sub(/^[0-9]+ - /, ""); sub(/ \([A-Za-z ]+\)$/, "")
                       name[n] = $0; order[++count] = n; next }
    { listing = 0 }
    match($0, /^[0-9]+: /) {
      n = substr($0, 1, RLENGTH - 2); text = substr($0, RLENGTH + 1)
      if (after[n]) { reason[n] = text; if (!(n in first)) first[n] = text }
      after[n] = text ~ /: Skipped$/
      if (text ~ /^\[  SKIPPED \] .* \([0-9]+ ms\)$/) {
        sub(/^\[  SKIPPED \] /, "", text); sub(/ \([0-9]+ ms\)$/, "", text)
        inner[++inners] = n; innerText[inners] = text ": " reason[n]
      } else if (!(n in said) && tolower(text) ~ /skipped/ && text !~ /^\[  SKIPPED \]|: Skipped$/ &&
                 text !~ /^(Test command|Working Directory|Environment variables|Test timeout|  )/)
        said[n] = text
    }
    END {
      for (i = 1; i <= count; i++) { n = order[i]
        print name[n] ": " ((n in first) ? first[n] : (n in said) ? said[n] : "(no reason given)") }
      for (i = 1; i <= inners; i++) if (!(inner[i] in name)) print innerText[i]
    }' "$1")
}

# Adds the counts of a CTest log to the totals and notes the skipped tests;
# stops the run, with the failed tests' output, when the log shows a failure.
count_ctest() {  # LOG STATUS NAME
  local total failures numbers n
  total=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$1" | tail -1)
  failures=$(sed -n 's/.*, \([0-9]*\) tests failed out of.*/\1/p' "$1" | tail -1)
  passed=$((passed + ${total:-0} - ${failures:-0}))
  failed=$((failed + ${failures:-0}))
  note_skipped "$1"
  if [ "$2" -ne 0 ] || [ -z "$total" ]; then
    numbers=$(sed -n 's/^ *[0-9]*\/[0-9]* Test *#\([0-9]*\):.*\*\*\*\(Failed\|Timeout\|Exception\).*/\1/p' "$1")
    for n in $numbers; do grep "^$n: " "$1" | tail -80; done
    sed -n '/tests passed\|tests failed/,$p' "$1"
    echo "test: $3 failed"
    finish $((failed > 0 ? failed : 1))
  fi
}
# CTest with its verbose output in a log; only the tests' results are shown.
results='^ *[0-9]+/[0-9]+ Test|tests passed|tests failed'
run_ctest() {  # STAGE PRESET [CTEST ARGUMENTS...]
  local log="$logs/${1// /-}.log" status start=$SECONDS start_cpu
  start_cpu=$(cpu)
  set +e
  ctest --preset "${@:2}" -j"$jobs" --verbose 2>&1 | tee "$log" | grep --line-buffered -E "$results"
  status=${PIPESTATUS[0]}
  set -e
  stage "$1" "$start" "$start_cpu"
  count_ctest "$log" "$status" "ctest --preset ${*:2}"
}

# A CTest run beside the rest, in a process group of its own; its log, its
# exit status, when it ended and its CPU time go to LOG, LOG.status,
# LOG.end and LOG.cpu.
beside() {  # LOG CTEST ARGUMENTS...
  date +%s >"$1.start"
  setsid bash -c 'log=$1; shift; ctest "$@" --verbose >"$log" 2>&1; echo $? >"$log.status"
    date +%s >"$log.end"
    awk -v hz="$(getconf CLK_TCK)" "{ printf \"%d\", (\$16 + \$17) / hz }" /proc/$$/stat >"$log.cpu"' \
    beside "$@" &
  groups+=($!)
}
# Waits for a run beside, then takes its stage time, results and counts.
collect() {  # STAGE LOG GROUP NOTE
  local group kept=()
  wait "$3" || true
  for group in "${groups[@]}"; do  # ended: its number may be taken again
    if [ "$group" != "$3" ]; then kept+=("$group"); fi
  done
  groups=("${kept[@]}")
  stages+=("$(printf '%-32s %4d s  (CPU %4s s) %s' "$1" $(($(cat "$2.end") - $(cat "$2.start"))) \
    "$(cat "$2.cpu")" "$4")")
  grep -E "$results" "$2" || true
  count_ctest "$2" "$(cat "$2.status" 2>/dev/null || echo 1)" "$1"
}

start=$SECONDS start_cpu=$(cpu)
scripts/setup.sh
stage setup "$start" "$start_cpu"

# The format and static checks read only the sources and the builds'
# compile commands: they run beside everything from the start. (CTest runs
# them, and the Wine tier, from their own folders of the build, so that it
# never lists the native suite's tests while that is still being built.)
cmake --preset native >/dev/null
cmake --preset win64 >/dev/null
beside "$logs/source-checks.log" --test-dir build/native/tests/source_checks -j"$jobs"
source_checks=$!

# The Windows program and the Wine tier's part of the native build next:
# the tier runs beside everything after them. It mostly waits on Wine and
# on its boxes; its shards run side by side.
build win64
build native wine_tier_tests
beside "$logs/wine-tier.log" --test-dir build/native/tests/wine -j4
wine_tier=$!

build native
build win32
# CTest lists a GoogleTest program's tests by running it; the count is
# kept, and a run that counts fewer fails.
native_tests=$(ctest --preset native -N -LE 'wine|source' | sed -n 's/^Total Tests: //p')
passed_before=$passed
run_ctest "native suite" native -LE 'wine|source'
if [ $((passed - passed_before)) -ne "${native_tests:-0}" ] || [ "${native_tests:-0}" -lt 50 ]; then
  echo "test: the native suite ran $((passed - passed_before)) tests of ${native_tests:-0} listed"
  finish 1
fi

# The same suite under AddressSanitizer and UBSan: the tests' children and
# the programs they run come from the same build, so they are checked too.
build sanitize
run_ctest "sanitize suite" sanitize

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
  build fuzz
  run_ctest "fuzz smoke" fuzz
else
  skipped+=("fuzz smoke runs: clang++ with libFuzzer not found (scripts/setup.sh installs clang)")
fi

collect "format and static checks" "$logs/source-checks.log" "$source_checks" "beside, from the start"
collect "Wine tier" "$logs/wine-tier.log" "$wine_tier" \
  "beside, after its build; $(grep -c '^[0-9]*: \[       OK \]' "$logs/wine-tier.log") gtest tests passed"
finish 0
