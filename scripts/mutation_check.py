#!/usr/bin/env python3
"""Mutation check: which single-point changes to the sources do the tests
miss?

Usage, from anywhere (the script lowers its own priority to nice 15):
  scripts/mutation_check.py --list                  # print the mutants only
  scripts/mutation_check.py --sample 300            # a sample spread over the
                                                    # files, from a seed drawn
                                                    # now and printed
  scripts/mutation_check.py --sample 300 --seed 11  # the sample of seed 11
  scripts/mutation_check.py --only ID [ID...]       # re-check given mutants
  scripts/mutation_check.py                         # every mutant
  scripts/mutation_check.py --windows --sample 40   # the Windows code, through
                                                    # the Wine tier

Without --windows, mutants come from the .cc/.h files under config/,
filesystem/, installer/, platform/ and programs/ that the Linux build
compiles (not platform/win32/, programs/windows/ or programs/fff/win32/).
The tree is copied to build/mutation/src and built twice, plainly
(build/mutation/build) and under the sanitizers (build/mutation/
build-sanitize), as the test command builds it. A mutant is caught when the
native suite (without the Wine tier, the Windows checks and the source
checks) fails or times out; one that survives gets a second run of the suite
from the sanitizer build, as CI runs it, and counts as caught when that
fails (a leak, an overflow).

With --windows, mutants come from platform/win32/, programs/windows/ and
programs/fff/win32/; each is built with the mingw-w64 preset's toolchain
(build/mutation/win64) and caught when the Wine tier (build/mutation/
wine, which runs the mutated patch_installer.exe, its fault-injection build
and fff.exe) fails.

Each id is file:line:operator:index. The report is printed and written to
build/mutation/report.txt (report-windows.txt with --windows). For the
Linux code it also names the tests that failed on each mutant caught, and
counts the mutants that one test alone caught: a test that never catches
anything alone is one whose catches the rest of the suite makes too.
"""
import argparse
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
WORK = ROOT / "build" / "mutation"
SRC, BUILD, TMP = WORK / "src", WORK / "build", WORK / "tmp"
FOLDERS = ("config", "filesystem", "installer", "platform", "programs")
# Built for Windows alone: the mingw builds compile them, not the suite's.
WINDOWS_ONLY = ("platform/win32/", "programs/windows/", "programs/fff/win32/")
EXCLUDED_TESTS = r"^(wine_|windows_|signed_windows_programs)"
HOST_ROOT = Path("/")

COMPARISON = re.compile(r"(?<=\s)(==|!=|<=|>=|<|>)(?=\s)")
SWAPPED = {"==": "!=", "!=": "==", "<": "<=", "<=": "<", ">": ">=", ">=": ">"}
INTEGER = re.compile(r"(?<![\w.])(0[xX][0-9a-fA-F]+|\d+)([uUlL]*)(?![\w.])")
LOGIC = re.compile(r"(?<=\s)(&&|\|\|)(?=\s)")
BOOLEAN = re.compile(r"\b(true|false)\b")
PLUS_MINUS_ONE = re.compile(r"(?<=[\w)\]'\"]) [+-] 1(?![\w.])")
IF = re.compile(r"\bif\s*\(")
# What comes before a '{' that opens a function body or a statement block.
CODE_BLOCK_HEAD = re.compile(
    r"(\)|\]|:|\b(else|do|try|const|override|noexcept|mutable))$")
STATEMENT_START = re.compile(r"^(\+\+|--|\*|\(|[A-Za-z_])")
NOT_SIMPLE = {"return", "break", "case", "default", "if", "for", "while", "do",
              "else", "switch", "using", "typedef", "namespace", "template",
              "goto", "auto", "struct", "class", "enum", "friend"}
# Type words then a name: "const char* name =", "std::string text;".
DECLARATION = re.compile(
    r"^(?:[A-Za-z_][\w:]*(?:<[^;]*?>)?[\s*&]+)+[A-Za-z_]\w*\s*([=;\[({,]|$)")


