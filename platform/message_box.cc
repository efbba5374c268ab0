#include "platform/message_box.h"

#include "platform/run_lock.h"

namespace {
MessageBoxHandler installedHandler = nullptr;
MessageBoxFollower installedFollower = nullptr;
}  // namespace

void ShowMessage(const char* text, const char* caption, unsigned style) {
  // Every box ends the run: the game is let go of before the box waits.
  LetGoOfGame();
  if (installedHandler != nullptr)
    installedHandler(text, caption, style);
  else
    ShowPlatformMessage(text, caption, style);
}

void SetMessageBoxHandler(MessageBoxHandler handler) {
  installedHandler = handler;
}

void SetMessageBoxFollower(MessageBoxFollower follower) {
  installedFollower = follower;
}

MessageBoxFollower CurrentMessageBoxFollower() { return installedFollower; }
