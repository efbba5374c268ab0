// How the player started the Linux program, as the start of a command that
// the program prints for them to run: every command it prints runs as
// printed, from the folder the player is in.
#ifndef GRAVELHORN_PROGRAMS_LINUX_PROGRAM_COMMAND_H_
#define GRAVELHORN_PROGRAMS_LINUX_PROGRAM_COMMAND_H_

#include <string>

// Remembers argv0, the name the program was started under: "./NAME" as it
// is; a bare name as it is, since only the shell's search of PATH starts a
// program so; any other path as the program's full path.
void SetProgramCommand(const char* argv0);

// The program as the printed commands start it, quoted for a POSIX shell
// where it needs quoting; "patch_installer" until SetProgramCommand.
const std::string& ProgramCommand();

#endif  // GRAVELHORN_PROGRAMS_LINUX_PROGRAM_COMMAND_H_
