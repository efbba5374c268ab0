// The files the Linux stand-ins could not read or write, and why: the
// hints after a box name the host file behind each Windows path the box
// names.
#ifndef GRAVELHORN_PLATFORM_WINE_FILE_FAILURES_H_
#define GRAVELHORN_PLATFORM_WINE_FILE_FAILURES_H_

#include <deque>
#include <string>

struct FileFailure {
  std::string windowsPath;
  std::string hostPath;  // empty when the path maps to no host file
  std::string reason;    // the system's reason, or the program's own
  // hostPath is the folder that holds the file, and the folder, not the
  // file, refused the change (it cannot be written).
  bool folder = false;
};

// Notes that the host file hostPath, which windowsPath stood for, could
// not be read or written; with folder, that hostPath, the folder that
// holds it, could not be written. A later note on the same Windows path
// replaces the earlier one; only the latest few are kept.
void NoteFileFailure(const char* windowsPath, const std::string& hostPath,
                     const std::string& reason, bool folder = false);

// The notes so far, oldest first.
const std::deque<FileFailure>& FileFailures();

#endif  // GRAVELHORN_PLATFORM_WINE_FILE_FAILURES_H_
