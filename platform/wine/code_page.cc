// Code pages on Linux, through iconv. Wide text travels as UTF-16LE bytes
// between the converters.
#include "platform/code_page.h"

#include <errno.h>
#include <iconv.h>
#include <locale.h>
#include <stdlib.h>
#include <wctype.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <map>
#include <string>
#include <utility>

namespace {

const char kWideCode[] = "UTF-16LE";
const char kHostCode[] = "UTF-8";

// The locale Wine reads its code page from, as the C library picks it.
std::string LocaleName() {
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = getenv(variable);
    if (value != nullptr && *value != '\0') return value;
  }
  return "C";
}

bool LocaleInstalled(const std::string& name) {
  locale_t locale = newlocale(LC_CTYPE_MASK, name.c_str(), locale_t(0));
  if (locale == locale_t(0)) return false;
  freelocale(locale);
  return true;
}

}  // namespace

unsigned CodePageOfLocale(const std::string& name) {
  // As measured under Wine 8 with each locale compiled: a language's code
  // page, and a country's or a script's (@modifier) where Wine gives it
  // another; anything else is 1252. Languages whose Windows locale has no
  // ANSI code page get UTF-8 (65001).
  static const struct {
    const char* locale;  // language[_COUNTRY][@modifier]
    unsigned codePage;
  } kLocales[] = {
      {"am", 65001},         {"ar", 1256},          {"ar_IN", 1252},
      {"ar_SD", 1252},       {"ar_SS", 1252},       {"as", 65001},
      {"be", 1251},          {"be_BY@latin", 1252}, {"bg", 1251},
      {"bn", 65001},         {"bo", 65001},         {"bo_IN", 1252},
      {"chr", 65001},        {"ckb", 1256},         {"cs", 1250},
      {"dv", 65001},         {"dz", 65001},         {"el", 1253},
      {"el_CY", 1252},       {"et", 1257},          {"fa", 1256},
      {"gu", 65001},         {"he", 1255},          {"hi", 65001},
      {"hr", 1250},          {"hu", 1250},          {"hy", 65001},
      {"ja", 932},           {"ka", 65001},         {"kk", 65001},
      {"km", 65001},         {"kn", 65001},         {"ko", 949},
      {"kok", 65001},        {"ks", 65001},         {"ks_IN", 1252},
      {"ky", 1251},          {"lo", 65001},         {"lt", 1257},
      {"lv", 1257},          {"mi", 65001},         {"mk", 1251},
      {"ml", 65001},         {"mn", 1251},          {"mni", 65001},
      {"mr", 65001},         {"mt", 65001},         {"my", 65001},
      {"ne", 65001},         {"om", 65001},         {"om_KE", 1252},
      {"or", 65001},         {"pa", 65001},         {"pa_PK", 1252},
      {"pl", 1250},          {"ps", 65001},         {"ro", 1250},
      {"ru", 1251},          {"ru_UA", 1252},       {"sa", 65001},
      {"sah", 1251},         {"sd", 65001},         {"sd_IN", 1252},
      {"si", 65001},         {"sk", 1250},          {"sl", 1250},
      {"so_SO", 65001},      {"sq", 1250},          {"sq_MK", 1252},
      {"sr_RS@latin", 1250}, {"st", 65001},         {"syr", 65001},
      {"ta", 65001},         {"te", 65001},         {"tg", 1251},
      {"th", 874},           {"ti", 65001},         {"tk", 1250},
      {"tr", 1254},          {"tr_CY", 1252},       {"ts", 65001},
      {"tt", 1251},          {"ug", 1256},          {"uk", 1251},
      {"ur", 1256},          {"uz", 1251},          {"uz_UZ", 1252},
      {"ve", 65001},         {"vi", 1258},          {"zh", 936},
      {"zh_HK", 950},        {"zh_TW", 950},
  };
  const size_t languageEnd = name.find_first_of("_.@");
  const std::string language = name.substr(0, languageEnd);
  const size_t at = name.find('@');
  const size_t countryEnd = name.find_first_of(".@", languageEnd);
  std::string specific = name.substr(0, countryEnd);
  if (at != std::string::npos) specific += name.substr(at);
  // A locale with a modifier is its own or its language's, never its
  // country's: ks_IN@devanagari is not ks_IN.
  for (const std::string& key : {specific, language})
    for (const auto& row : kLocales)
      if (key == row.locale) return row.codePage;
  return 1252;
}

