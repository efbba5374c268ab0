// A box the player can see when there is no terminal: started from a file
// manager or a launcher's menu, the Linux program shows each box as a
// desktop dialog too, as winetricks does.
#ifndef GRAVELHORN_PROGRAMS_LINUX_DIALOG_H_
#define GRAVELHORN_PROGRAMS_LINUX_DIALOG_H_

#include <string>

// Whether a box should also be a dialog: none of standard input, output
// and error is a terminal, and a desktop session is there (DISPLAY or
// WAYLAND_DISPLAY).
bool DialogWanted();

// Shows caption and text (UTF-8, shown escaped already) as a dialog with
// zenity (--info, or --error), else kdialog (--msgbox, or --error), found
// on PATH and started without a shell, and waits until it is closed. With
// neither, shows nothing.
void ShowDialog(const std::string& caption, const std::string& text,
                bool error);

#endif  // GRAVELHORN_PROGRAMS_LINUX_DIALOG_H_
