#!/usr/bin/env python3
"""Measures what Wine's narrow registry read gives for every UTF-16 unit in
each ANSI code page a locale can select, and writes the differences from
this machine's iconv to platform/wine/best_fit_table.inc.

The Linux program converts registry strings with iconv; Windows (and Wine)
use their own tables, which put a look-alike ("best fit") character where
the code page lacks one and differ from iconv in a few more places. The
table holds every unit where the two disagree, so that the Linux program
reads a registry string exactly as the Windows program does under Wine.

Needs wine64 (Debian: /usr/lib/wine), the mingw-w64 g++, g++ and localedef
with the locale sources (package locales). Every locale is compiled into a
private folder (LOCPATH), so nothing on the machine changes; the prefix is
made in a temporary folder and removed. Takes a few minutes:

    scripts/best_fit/measure.py
"""
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
OUTPUT = os.path.join(HERE, "..", "..", "platform", "wine", "best_fit_table.inc")

# A locale for each code page; C.UTF-8 gives 1252, kk_KZ gives UTF-8.
LOCALES = [
    ("C.UTF-8", 1252), ("hu_HU", 1250), ("ru_RU", 1251), ("el_GR", 1253),
    ("tr_TR", 1254), ("he_IL", 1255), ("ar_SA", 1256), ("lt_LT", 1257),
    ("vi_VN", 1258), ("th_TH", 874), ("ja_JP", 932), ("zh_CN", 936),
    ("ko_KR", 949), ("zh_TW", 950), ("kk_KZ", 65001),
]


def find(name, also=()):
    found = shutil.which(name)
    for candidate in also:
        if not found and os.access(candidate, os.X_OK):
            found = candidate
    if not found:
        sys.exit("measure: %s not found" % name)
    return found


def read_units(path, skip_first_line):
    """{unit: bytes, or None where the converter has no character}"""
    units = {}
    with open(path) as lines:
        if skip_first_line:
            lines.readline()
        for line in lines:
            fields = line.split()
            unit = int(fields[0], 16)
            units[unit] = None if fields[1:] == ["FAIL"] else bytes(
                int(byte, 16) for byte in fields[1:])
    return units


def runs_of(differences):
    """[(first unit, count, first value, step)]: consecutive units whose
    values are all the same (step 0) or count up by one (step 1)."""
    runs = []
    for unit, value in differences:
        number = int.from_bytes(value, "big")
        if runs:
            first, count, start, step = runs[-1]
            last = start + (count - 1) * step
            if first + count == unit and (number - last == step or (
                    count == 1 and number - last in (0, 1))):
                runs[-1] = (first, count + 1, start, number - last)
                continue
        runs.append((unit, 1, number, 0))
    return runs


def main():
    wine = find("wine64", ["/usr/lib/wine/wine64"])
    wineserver = find("wineserver", ["/usr/lib/wine/wineserver"])
    mingw = find("x86_64-w64-mingw32-g++")
    find("localedef")
    work = tempfile.mkdtemp(prefix="best_fit.")
    environment = dict(os.environ, WINEPREFIX=os.path.join(work, "prefix"),
                       WINEDEBUG="-all", HOME=work,
                       WINEDLLOVERRIDES="mscoree,mshtml=")
    try:
        probe = os.path.join(work, "probe.exe")
        dump = os.path.join(work, "iconv_dump")
        subprocess.check_call([mingw, "-O1", "-static", "-o", probe,
                               os.path.join(HERE, "registry_probe_win32.cc")])
        subprocess.check_call(["g++", "-O1", "-o", dump,
                               os.path.join(HERE, "iconv_dump.cc")])
        subprocess.check_call([wine, "wineboot", "-i"], env=environment,
                              stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
        locales = os.path.join(work, "locales")
        os.mkdir(locales)
        tables = []
        for locale, code_page in LOCALES:
            name = locale if "." in locale else locale + ".UTF-8"
            if "." not in locale:
                subprocess.check_call(["localedef", "-i", locale, "-f",
                                       "UTF-8", os.path.join(locales, name)])
            measured = os.path.join(work, "wine-%d.txt" % code_page)
            subprocess.check_call(
                [wine, probe, "Z:" + measured.replace("/", "\\")],
                env=dict(environment, LOCPATH=locales, LC_ALL=name))
            with open(measured) as lines:
                acp = int(lines.readline().split()[1])
            if acp != code_page:
                sys.exit("measure: %s gave code page %d, not %d"
                         % (name, acp, code_page))
            iconv_name = "UTF-8" if code_page == 65001 else "CP%d" % code_page
            ours = os.path.join(work, "iconv-%d.txt" % code_page)
            with open(ours, "w") as out:
                subprocess.check_call([dump, iconv_name], stdout=out)
            by_wine = read_units(measured, True)
            by_iconv = read_units(ours, False)
            differences = [(unit, by_wine[unit]) for unit in sorted(by_wine)
                           if by_wine[unit] != (by_iconv[unit] or b"?")]
            tables.append((code_page, runs_of(differences)))
            print("code page %d: %d units differ, %d runs"
                  % (code_page, len(differences), len(tables[-1][1])))
        write_table(tables, wine)
    finally:
        subprocess.call([wineserver, "-k"], env=environment)
        shutil.rmtree(work, ignore_errors=True)


def write_table(tables, wine):
    version = subprocess.run([wine, "--version"], capture_output=True,
                             text=True).stdout.strip()
    with open(OUTPUT, "w") as out:
        out.write("// Generated by scripts/best_fit/measure.py: where the narrow "
                  "registry read\n// under %s differs from this machine's iconv, "
                  "unit by unit.\n// Do not edit; measure again.\n" % version)
        for code_page, runs in tables:
            out.write("const BestFitRun kBestFit%d[] = {\n" % code_page)
            cells = ["{0x%04X, %d, 0x%X, %d}" % run for run in runs]
            line = "   "
            for cell in cells:
                if len(line) + len(cell) + 2 > 80:
                    out.write(line + "\n")
                    line = "   "
                line += " " + cell + ","
            out.write(line + "\n};\n")
        out.write("const BestFitTable kBestFitTables[] = {\n")
        for code_page, _ in tables:
            out.write("    {%d, kBestFit%d, std::size(kBestFit%d)},\n"
                      % (code_page, code_page, code_page))
        out.write("};\n")


if __name__ == "__main__":
    main()
