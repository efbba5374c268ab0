// The Windows test build's file replacement calls (see
// platform/win32/replacement_calls.h), driven by GRAVELHORN_FAULTS, a
// comma-separated list of
//   CALL#N=WHAT  the Nth call of CALL in the run (N+: that call and every
//                later one) fails with the Windows error number WHAT; or,
//                for WHAT "kill", the process ends at once before the call
//                as if killed, for "killafter" right after it; for "hold"
//                the run stops before the call until the file "held",
//                which it makes in its current folder, is removed;
//   CALL#N+=WHAT/MS  as CALL#N+=WHAT until the run's waits add up to MS
//                milliseconds: a file busy for that long;
//   scanner      a file about to be moved is first held open for 300 ms
//                without delete sharing, as a virus scanner holds a fresh
//                file;
//   heldleftover a file under a temporary name when the run first creates
//                that name is held open from then on for reading and
//                writing, sharing reading and deletion but not writing, as
//                a sync client or a backup may hold it;
//   lockedleftover  the same, sharing deletion only.
//   intruder     another program opens each new file as it is created, if
//                the file's sharing lets it, and adds to it before the
//                run flushes it.
// GRAVELHORN_WAITS, when set, names a file that holds the waits the run has
// asked for so far, added up, in milliseconds.
// A killed run ends with exit code 9 and shows no box; a list that cannot
// be read ends the run with exit code 99.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/win32/replacement_calls.h"

namespace {

struct Fault {
  std::string call, what;
  unsigned first;
  bool andLater;
  unsigned long untilWaited;  // 0: for good
};

struct FaultList {
  std::vector<Fault> faults;
  bool scanner = false, intruder = false;
  std::vector<HANDLE> intruders;          // the other program's handles
  DWORD leftoverSharing = 0;              // 0: leftovers are not held
  std::map<std::string, unsigned> calls;  // so far, by name
  std::set<std::string> scanned, held;
  unsigned long waited = 0;  // milliseconds
};

FaultList& Faults() {
  static FaultList list = [] {
    FaultList read;
    const char* text = getenv("GRAVELHORN_FAULTS");
    std::istringstream items(text != nullptr ? text : "");
    for (std::string item; std::getline(items, item, ',');) {
      const size_t hash = item.find('#'), equals = item.find('='), slash = item.find('/', equals);
      const int first = hash == std::string::npos ? 0 : atoi(item.c_str() + hash + 1);
      if (item == "scanner" || item == "intruder")
        (item[0] == 's' ? read.scanner : read.intruder) = true;
      else if (item == "heldleftover" || item == "lockedleftover")
        read.leftoverSharing = FILE_SHARE_DELETE | (item[0] == 'h' ? FILE_SHARE_READ : 0);
      else if (first > 0 && equals != std::string::npos && hash < equals)
        read.faults.push_back(
            {item.substr(0, hash), item.substr(equals + 1, slash - equals - 1), unsigned(first),
             item[equals - 1] == '+',
             slash == std::string::npos ? 0 : strtoul(&item[slash + 1], nullptr, 10)});
      else
        ExitProcess(99);
    }
    return read;
  }();
  return list;
}

// Counts a call of name and makes it, or fails it as the list says.
template <typename Result, typename Call>
Result Inject(const char* name, Result failure, Call call) {
  FaultList& list = Faults();
  const unsigned count = ++list.calls[name];
  for (const Fault& fault : list.faults) {
    if (fault.call != name || !(count == fault.first || (fault.andLater && count > fault.first)) ||
        (fault.untilWaited > 0 && list.waited >= fault.untilWaited))
      continue;
    if (fault.what == "hold") {  // until the test removes "held" (at most a minute)
      ::CloseHandle(::CreateFileA("held", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
      for (int i = 0; i < 6000 && GetFileAttributesA("held") != INVALID_FILE_ATTRIBUTES; ++i)
        ::Sleep(10);
      continue;  // and then what the list says next
    }
    if (fault.what == "killafter") call();
    if (fault.what == "kill" || fault.what == "killafter") {
      TerminateProcess(GetCurrentProcess(), 9);  // as if killed: exit code 9
      ExitProcess(9);
    }
    SetLastError(DWORD(atoi(fault.what.c_str())));
    return failure;
  }
  return call();
}

// The stand-in scanner: opens path once, sharing reading and writing but
// not deletion, and lets it go 300 ms later.
void ScanOnce(const char* path) {
  if (!Faults().scanner || !Faults().scanned.insert(path).second) return;
  const HANDLE held = ::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
  if (held == INVALID_HANDLE_VALUE) return;
  const auto closeLater = [](LPVOID handle) -> DWORD {
    ::Sleep(300);
    return ::CloseHandle(handle);
  };
  const HANDLE thread = ::CreateThread(nullptr, 0, closeLater, held, 0, nullptr);
  ::CloseHandle(thread != nullptr ? thread : held);
}

}  // namespace

// The calls that only count and fail as the list says.
#define INJECTED(Call, parameters, arguments)                      \
  BOOL Call parameters {                                           \
    return Inject(#Call, FALSE, [&] { return ::Call arguments; }); \
  }

namespace win32 {

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile) {
  // The holder's handle stays open until the process ends.
  const DWORD sharing = Faults().leftoverSharing;
  if (sharing != 0 && disposition == CREATE_NEW && Faults().held.insert(name).second)
    ::CreateFileA(name, GENERIC_READ | GENERIC_WRITE, sharing, nullptr, OPEN_EXISTING, 0, nullptr);
  const HANDLE file = Inject("CreateFileA", INVALID_HANDLE_VALUE, [&] {
    return ::CreateFileA(name, access, share, security, disposition, flags, templateFile);
  });
  if (Faults().intruder && disposition == CREATE_NEW && file != INVALID_HANDLE_VALUE) {
    const HANDLE other = ::CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
    if (other != INVALID_HANDLE_VALUE) Faults().intruders.push_back(other);
  }
  return file;
}

INJECTED(WriteFile, (HANDLE file, LPCVOID data, DWORD size, LPDWORD done, LPOVERLAPPED overlapped),
         (file, data, size, done, overlapped))
BOOL FlushFileBuffers(HANDLE file) {
  for (const HANDLE other : Faults().intruders) {
    DWORD written = 0;
    ::SetFilePointer(other, 0, nullptr, FILE_END);
    ::WriteFile(other, "intruder", 8, &written, nullptr);
    ::CloseHandle(other);
  }
  Faults().intruders.clear();
  return Inject("FlushFileBuffers", FALSE, [&] { return ::FlushFileBuffers(file); });
}
INJECTED(DeleteFileA, (LPCSTR name), (name))
INJECTED(RemoveDirectoryA, (LPCSTR name), (name))
INJECTED(SetFileAttributesA, (LPCSTR name, DWORD attributes), (name, attributes))

BOOL CloseHandle(HANDLE handle) {
  // A close that fails lets the handle go all the same.
  const BOOL closed = Inject("CloseHandle", FALSE, [&] { return ::CloseHandle(handle); });
  if (!closed) ::CloseHandle(handle);
  return closed;
}

BOOL MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags) {
  ScanOnce(from);
  return Inject("MoveFileExA", FALSE, [&] { return ::MoveFileExA(from, to, flags); });
}

void Sleep(DWORD milliseconds) {
  Faults().waited += milliseconds;
  const char* waits = getenv("GRAVELHORN_WAITS");
  if (FILE* record = waits != nullptr ? fopen(waits, "w") : nullptr) {
    fprintf(record, "%lu\n", Faults().waited);
    fclose(record);
  }
  ::Sleep(milliseconds);
}

}  // namespace win32
