// Programs the Wine tier starts: in the background with a bound on how long
// they may take, their output in files, ended by their own process id.
#ifndef GRAVELHORN_TESTS_WINE_CHILD_PROCESS_H_
#define GRAVELHORN_TESTS_WINE_CHILD_PROCESS_H_

#include <sys/types.h>

#include <string>
#include <vector>

#include "tests/test_support.h"

// A program running in the background, started in workingDirectory with the
// current environment plus the NAME=VALUE pairs of extraEnvironment,
// standard input from /dev/null, standard output and error into the files
// outPath and errPath. Killed and reaped when the object goes, if still
// running.
class ChildProcess {
 public:
  ChildProcess(const std::vector<std::string>& argv,
               const std::string& workingDirectory,
               const std::vector<std::string>& extraEnvironment,
               const std::string& outPath, const std::string& errPath);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }
  // Whether it has ended; then *exitCode holds its exit status, or -1 when
  // a signal ended it.
  bool Ended(int* exitCode);
  // Waits up to seconds for the end; false when it is still running.
  bool WaitForEnd(double seconds, int* exitCode);
  // Ends it with SIGKILL and reaps it.
  void Kill();
  // Asks it to end with SIGTERM, and kills it if it has not after seconds.
  void Terminate(double seconds);

 private:
  pid_t pid_;
  bool reaped_ = false;
  int exitCode_ = -1;
};

// Runs a program to its end like RunCommand, but kills it after
// timeoutSeconds; timedOut tells which happened.
struct BoundedResult : CommandResult {
  bool timedOut = false;
};
BoundedResult RunBounded(const std::vector<std::string>& argv,
                         const std::string& workingDirectory,
                         const std::vector<std::string>& extraEnvironment,
                         double timeoutSeconds);

// argv joined with spaces, for messages.
std::string CommandLine(const std::vector<std::string>& argv);

#endif  // GRAVELHORN_TESTS_WINE_CHILD_PROCESS_H_