class Mutant:
    def __init__(self, path, text, line, op, start, end, replacement):
        self.path, self.line, self.op = path, line, op
        self.start, self.end, self.replacement = start, end, replacement
        self.id = None  # set once the mutants of the line are counted
        first = text.rfind("\n", 0, start) + 1
        last = text.find("\n", end)
        last = len(text) if last < 0 else last
        before = text[first:last]
        after = (text[first:start] + replacement + text[end:last])
        self.before = " ".join(before.split())
        self.after = " ".join(after.split()) or "(nothing)"


def code_only(text, windows=False):
    """text with comments, literals' contents, preprocessor lines, code the
    build does not compile (#ifdef _WIN32 sections for Linux, their #else
    for Windows) and static_asserts blanked; newlines and offsets are
    kept."""
    out = list(text)

    def blank(a, b):
        for k in range(a, b):
            if out[k] != "\n":
                out[k] = " "

    i, n = 0, len(text)
    while i < n:
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            blank(i, j)
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            blank(i, j)
        elif text.startswith('R"', i) and (i == 0 or not text[i - 1].isalnum()):
            delimiter = text[i + 2:text.index("(", i)]
            j = text.index(")" + delimiter + '"', i) + len(delimiter) + 2
            blank(i + 2, j - 1)
        elif text[i] in "\"'":
            j = i + 1
            while j < n and text[j] not in (text[i], "\n"):
                j += 2 if text[j] == "\\" else 1
            blank(i + 1, j)
            j += 1
        else:
            j = i + 1
        i = j
    code = "".join(out)
    # Preprocessor lines, with their continuations, and what the other
    # system's build compiles (#ifdef _WIN32 up to its #else or #endif, or
    # the #else).
    start, other_system = 0, False
    for line in text.split("\n"):
        directive = code[start:start + len(line)].strip()
        if directive.startswith("#if"):
            for_windows = (directive.split()[-1] == "_WIN32" and "!" not in directive
                           and not directive.startswith("#ifndef"))
            for_linux = directive.split()[-1] == "_WIN32" and not for_windows
            other_system = for_linux if windows else for_windows
        elif directive.startswith("#else"):
            other_system = not other_system
        elif directive.startswith("#endif"):
            other_system = False
        elif other_system:
            blank(start, start + len(line))
        if directive.startswith("#"):
            end = start + len(line)
            while text[start:end].endswith("\\") and end < n:
                end = text.find("\n", end + 1)
                end = n if end < 0 else end
            blank(start, end)
        start += len(line) + 1
    code = "".join(out)
    for found in re.finditer(r"\bstatic_assert\b", code):
        end = code.find(";", found.start())
        blank(found.start(), end + 1)
    return "".join(out)


def matching_paren(code, open_at):
    depth = 0
    for k in range(open_at, len(code)):
        depth += {"(": 1, ")": -1}.get(code[k], 0)
        if depth == 0:
            return k
    return -1


def block_kinds(code):
    """For each line, whether it starts inside a function body ("code")."""
    kinds, stack, head_start = ["data"], [], 0
    for i, c in enumerate(code):
        if c == "{":
            head = code[head_start:i].strip()
            stack.append("code" if CODE_BLOCK_HEAD.search(head) else "data")
        elif c == "}" and stack:
            stack.pop()
        elif c == "\n":
            kinds.append(stack[-1] if stack else "data")
        if c in "{};":
            head_start = i + 1
    return kinds


def dropped_statements(path, text, code):
    """A whole one-line statement inside a function body, not a declaration,
    return or break: replaced by nothing (by ';' as a brace-less body)."""
    kinds, previous, offset = block_kinds(code), "", 0
    for number, line in enumerate(code.split("\n"), 1):
        stripped = line.strip()
        first_word = re.match(r"\w*", stripped).group()
        body = previous.endswith(")") or re.search(r"\belse$", previous)
        if (kinds[number - 1] == "code" and stripped.endswith(";")
                and stripped.count(";") == 1
                and STATEMENT_START.match(stripped)
                and first_word not in NOT_SIMPLE
                and (first_word in ("delete", "throw")
                     or not DECLARATION.match(stripped))
                and stripped.count("(") == stripped.count(")")
                and stripped.count("[") == stripped.count("]")
                and (body or previous[-1:] in (";", "{", "}", ":"))):
            start = offset + line.index(stripped[0])
            yield Mutant(path, text, number, "drop", start,
                         start + len(stripped), ";" if body else "")
        if stripped:
            previous = stripped
        offset += len(line) + 1


