#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <string>

#include "platform/disk_file.h"
#include "platform/wine_hints.h"
#include "platform/wine_path.h"
#include "platform/wine_prefix.h"

FILE* OpenDiskStream(const char* windowsPath, const char* mode) {
  std::string hostPath;
  if (!MapWindowsPath(windowsPath, WinePrefixDirectory(), &hostPath)) {
    NoteFileFailure(windowsPath, "", WhyUnmapped(windowsPath, WinePrefixDirectory()));
    return nullptr;
  }
  FILE* stream = fopen(hostPath.c_str(), mode);
  if (stream == nullptr) NoteFileFailure(windowsPath, hostPath, strerror(errno));
  // Linux opens a folder for reading where Windows refuses; refuse it too.
  struct stat info;
  if (stream != nullptr &&
      (fstat(fileno(stream), &info) != 0 || S_ISDIR(info.st_mode))) {
    NoteFileFailure(windowsPath, hostPath, "a folder, not a file");
    fclose(stream);
    return nullptr;
  }
  return stream;
}

bool SeekStream(FILE* stream, int64_t position) {
  return fseeko(stream, static_cast<off_t>(position), SEEK_SET) == 0;
}

int64_t TellStream(FILE* stream) { return ftello(stream); }

int64_t MeasureStreamLength(FILE* stream) {
  off_t position = ftello(stream);
  if (position < 0 || fseeko(stream, 0, SEEK_END) != 0) return -1;
  off_t length = ftello(stream);
  if (fseeko(stream, position, SEEK_SET) != 0) return -1;
  return length;
}
