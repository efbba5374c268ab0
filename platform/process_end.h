// How the installer ends its process after a fatal error.
#ifndef GRAVELHORN_PLATFORM_PROCESS_END_H_
#define GRAVELHORN_PLATFORM_PROCESS_END_H_

// Ends the process with exitCode through the standard library's normal
// exit, so that static objects are destroyed as after a normal run.
[[noreturn]] void EndProcess(int exitCode);

// Lets a host that must survive the end of a run (a fuzzer) take over:
// EndProcess calls hook, which must not return (it may throw or longjmp).
// nullptr brings the normal exit back.
typedef void (*ProcessEndHook)(int exitCode);
void SetProcessEndHook(ProcessEndHook hook);

#endif  // GRAVELHORN_PLATFORM_PROCESS_END_H_