def mutants_of(path, text, windows=False):
    code = code_only(text, windows)
    found = []

    def add(op, start, end, replacement):
        line = text.count("\n", 0, start) + 1
        found.append(Mutant(path, text, line, op, start, end, replacement))

    for m in COMPARISON.finditer(code):
        add("cmp", m.start(), m.end(), SWAPPED[m.group()])
    for m in INTEGER.finditer(code):
        digits, suffix = m.group(1), m.group(2)
        value = int(digits, 0) if digits[:2].lower() == "0x" else int(digits)
        for moved in (value + 1, value - 1):
            if moved < 0:
                literal = "-1"
            elif digits[:2].lower() == "0x":
                upper = digits[2:] == digits[2:].upper()
                literal = digits[:2] + format(
                    moved, "0%d%s" % (len(digits) - 2, "X" if upper else "x"))
            else:
                literal = str(moved)
            add("int", m.start(), m.end(), literal + suffix)
    found.extend(dropped_statements(path, text, code))
    for m in IF.finditer(code):
        close = matching_paren(code, m.end() - 1)
        if close > 0:
            add("not", m.end(), close, "!(" + text[m.end():close] + ")")
    for m in LOGIC.finditer(code):
        add("andor", m.start(), m.end(), "||" if m.group() == "&&" else "&&")
    for m in BOOLEAN.finditer(code):
        add("bool", m.start(), m.end(),
            "false" if m.group() == "true" else "true")
    for m in PLUS_MINUS_ONE.finditer(code):
        add("one", m.start(), m.end(), "")

    found.sort(key=lambda m: (m.line, m.op, m.start))
    seen = {}
    for m in found:
        key = (m.line, m.op)
        m.id = "%s:%d:%s:%d" % (path, m.line, m.op, seen.get(key, 0))
        seen[key] = seen.get(key, 0) + 1
    return found


def source_files(windows):
    for folder in WINDOWS_ONLY if windows else FOLDERS:
        for path in sorted((ROOT / folder).rglob("*")):
            relative = path.relative_to(ROOT).as_posix()
            if (path.suffix in (".cc", ".h")
                    and relative.startswith(WINDOWS_ONLY) == windows):
                yield relative


def spread_sample(mutants, count, seed):
    """count mutants, each file's share in proportion to its mutants (the
    largest remainders rounded up, so a small sample leaves out the files
    with the fewest mutants), picked at random with a fixed seed."""
    by_file = {}
    for m in mutants:
        by_file.setdefault(m.path, []).append(m)
    if count >= len(mutants):
        return mutants
    share = {f: count * len(ms) / len(mutants) for f, ms in by_file.items()}
    quota = {f: int(s) for f, s in share.items()}
    # The fractions add up to what is left, and each is below one.
    left = count - sum(quota.values())
    for f in sorted(by_file, key=lambda f: quota[f] - share[f])[:left]:
        quota[f] += 1
    rng = random.Random(seed)
    picked = []
    for f, ms in by_file.items():
        chosen = set(id(m) for m in rng.sample(ms, quota[f]))
        picked.extend(m for m in ms if id(m) in chosen)
    return picked


def sync_copy():
    """Brings build/mutation/src level with the working tree. Only files
    whose contents differ are written, with a fresh time, so that ninja
    rebuilds exactly what changed (a file restored after a mutant included)."""
    wanted = set()
    for folder, dirs, files in os.walk(ROOT):
        here = Path(folder)
        if here == ROOT:
            dirs[:] = [d for d in dirs if d not in ("build", ".git")]
        for name in files:
            relative = (here / name).relative_to(ROOT)
            wanted.add(relative)
            source, copy = ROOT / relative, SRC / relative
            if not copy.exists() or copy.read_bytes() != source.read_bytes():
                copy.parent.mkdir(parents=True, exist_ok=True)
                shutil.copyfile(source, copy)
                shutil.copymode(source, copy)
    for folder, _, files in os.walk(SRC):
        for name in files:
            if (Path(folder) / name).relative_to(SRC) not in wanted:
                (Path(folder) / name).unlink()


