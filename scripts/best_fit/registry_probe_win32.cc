// What the narrow registry read (RegQueryValueExA) makes of every UTF-16
// unit in the process's ANSI code page. Writes OUTFILE: the line
// "acp <code page>", then for each unit from 2 to FFFF one line of the unit
// and the bytes read back, all in hex. Each unit is stored and read on its
// own: some code pages put control characters in place of others.
#include <stdio.h>
#include <windows.h>

int main(int argc, char** argv) {
  if (argc != 2) return 1;
  HKEY key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\BestFitProbe", 0, nullptr,
                      0, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return 2;
  FILE* out = fopen(argv[1], "wb");
  if (out == nullptr) return 3;
  fprintf(out, "acp %u\n", GetACP());
  for (unsigned unit = 2; unit < 0x10000; ++unit) {
    const wchar_t text[2] = {wchar_t(unit), 0};
    if (RegSetValueExW(key, L"unit", 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(text),
                       sizeof text) != ERROR_SUCCESS)
      return 4;
    unsigned char narrow[16];
    DWORD size = sizeof narrow, type;
    if (RegQueryValueExA(key, "unit", nullptr, &type, narrow, &size) !=
            ERROR_SUCCESS ||
        size == 0 || narrow[size - 1] != 0)
      return 5;
    fprintf(out, "%04X", unit);
    for (DWORD i = 0; i + 1 < size; ++i) fprintf(out, " %02X", narrow[i]);
    fprintf(out, "\n");
  }
  RegDeleteValueW(key, L"unit");
  RegCloseKey(key);
  return fclose(out) == 0 ? 0 : 6;
}
