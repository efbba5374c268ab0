// One run at a time per game: a second run of the installer on the same
// game waits for the first to end, then runs normally.
#ifndef GRAVELHORN_PLATFORM_RUN_LOCK_H_
#define GRAVELHORN_PLATFORM_RUN_LOCK_H_

// Waits while another run holds the game whose folder is installPath (a
// Windows path that ends in a backslash), then holds it until the process
// ends; the system lets go of it when the process ends, however it ends.
// Shows no box and never ends the run: where the game cannot be held (its
// folder is missing), the run goes on and fails where it would have.
void HoldGameForThisRun(const char* installPath);

#endif  // GRAVELHORN_PLATFORM_RUN_LOCK_H_
