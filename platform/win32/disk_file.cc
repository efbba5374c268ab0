#include "platform/disk_file.h"

#include <io.h>
#include <share.h>
#include <stdio.h>
#include <windows.h>

FILE* OpenDiskStream(const char* windowsPath, const char* mode) {
  FILE* stream = _fsopen(windowsPath, mode, _SH_DENYNO);
  // Only a file on a disk is a file here: a pipe or a device (CON, NUL,
  // a Unix fifo under Wine) could hold a read forever.
  if (stream != nullptr &&
      GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)))) !=
          FILE_TYPE_DISK) {
    (void)fclose(stream);
    return nullptr;
  }
  return stream;
}

bool SeekStream(FILE* stream, int64_t position) {
  return _fseeki64(stream, position, SEEK_SET) == 0;
}

int64_t TellStream(FILE* stream) { return _ftelli64(stream); }

int64_t MeasureStreamLength(FILE* stream) {
  int64_t position = _ftelli64(stream);
  if (position < 0 || _fseeki64(stream, 0, SEEK_END) != 0) return -1;
  int64_t length = _ftelli64(stream);
  if (_fseeki64(stream, position, SEEK_SET) != 0) return -1;
  return length;
}
