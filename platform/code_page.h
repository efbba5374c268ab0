// Narrow text, wide text and the host's own text.
//
// The installer's narrow text (settings, paths, the catalogue) is 8-bit text
// in the ANSI code page, as on Windows, and Windows takes it as it is. On
// Linux it meets text of other kinds at the edges, and each edge converts
// through Windows' wide text (UTF-16), the way Wine does:
//   registry strings (wide, in the prefix's files)  -> WideToNarrow
//   file names on the host (UTF-8)                   <- NarrowToHost
//   the message box on the terminal (UTF-8)          <- NarrowToHost
// On Windows the host's text is the narrow text itself.
#ifndef GRAVELHORN_PLATFORM_CODE_PAGE_H_
#define GRAVELHORN_PLATFORM_CODE_PAGE_H_

#include <string>
#include <string_view>

// The ANSI code page: Windows' own. On Linux the one Wine chooses from the
// locale (LC_ALL, else LC_CTYPE, else LANG; a locale that is not installed
// counts as C), as CodePageOfLocale gives it.
unsigned AnsiCodePage();

// Linux: the code page Wine gives the locale of that name: 1250 for Central
// European languages, 1251 for Cyrillic ones, 1253 to 1258 and 874 for
// their languages, 932, 936, 949 and 950 for the East Asian ones, 65001
// (UTF-8) for languages that Windows gives no ANSI code page, and 1252 for
// the C locale and every other language.
unsigned CodePageOfLocale(const std::string& name);

// Narrow text to wide. A byte that the code page leaves undefined stands
// for the character of the same number, as in Windows' own tables.
std::u16string NarrowToWide(std::string_view narrow);

// Wide text to narrow, as the narrow Windows interfaces hand it out: a
// character that the code page lacks becomes its look-alike where Windows
// has one (a Latin letter without its accent), otherwise '?'.
std::string WideToNarrow(std::u16string_view wide);

// Narrow text to the host's text. Never fails.
std::string NarrowToHost(std::string_view narrow);

// The host's text to narrow. False when the text holds a character that
// the code page lacks, or is not valid host text; *narrow is then unset.
bool HostToNarrow(std::string_view host, std::string* narrow);

// The host's text to wide; a byte sequence that is not valid host text is
// dropped. Never fails.
std::u16string HostToWide(std::string_view host);

// Whether two wide names are the same but for letter case, as Windows
// compares file and registry names: every script's letters fold, not only
// A to Z.
bool SameWideNameIgnoringCase(std::u16string_view a, std::u16string_view b);

// name with every letter upper-cased as Windows does when it compares file
// names (every script, as above): names that Windows takes for one file
// have the same upper-cased form.
std::u16string UpperCaseWideName(std::u16string_view name);

#endif  // GRAVELHORN_PLATFORM_CODE_PAGE_H_
