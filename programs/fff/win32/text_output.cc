#include "programs/fff/text_output.h"

#include <io.h>
#include <windows.h>

#include "platform/code_page.h"

bool WriteText(FILE* stream, const std::string& text) {
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  DWORD mode = 0;
  if (handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode))
    return std::fwrite(text.data(), 1, text.size(), stream) == text.size();
  // What the stream holds still goes first.
  if (std::fflush(stream) != 0) return false;
  const std::u16string wide = NarrowToWide(text);
  // Consoles before Windows 8 refuse requests of 64 KiB and more.
  const DWORD kLargestRequest = 8192;  // characters
  for (size_t done = 0; done < wide.size();) {
    const DWORD wanted = wide.size() - done < kLargestRequest
                             ? DWORD(wide.size() - done)
                             : kLargestRequest;
    DWORD written = 0;
    if (!WriteConsoleW(handle, wide.data() + done, wanted, &written, nullptr) ||
        written == 0)
      return false;
    done += written;
  }
  return true;
}