namespace {

// One converter per direction, opened once: (iconv_t)-1 when iconv lacks
// the code page.
iconv_t Converter(const std::string& to, const std::string& from) {
  // Kept open for the whole process, never destroyed.
  static auto& converters =
      *new std::map<std::pair<std::string, std::string>, iconv_t>;
  auto found = converters.find({to, from});
  if (found == converters.end())
    found = converters
                .emplace(std::make_pair(to, from),
                         iconv_open(to.c_str(), from.c_str()))
                .first;
  iconv(found->second, nullptr, nullptr, nullptr, nullptr);  // a fresh start
  return found->second;
}

bool Usable(iconv_t converter) { return converter != iconv_t(-1); }

std::string AnsiCode() {
  const unsigned codePage = AnsiCodePage();
  return codePage == 65001 ? "UTF-8" : "CP" + std::to_string(codePage);
}

// Converts input from *at on, appending to output, up to the end or to the
// first sequence the converter cannot take; *at is left there. True when
// the whole input was converted. Either way the converter is flushed: the
// decoders of 1255 and 1258 hold a letter back until they know that no
// combining mark follows it, and would otherwise lose the last one.
bool ConvertFrom(iconv_t converter, std::string_view input, size_t* at,
                 std::string* output) {
  char* in = const_cast<char*>(input.data()) + *at;
  size_t inLeft = input.size() - *at;
  char block[1024];
  bool whole = true;
  while (inLeft > 0) {
    char* out = block;
    size_t outLeft = sizeof block;
    const size_t status = iconv(converter, &in, &inLeft, &out, &outLeft);
    output->append(block, size_t(out - block));
    if (status == size_t(-1) && errno != E2BIG) {
      whole = false;  // EILSEQ, or EINVAL for a sequence cut short
      break;
    }
  }
  for (;;) {
    char* out = block;
    size_t outLeft = sizeof block;
    const size_t status = iconv(converter, nullptr, nullptr, &out, &outLeft);
    output->append(block, size_t(out - block));
    if (status != size_t(-1) || errno != E2BIG) break;
  }
  *at = input.size() - inLeft;
  return whole;
}

std::string_view AsBytes(std::u16string_view wide) {
  return std::string_view(reinterpret_cast<const char*>(wide.data()),
                          wide.size() * 2);
}

std::u16string WideFromBytes(const std::string& bytes) {
  std::u16string wide;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    wide.push_back(char16_t(static_cast<unsigned char>(bytes[i]) |
                            static_cast<unsigned char>(bytes[i + 1]) << 8));
  return wide;
}

void AppendWideUnit(std::string* bytes, char16_t unit) {
  bytes->push_back(static_cast<char>(unit & 0xFF));
  bytes->push_back(static_cast<char>(unit >> 8));
}

// Where the narrow registry read of Windows (as measured under Wine) and
// iconv differ for a code page: runs of consecutive wide units, with the
// narrow value of the first (one to three bytes, most significant first)
// and a step of 0 (all alike) or 1 (counting up). Mostly look-alikes that
// Windows puts where the code page lacks a character (U+0150 is 'O' in
// 1252, U+03A9 Omega 'O' too), and the characters of the user-defined areas.
struct BestFitRun {
  char16_t first;
  uint16_t count;
  uint32_t value;
  uint8_t step;
};
struct BestFitTable {
  unsigned codePage;
  const BestFitRun* runs;
  size_t count;
};
#include "platform/wine/best_fit_table.inc"

// Appends what Windows makes of unit where that differs from iconv; false
// where it does not.
bool AppendBestFit(unsigned codePage, char16_t unit, std::string* narrow) {
  for (const BestFitTable& table : kBestFitTables) {
    if (table.codePage != codePage) continue;
    const BestFitRun* end = table.runs + table.count;
    const BestFitRun* run = std::upper_bound(
        table.runs, end, unit,
        [](char16_t wanted, const BestFitRun& r) { return wanted < r.first; });
    if (run == table.runs || unit - (run - 1)->first >= (run - 1)->count)
      return false;
    --run;
    const uint32_t value = run->value + (unit - run->first) * run->step;
    for (int shift = 16; shift >= 0; shift -= 8)
      if (value >> shift != 0 || shift == 0)
        narrow->push_back(static_cast<char>((value >> shift) & 0xFF));
    return true;
  }
  return false;
}

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit < 0xDC00; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit < 0xE000; }

