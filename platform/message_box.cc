#include "platform/message_box.h"

namespace {
MessageBoxHandler installedHandler = nullptr;
unsigned currentCodePage = 1252;
}  // namespace

void ShowMessage(const char* text, const char* caption, unsigned style) {
  if (installedHandler != nullptr)
    installedHandler(text, caption, style);
  else
    ShowPlatformMessage(text, caption, style);
}

void SetMessageCodePage(unsigned codePage) { currentCodePage = codePage; }

unsigned MessageCodePage() { return currentCodePage; }

void SetMessageBoxHandler(MessageBoxHandler handler) {
  installedHandler = handler;
}
