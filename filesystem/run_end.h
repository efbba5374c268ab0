// What the file system and the configuration reader take from the installer
// above them without depending on it: the texts of the run's language for
// the boxes they show, and the installer's own fatal error, with which a
// shortage of memory in the configuration reader ends a run. The installer
// connects both when it is linked in (installer/messages.cc), as the Linux
// program connects the box's follower.
#ifndef GRAVELHORN_FILESYSTEM_RUN_END_H_
#define GRAVELHORN_FILESYSTEM_RUN_END_H_

enum class RunText {
  kTitle,         // every box's caption but "ERROR"
  kNoMemory,      // "Not enough free memory!"
  kFileNotFound,  // "File not found:"
  kCannotUpdate,  // "Unable to update the files. "
};

struct RunEnd {
  const char* (*text)(RunText which) = nullptr;
  void (*fatalError)(const char* text) = nullptr;  // never returns
};

// Connects what the installer gives.
void ConnectRunEnd(const RunEnd& end);

// The text in the run's language; "" while nothing is connected.
const char* RunTextOf(RunText which);

// Ends the run through the installer's fatal error (a box captioned
// "ERROR", all archives closed); through FileSystemFatal while nothing is
// connected.
[[noreturn]] void EndRunWithError(const char* text);

#endif  // GRAVELHORN_FILESYSTEM_RUN_END_H_