def run(command, timeout=None):
    """(exit status, output); the status is None after a timeout, when the
    command's whole process group is killed."""
    env = dict(os.environ, TMPDIR=str(TMP),
               ASAN_OPTIONS="detect_leaks=1:strict_string_checks=1",
               LSAN_OPTIONS="suppressions=%s:print_suppressions=0" % (SRC / "tests" / "lsan.supp"))
    process = subprocess.Popen(command, stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT, text=True, env=env,
                               errors="replace", start_new_session=True)
    try:
        output, _ = process.communicate(timeout=timeout)
        return process.returncode, output
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        output, _ = process.communicate()
        return None, output


def configure(build, *options):
    if (build / "build.ninja").exists():
        return
    status, output = run(["cmake", "-S", str(SRC), "-B", str(build), "-G",
                          "Ninja"] + list(options))
    if status != 0:
        sys.exit(output + "\nmutation check: configure of %s failed" % build)


def build(folder):
    return run(["ninja", "-C", str(folder), "-j2"])


def remove_tree(path):
    # rm, not shutil.rmtree: a mutant whose walk never stops descending
    # leaves a tree deeper than Python's recursion limit.
    subprocess.run(["rm", "-rf", "--one-file-system", str(path)])


def suite(folder, timeout, only=None, exclude=EXCLUDED_TESTS, jobs=2):
    """Runs folder's CTest tests (those matching only, else all but the
    excluded) with jobs at once; returns (exit status, output)."""
    remove_tree(TMP)
    TMP.mkdir(parents=True)
    before = set(os.listdir(HOST_ROOT))
    chosen = ["-R", only] if only else ["-E", exclude]
    result = run(["ctest", "--test-dir", str(folder), "-j%d" % jobs, "--no-tests=error",
                  "--timeout", str(timeout)] + chosen, timeout)
    # A mutant that maps paths wrongly can write at the host's root, where
    # "\\name" leads from outside a prefix; such a file would shadow an
    # archive member in every later run.
    for name in set(os.listdir(HOST_ROOT)) - before:
        stray = HOST_ROOT / name
        if stray.is_dir() and not stray.is_symlink():
            remove_tree(stray)
        else:
            stray.unlink(missing_ok=True)
    return result


def failed_tests(output):
    """The tests CTest lists as failed (or timed out) at the end of output."""
    listing = output.split("The following tests FAILED:")[-1]
    # A parameterized test's line goes on "  # GetParam() = ..." before
    # its outcome.
    return sorted(re.findall(r"^\s*\d+ - (\S+)(?:\s+# GetParam\(\) = .*)? \(\w+", listing, re.M))


