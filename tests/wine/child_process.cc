#include "tests/wine/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <thread>

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::string& workingDirectory,
                           const std::vector<std::string>& extraEnvironment,
                           const std::string& outPath,
                           const std::string& errPath) {
  pid_ = StartChild(argv, workingDirectory, extraEnvironment, outPath,
                    errPath);
}

ChildProcess::~ChildProcess() {
  if (!reaped_) Kill();
}

bool ChildProcess::Ended(int* exitCode) {
  if (!reaped_) {
    int status = 0;
    pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == 0) return false;
    reaped_ = true;
    exitCode_ = done == pid_ && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  *exitCode = exitCode_;
  return true;
}

bool ChildProcess::WaitForEnd(double seconds, int* exitCode) {
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::duration<double>(seconds);
  while (!Ended(exitCode)) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

void ChildProcess::Kill() {
  if (reaped_) return;
  kill(pid_, SIGKILL);
  int status = 0;
  waitpid(pid_, &status, 0);
  reaped_ = true;
  exitCode_ = -1;
}

void ChildProcess::Terminate(double seconds) {
  if (reaped_) return;
  kill(pid_, SIGTERM);
  int exitCode;
  if (!WaitForEnd(seconds, &exitCode)) Kill();
}

BoundedResult RunBounded(const std::vector<std::string>& argv,
                         const std::string& workingDirectory,
                         const std::vector<std::string>& extraEnvironment,
                         double timeoutSeconds) {
  TempDir captures;
  const std::string outPath = captures.path() + "/out";
  const std::string errPath = captures.path() + "/err";
  BoundedResult result;
  {
    ChildProcess child(argv, workingDirectory, extraEnvironment, outPath, errPath);
    if (!child.WaitForEnd(timeoutSeconds, &result.exitCode)) {
      child.Kill();
      result.exitCode = -1;
      result.timedOut = true;
    }
  }
  result.out = ReadFileBytes(outPath);
  result.err = ReadFileBytes(errPath);
  return result;
}

std::string CommandLine(const std::vector<std::string>& argv) {
  std::string line;
  for (const std::string& arg : argv) {
    if (!line.empty()) line += ' ';
    line += arg;
  }
  return line;
}
