#include "platform/process_end.h"

#include <stdlib.h>

namespace {
ProcessEndHook installedHook = nullptr;
}  // namespace

void EndProcess(int exitCode) {
  if (installedHook != nullptr) installedHook(exitCode);
  exit(exitCode);
}

void SetProcessEndHook(ProcessEndHook hook) { installedHook = hook; }
