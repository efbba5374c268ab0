// The message box: the one way the installer speaks to the user.
//
// ShowMessage is modal: it returns once the user has dismissed the box. No
// caller looks at a result, and a failure of the box itself is not reported.
#ifndef GRAVELHORN_PLATFORM_MESSAGE_BOX_H_
#define GRAVELHORN_PLATFORM_MESSAGE_BOX_H_

// Box styles, with the values of the Windows message box flags.
const unsigned MESSAGE_STYLE_PLAIN = 0;     // no icon, one OK button
const unsigned MESSAGE_STYLE_ERROR = 0x10;  // stop icon, one OK button

// Shows text (zero-terminated, 8-bit, in the ANSI code page) in a box
// with the given caption and style, with no owner window.
void ShowMessage(const char* text, const char* caption, unsigned style);

// Replaces the box with a function of the caller's (tests record boxes this
// way); nullptr brings the platform's box back.
typedef void (*MessageBoxHandler)(const char* text, const char* caption,
                                  unsigned style);
void SetMessageBoxHandler(MessageBoxHandler handler);

// The platform's own box; ShowMessage calls it unless a handler is set.
void ShowPlatformMessage(const char* text, const char* caption, unsigned style);

// Called by the platform's box once it has shown text, before it waits for
// the user: the Linux program prints its hint lines there, and shows a
// dialog where there is no terminal. nullptr: nothing. The Windows box calls
// none.
typedef void (*MessageBoxFollower)(const char* text, const char* caption,
                                   unsigned style);
void SetMessageBoxFollower(MessageBoxFollower follower);
MessageBoxFollower CurrentMessageBoxFollower();

#endif  // GRAVELHORN_PLATFORM_MESSAGE_BOX_H_
