// The test build fff_faults's file calls (see programs/fff/posix/
// host_calls.h), driven by GRAVELHORN_FAULTS, a comma-separated list of
//   CALL#N=ERROR   the Nth call of CALL in the run fails with that error (a
//                  number, or EINVAL, EIO, EEXIST, ENOSPC, EBUSY, ENOSYS);
//   CALL#N+=ERROR  the same for that call and every later one;
//   CALL#N=taken   (openat, mkdirat) the Nth call makes the entry it was
//                  asked for, then fails with EEXIST: another program took
//                  the name a moment before;
//   CALL#N=folder  (renameat2) before the Nth call another program puts an
//                  empty folder in the place of the file at its destination.
// A list that cannot be read ends the run with exit code 99.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "programs/fff/posix/host_calls.h"

namespace {

const int kTaken = -1, kFolder = -2;

struct Fault {
  std::string call;
  unsigned first;
  bool andLater;
  int error;  // or kTaken
};

int ErrorNumber(const std::string& text) {
  static const std::map<std::string, int> kNames = {
      {"EINVAL", EINVAL}, {"EIO", EIO},       {"EEXIST", EEXIST}, {"ENOSPC", ENOSPC},
      {"EBUSY", EBUSY},   {"ENOSYS", ENOSYS}, {"taken", kTaken},  {"folder", kFolder}};
  const auto named = kNames.find(text);
  return named != kNames.end() ? named->second : atoi(text.c_str());
}

std::vector<Fault>& Faults() {
  static std::vector<Fault> faults = [] {
    std::vector<Fault> read;
    const char* text = getenv("GRAVELHORN_FAULTS");
    std::istringstream items(text != nullptr ? text : "");
    for (std::string item; std::getline(items, item, ',');) {
      const size_t hash = item.find('#'), equals = item.find('=');
      if (hash == std::string::npos || equals == std::string::npos || equals < hash) _exit(99);
      const int first = atoi(item.c_str() + hash + 1), error = ErrorNumber(item.substr(equals + 1));
      if (first <= 0 || error == 0) _exit(99);
      read.push_back({item.substr(0, hash), unsigned(first), item[equals - 1] == '+', error});
    }
    return read;
  }();
  return faults;
}

// The fault for this call of call, or nullptr when it does not fail.
const Fault* FaultOf(const std::string& call) {
  static std::map<std::string, unsigned> calls;
  const unsigned number = ++calls[call];
  for (const Fault& fault : Faults())
    if (fault.call == call && (number == fault.first || (fault.andLater && number > fault.first)))
      return &fault;
  return nullptr;
}

// Runs call as the system would, unless this call of name fails: then it
// returns -1 with the fault's error, having made the entry first where the
// fault says the name was taken. Where another program puts a folder in
// the way, occupy does that first and the call runs.
template <typename Call>
int Faulted(const char* name, Call call, void (*occupy)(int, const char*) = nullptr,
            int folder = AT_FDCWD, const char* path = "") {
  const Fault* fault = FaultOf(name);
  if (fault == nullptr) return call();
  if (fault->error == kFolder && occupy != nullptr) {
    occupy(folder, path);
    return call();
  }
  if (fault->error == kTaken) {
    const int made = call();
    if (made >= 0 && std::string(name) == "openat") close(made);
  }
  errno = fault->error == kTaken ? EEXIST : fault->error;
  return -1;
}

}  // namespace

namespace host {

int open(const char* path, int flags, mode_t mode) {
  return Faulted("open", [&] { return ::open(path, flags, mode); });
}
int openat(int folder, const char* name, int flags, mode_t mode) {
  return Faulted("openat", [&] { return ::openat(folder, name, flags, mode); });
}
int mkdirat(int folder, const char* name, mode_t mode) {
  return Faulted("mkdirat", [&] { return ::mkdirat(folder, name, mode); });
}
int rename(const char* from, const char* to) {
  return Faulted("rename", [&] { return ::rename(from, to); });
}
int renameat(int fromFolder, const char* from, int toFolder, const char* to) {
  return Faulted("renameat", [&] { return ::renameat(fromFolder, from, toFolder, to); });
}
int renameat2(int fromFolder, const char* from, int toFolder, const char* to, unsigned flags) {
  return Faulted(
      "renameat2", [&] { return ::renameat2(fromFolder, from, toFolder, to, flags); },
      [](int folder, const char* path) {
        if (::unlinkat(folder, path, 0) != 0 || ::mkdirat(folder, path, 0755) != 0) _exit(98);
      },
      toFolder, to);
}
int unlinkat(int folder, const char* name, int flags) {
  return Faulted("unlinkat", [&] { return ::unlinkat(folder, name, flags); });
}
int flock(int fd, int operation) {
  return Faulted("flock", [&] { return ::flock(fd, operation); });
}

}  // namespace host