class Checker:
    """Builds and tests mutants. Linux: the native suite, then for a
    survivor the same suite from the sanitizer build. Windows: the win64
    programs, tested by the Wine tier."""

    def __init__(self, windows, tests=None):
        self.windows, self.tests = windows, tests
        # Line tables are all a report needs.
        native = ["-DCMAKE_BUILD_TYPE=RelWithDebInfo",
                  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG",
                  "-DGRAVELHORN_SOURCE_CHECKS=OFF"]
        if windows:
            self.win64 = WORK / "win64"
            self.wine = WORK / "wine"
            configure(self.win64, "-DCMAKE_BUILD_TYPE=Release",
                      "-DCMAKE_TOOLCHAIN_FILE=%s" % (SRC / "cmake" / "mingw-w64-x86_64.cmake"))
            configure(self.wine, *native, "-DWIN64_BUILD_DIR=%s" % self.win64)
            self.first = [self.wine, self.win64]
        else:
            self.plain = WORK / "build"
            self.sanitized = WORK / "build-sanitize"
            sanitizers = "-fsanitize=address,undefined"
            configure(self.plain, *native, "-DGRAVELHORN_WINE_TIER=OFF")
            configure(self.sanitized, *native, "-DGRAVELHORN_WINE_TIER=OFF",
                      "-DCMAKE_CXX_FLAGS=%s -O1 -g1 -fno-omit-frame-pointer "
                      "-fno-sanitize-recover=all" % sanitizers,
                      "-DCMAKE_EXE_LINKER_FLAGS=" + sanitizers)
            self.first = [self.plain, self.sanitized]
        self.timeout = 3600
        self.failed = []  # the tests that failed on the last mutant caught
        if windows:
            # Each of the tier's processes ends at its first failing test.
            os.environ["GTEST_FAIL_FAST"] = "1"

    def test(self, folder):
        if self.windows:
            # The tier's four processes mostly wait on Wine, as in
            # scripts/test.sh.
            return suite(self.wine, self.timeout, only="^wine_tier_", jobs=4)
        return suite(folder, self.timeout, only=self.tests)

    def check_clean(self):
        for folder in self.first:
            status, output = build(folder)
            if status != 0:
                sys.exit(output + "\nmutation check: the clean tree does not build")
        began = time.monotonic()
        folders = [self.wine] if self.windows else [self.plain, self.sanitized]
        for folder in folders:
            status, output = self.test(folder)
            if status != 0 or "Skipped" in output:
                sys.exit(output + "\nmutation check: the clean suite fails or skips; "
                         "not starting")
        self.clean_time = time.monotonic() - began
        self.timeout = max(60, round(3 * self.clean_time))

    def outcome(self):
        """What the tests make of the tree as it is now (one mutant in)."""
        if self.windows:
            if build(self.win64)[0] != 0:
                return "did not compile"
            return "caught" if self.test(self.wine)[0] != 0 else "survived"
        if build(self.plain)[0] != 0:
            return "did not compile"
        status, output = self.test(self.plain)
        if status != 0:
            self.failed = failed_tests(output)
            return "caught"
        if build(self.sanitized)[0] == 0 and self.test(self.sanitized)[0] != 0:
            return "caught by the sanitizers"
        return "survived"

    def restore(self):
        """Brings the builds level with the restored tree, so that the next
        mutant's build has only its own change to make."""
        if self.windows:
            build(self.win64)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--sample", type=int, help="check N mutants")
    parser.add_argument("--seed", type=int,
                        help="draw the sample of this seed (default: a new one)")
    parser.add_argument("--only", nargs="+", metavar="ID")
    parser.add_argument("--windows", action="store_true",
                        help="mutate the Windows code; test it with the Wine tier")
    parser.add_argument("--list", action="store_true",
                        help="print the chosen mutants and stop")
    parser.add_argument("--files", metavar="REGEX",
                        help="only mutants of the files whose path matches")
    parser.add_argument("--tests", metavar="REGEX",
                        help="only the CTest tests that match (a quicker, partial verdict)")
    args = parser.parse_args()
    os.nice(max(0, 15 - os.nice(0)))

    mutants = [m for path in source_files(args.windows)
               if not args.files or re.search(args.files, path)
               for m in mutants_of(path, (ROOT / path).read_text(), args.windows)]
    if args.only:
        by_id = {m.id: m for m in mutants}
        unknown = [i for i in args.only if i not in by_id]
        if unknown:
            sys.exit("no such mutant: " + " ".join(unknown))
        chosen = [by_id[i] for i in args.only]
    elif args.sample:
        # A figure measures the suite only on a sample it was not tuned on:
        # each run draws a new seed unless one is given.
        if args.seed is None:
            args.seed = random.SystemRandom().randrange(1, 1 << 16)
        print("seed %d (--seed %d draws this sample again)" % (args.seed, args.seed),
              flush=True)
        chosen = spread_sample(mutants, args.sample, args.seed)
    else:
        chosen = mutants
    if args.list:
        for m in chosen:
            print("%s\n    %s\n -> %s" % (m.id, m.before, m.after))
        print("%d of %d mutants" % (len(chosen), len(mutants)))
        return

    SRC.mkdir(parents=True, exist_ok=True)
    sync_copy()
    checker = Checker(args.windows, args.tests)
    checker.check_clean()
    print("clean run: %.1f s; timeout per test run: %d s; %d of %d mutants"
          % (checker.clean_time, checker.timeout, len(chosen), len(mutants)),
          flush=True)

    results = []  # (mutant, outcome)
    caught_by = {}  # mutant id: the tests that failed on it (plain suite)
    position = {m.id: k for k, m in enumerate(mutants)}
    chosen.sort(key=lambda m: position[m.id])  # one file after another
    started = time.monotonic()
    try:
        for number, m in enumerate(chosen, 1):
            began = time.monotonic()
            file = SRC / m.path
            original = file.read_text()
            mutated = original[:m.start] + m.replacement + original[m.end:]
            try:
                file.write_text(mutated)
                outcome = checker.outcome()
            finally:
                file.write_text(original)
                checker.restore()
            results.append((m, outcome))
            if outcome == "caught" and not args.windows:
                caught_by[m.id] = checker.failed
            print("[%d/%d] %-24s %s (%.0f s)" % (number, len(chosen), outcome,
                                                 m.id, time.monotonic() - began),
                  flush=True)
    except KeyboardInterrupt:
        print("interrupted; reporting the mutants checked so far")
    elapsed = time.monotonic() - started

    kinds = ("caught", "caught by the sanitizers", "survived", "did not compile")
    count = {k: sum(1 for _, o in results if o == k) for k in kinds}
    caught = count["caught"] + count["caught by the sanitizers"]
    compiled = caught + count["survived"]
    head = subprocess.run(["git", "-C", str(ROOT), "rev-parse", "--short",
                           "HEAD"], capture_output=True, text=True).stdout.strip()
    chosen_by = ("--only, %d ids" % len(args.only) if args.only else
                 "--sample %d --seed %d" % (args.sample, args.seed)
                 if args.sample else "all mutants")
    lines = [
        "Mutation check of %s (%s%s%s%s)" % (
            head or ROOT, chosen_by, ", --windows" if args.windows else "",
            ", --files " + args.files if args.files else "",
            ", --tests " + args.tests if args.tests else ""),
        "clean run: %.1f s, timeout per test run: %d s" % (checker.clean_time,
                                                           checker.timeout),
        "tried: %d in %.0f min" % (len(results), elapsed / 60),
        "did not compile: %d" % count["did not compile"],
        "compiled: %d" % compiled,
        "caught: %d (by the plain suite %d, by the sanitizers %d)" % (
            caught, count["caught"], count["caught by the sanitizers"]),
        "survived: %d" % count["survived"],
        "share caught: %s" % ("%.1f%% (%d of %d)" % (
            100.0 * caught / compiled, caught, compiled) if compiled else "n/a"),
        "",
        "Survivors:",
    ]
    current = None
    for m, outcome in results:
        if outcome != "survived":
            continue
        if m.path != current:
            current = m.path
            lines.append(current)
        lines += ["  " + m.id, "      " + m.before, "   -> " + m.after]
    # Which tests catch what: a test that alone caught a mutant of the
    # sample holds a catch no other test makes.
    alone = {}
    for tests in caught_by.values():
        if len(tests) == 1:
            alone[tests[0]] = alone.get(tests[0], 0) + 1
    if caught_by:
        lines += ["", "Caught by one test alone (test: mutants):"]
        lines += ["  %s: %d" % item for item in sorted(alone.items())]
        lines += ["", "Caught by (mutant: the tests that failed):"]
        lines += ["  %s: %s" % (i, " ".join(t)) for i, t in caught_by.items()]
    report = "\n".join(lines) + "\n"
    print(report)
    (WORK / ("report-windows.txt" if args.windows else "report.txt")).write_text(report)


if __name__ == "__main__":
    main()
