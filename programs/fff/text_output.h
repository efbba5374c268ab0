// The fff tool's text on standard output and standard error.
#ifndef GRAVELHORN_FFF_TEXT_OUTPUT_H_
#define GRAVELHORN_FFF_TEXT_OUTPUT_H_

#include <cstdio>
#include <string>

// Writes text (host text) to stream, stdout or stderr, as the reader sees
// it: on Windows a console shows the ANSI code page's letters wrongly (it
// reads bytes in its OEM code page), so a console gets wide text; a file
// or a pipe gets the bytes. False when not all of it could be written.
bool WriteText(FILE* stream, const std::string& text);

#endif  // GRAVELHORN_FFF_TEXT_OUTPUT_H_
