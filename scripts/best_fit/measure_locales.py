#!/usr/bin/env python3
"""Measures the ANSI code page Wine gives each locale that glibc supports in
UTF-8, and writes tests/data/wine_code_pages.txt, which the code-page test
holds the Linux program's choice to.

Every locale in /usr/share/i18n/SUPPORTED is compiled into a private folder
(LOCPATH) and a small Windows program prints GetACP() under wine64 with
LC_ALL set to it. Needs wine64, the mingw-w64 g++ and localedef with the
locale sources (package locales); nothing on the machine changes. Takes
about a quarter of an hour:

    scripts/best_fit/measure_locales.py
"""
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
OUTPUT = os.path.join(HERE, "..", "..", "tests", "data", "wine_code_pages.txt")


def find(name, also=()):
    for candidate in [shutil.which(name)] + list(also):
        if candidate and os.access(candidate, os.X_OK):
            return candidate
    sys.exit("measure_locales: %s not found" % name)


def supported_locales():
    """[(source, name)]: localedef's source and the name players set, such
    as ("sr_RS@latin", "sr_RS.UTF-8@latin")."""
    locales = []
    with open("/usr/share/i18n/SUPPORTED") as lines:
        for line in lines:
            fields = line.split()
            if len(fields) != 2 or fields[1] != "UTF-8":
                continue
            base, _, modifier = fields[0].partition("@")
            source = base.split(".")[0] + ("@" + modifier if modifier else "")
            name = base.split(".")[0] + ".UTF-8" + ("@" + modifier if modifier else "")
            locales.append((source, name))
    return locales


def main():
    wine = find("wine64", ["/usr/lib/wine/wine64"])
    wineserver = find("wineserver", ["/usr/lib/wine/wineserver"])
    mingw = find("x86_64-w64-mingw32-g++")
    find("localedef")
    work = tempfile.mkdtemp(prefix="locale_code_pages.")
    environment = dict(os.environ, WINEPREFIX=os.path.join(work, "prefix"),
                       WINEDEBUG="-all", HOME=work,
                       WINEDLLOVERRIDES="mscoree,mshtml=")
    try:
        probe = os.path.join(work, "acp.exe")
        subprocess.check_call([mingw, "-O1", "-static", "-o", probe,
                               os.path.join(HERE, "acp_probe_win32.cc")])
        subprocess.check_call([wine, "wineboot", "-i"], env=environment,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        locales = os.path.join(work, "locales")
        os.mkdir(locales)
        measured = []
        for source, name in supported_locales():
            if subprocess.call(["localedef", "-i", source, "-f", "UTF-8",
                                os.path.join(locales, name)],
                               stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL) > 1:
                print("measure_locales: localedef refused %s" % name)
                continue
            answer = subprocess.run([wine, probe], capture_output=True, text=True,
                                    env=dict(environment, LOCPATH=locales, LC_ALL=name))
            measured.append((name, int(answer.stdout.strip())))
            print(name, measured[-1][1], flush=True)
            shutil.rmtree(os.path.join(locales, name), ignore_errors=True)
        version = subprocess.run([wine, "--version"], capture_output=True,
                                 text=True).stdout.strip()
        os.makedirs(os.path.dirname(OUTPUT), exist_ok=True)
        with open(OUTPUT, "w") as out:
            out.write("# The ANSI code page (GetACP) that %s gives each locale, with\n"
                      "# the locale compiled; measured by scripts/best_fit/measure_locales.py.\n"
                      "# Do not edit; measure again.\n" % version)
            for name, code_page in measured:
                out.write("%s %d\n" % (name, code_page))
    finally:
        subprocess.call([wineserver, "-k"], env=environment)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