locale_t UnicodeLocale() {
  static locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
  return locale;
}

char16_t UpperCase(char16_t unit) {
  if (unit >= 0xD800 && unit < 0xE000) return unit;  // half of a pair
  if (UnicodeLocale() == locale_t(0))
    return unit >= 'a' && unit <= 'z' ? char16_t(unit - 32) : unit;
  return char16_t(towupper_l(wint_t(unit), UnicodeLocale()));
}

}  // namespace

unsigned AnsiCodePage() {
  // Worked out again only when the locale, or where locales are found,
  // has changed.
  static std::string cachedKey;
  static unsigned cachedPage = 0;
  const std::string name = LocaleName();
  const char* folder = getenv("LOCPATH");
  const std::string key = name + '\n' + (folder != nullptr ? folder : "");
  if (cachedPage == 0 || key != cachedKey) {
    cachedKey = key;
    cachedPage = LocaleInstalled(name) ? CodePageOfLocale(name) : 1252;
  }
  return cachedPage;
}

std::u16string NarrowToWide(std::string_view narrow) {
  iconv_t toWide = Converter(kWideCode, AnsiCode());
  std::string bytes;
  for (size_t at = 0; at < narrow.size();) {
    if (Usable(toWide) && ConvertFrom(toWide, narrow, &at, &bytes)) break;
    // Windows' single-byte tables give an undefined byte the character of
    // its number; UTF-8 gives a byte that is no character U+FFFD.
    AppendWideUnit(&bytes, AnsiCodePage() == 65001
                               ? 0xFFFD
                               : static_cast<unsigned char>(narrow[at]));
    ++at;
    if (Usable(toWide)) iconv(toWide, nullptr, nullptr, nullptr, nullptr);
  }
  return WideFromBytes(bytes);
}

std::string WideToNarrow(std::u16string_view wide) {
  const unsigned codePage = AnsiCodePage();
  iconv_t toNarrow = Converter(AnsiCode(), kWideCode);
  std::string narrow;
  // Windows converts unit by unit, from its table; a pair of surrogates is
  // one character, which only UTF-8 holds ('?' for each half elsewhere).
  for (size_t i = 0; i < wide.size();) {
    const size_t units = IsHighSurrogate(wide[i]) && i + 1 < wide.size() &&
                                 IsLowSurrogate(wide[i + 1])
                             ? 2
                             : 1;
    std::string converted;
    size_t at = 0;
    if (units == 2 || !AppendBestFit(codePage, wide[i], &narrow)) {
      if (Usable(toNarrow) &&
          ConvertFrom(toNarrow, AsBytes(wide.substr(i, units)), &at,
                      &converted))
        narrow += converted;
      else
        narrow.append(units, '?');
    }
    i += units;
  }
  return narrow;
}

std::string NarrowToHost(std::string_view narrow) {
  const std::u16string wide = NarrowToWide(narrow);
  const std::string_view bytes = AsBytes(wide);
  iconv_t toHost = Converter(kHostCode, kWideCode);
  std::string host;
  // Only a surrogate without its pair stops the converter.
  for (size_t at = 0; !ConvertFrom(toHost, bytes, &at, &host); at += 2) {
    host += "\xEF\xBF\xBD";  // U+FFFD
    iconv(toHost, nullptr, nullptr, nullptr, nullptr);
  }
  return host;
}

bool HostToNarrow(std::string_view host, std::string* narrow) {
  iconv_t toNarrow = Converter(AnsiCode(), kHostCode);
  std::string converted;
  size_t at = 0;
  if (!Usable(toNarrow) || !ConvertFrom(toNarrow, host, &at, &converted))
    return false;
  *narrow = converted;
  return true;
}

std::u16string HostToWide(std::string_view host) {
  iconv_t toWide = Converter(kWideCode, kHostCode);
  std::string bytes;
  for (size_t at = 0; !ConvertFrom(toWide, host, &at, &bytes); ++at)
    iconv(toWide, nullptr, nullptr, nullptr, nullptr);
  return WideFromBytes(bytes);
}

bool SameWideNameIgnoringCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (UpperCase(a[i]) != UpperCase(b[i])) return false;
  return true;
}

std::u16string UpperCaseWideName(std::u16string_view name) {
  std::u16string upper(name);
  for (char16_t& unit : upper) unit = UpperCase(unit);
  return upper;
}
