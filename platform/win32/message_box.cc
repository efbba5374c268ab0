#include "platform/message_box.h"

#include <windows.h>

void ShowPlatformMessage(const char* text, const char* caption,
                         unsigned style) {
  MessageBoxA(nullptr, text, caption, style);
}
