// One run at a time per game: a second run of the installer on the same
// game waits for the first to be done with the game's files, then runs
// normally. The Windows program under Wine and the Linux program on the
// same prefix wait for each other too.
#ifndef GRAVELHORN_PLATFORM_RUN_LOCK_H_
#define GRAVELHORN_PLATFORM_RUN_LOCK_H_

// How long a run waits for another that holds the game: far longer than a
// run takes to patch it.
const int kLongestWaitForAnotherRun = 60;  // seconds

// Waits while another run holds the game whose folder is installPath (a
// Windows path that ends in a backslash), then holds it until LetGoOfGame
// or the process's end; the system lets go of it when the process ends,
// however it ends. Two locks hold it: the program's own (on Linux a flock
// on the game's folder, on Windows a named mutex), and a lock on one byte
// far past the end of the game's Game.cod, which Wine keeps as a lock on
// the host file, so that the other program sees it; the game and every
// other program stay free to read and write the file itself. Shows no box.
// Where the game cannot be held (no such folder, a file system without
// locks), the run goes on without. Returns false only when another run
// still holds the game after kLongestWaitForAnotherRun seconds; on Linux
// the file firstFile (a Windows path) is then noted as held, for the hint.
bool HoldGameForThisRun(const char* installPath, const char* firstFile);

// Lets go of the game, before the box that ends the run: a box left open
// never holds up the next run.
void LetGoOfGame();

#endif  // GRAVELHORN_PLATFORM_RUN_LOCK_H_
