#include "filesystem/run_end.h"

#include "filesystem/archive_table.h"

namespace {
RunEnd connected;
}  // namespace

void ConnectRunEnd(const RunEnd& end) { connected = end; }

const char* RunTextOf(RunText which) {
  return connected.text != nullptr ? connected.text(which) : "";
}

void EndRunWithError(const char* text) {
  if (connected.fatalError != nullptr) connected.fatalError(text);
  FileSystemFatal(text);
}
