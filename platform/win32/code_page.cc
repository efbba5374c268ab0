// Code pages on Windows: the system converts, and the host's own narrow
// text is in the ANSI code page already.
#include "platform/code_page.h"

#include <windows.h>

unsigned AnsiCodePage() { return GetACP(); }

std::u16string NarrowToWide(std::string_view narrow) {
  if (narrow.empty()) return std::u16string();
  const int length = MultiByteToWideChar(CP_ACP, 0, narrow.data(),
                                         int(narrow.size()), nullptr, 0);
  std::u16string wide(size_t(length > 0 ? length : 0), u'\0');
  if (length > 0)
    MultiByteToWideChar(CP_ACP, 0, narrow.data(), int(narrow.size()),
                        reinterpret_cast<wchar_t*>(&wide[0]), length);
  return wide;
}

std::string WideToNarrow(std::u16string_view wide) {
  if (wide.empty()) return std::string();
  const wchar_t* units = reinterpret_cast<const wchar_t*>(wide.data());
  const int length = WideCharToMultiByte(CP_ACP, 0, units, int(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string narrow(size_t(length > 0 ? length : 0), '\0');
  if (length > 0)
    WideCharToMultiByte(CP_ACP, 0, units, int(wide.size()), &narrow[0], length,
                        nullptr, nullptr);
  return narrow;
}

std::string NarrowToHost(std::string_view narrow) {
  return std::string(narrow);
}

bool HostToNarrow(std::string_view host, std::string* narrow) {
  *narrow = std::string(host);
  return true;
}

std::u16string HostToWide(std::string_view host) { return NarrowToWide(host); }

bool SameWideNameIgnoringCase(std::u16string_view a, std::u16string_view b) {
  return CompareStringOrdinal(reinterpret_cast<const wchar_t*>(a.data()),
                              int(a.size()),
                              reinterpret_cast<const wchar_t*>(b.data()),
                              int(b.size()), TRUE) == CSTR_EQUAL;
}

std::u16string UpperCaseWideName(std::u16string_view name) {
  // Without LCMAP_LINGUISTIC_CASING the mapping is the file system's.
  std::u16string upper(name);
  if (!upper.empty())
    LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE,
                 reinterpret_cast<const wchar_t*>(name.data()),
                 int(name.size()), reinterpret_cast<wchar_t*>(&upper[0]),
                 int(upper.size()));
  return upper;
}
