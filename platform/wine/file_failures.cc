#include "platform/wine/file_failures.h"

namespace {

// A run meets only a few.
const size_t kFailuresKept = 32;

std::deque<FileFailure>& NotedFailures() {
  static auto& failures = *new std::deque<FileFailure>;
  return failures;
}

}  // namespace

void NoteFileFailure(const char* windowsPath, const std::string& hostPath,
                     const std::string& reason, bool folder) {
  std::deque<FileFailure>& failures = NotedFailures();
  for (auto failure = failures.begin(); failure != failures.end(); ++failure)
    if (failure->windowsPath == windowsPath) {
      failures.erase(failure);
      break;
    }
  if (failures.size() == kFailuresKept) failures.pop_front();
  failures.push_back(FileFailure{windowsPath, hostPath, reason, folder});
}

const std::deque<FileFailure>& FileFailures() { return NotedFailures(); }
