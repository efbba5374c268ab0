// The Windows test build's file replacement calls (see
// platform/win32/replacement_calls.h), driven by GRAVELHORN_FAULTS, a
// comma-separated list of
//   CALL#N=WHAT  the Nth call of CALL in the run (N+: that call and every
//                later one) fails with the Windows error number WHAT; or,
//                for WHAT "kill", the process ends at once before the call
//                as if killed, for "killafter" right after it;
//   scanner      a file about to be moved is first held open for 300 ms
//                without delete sharing, as a virus scanner holds a fresh
//                file.
// A killed run ends with exit code 9 and shows no box; a list that cannot
// be read ends the run with exit code 99.
#include <windows.h>

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
};

struct FaultList {
  std::vector<Fault> faults;
  bool scanner = false;
  std::map<std::string, unsigned> calls;  // so far, by name
  std::set<std::string> scanned;
};

FaultList ReadFaultList() {
  FaultList list;
  const char* text = getenv("GRAVELHORN_FAULTS");
  std::istringstream items(text != nullptr ? text : "");
  for (std::string item; std::getline(items, item, ',');) {
    const size_t hash = item.find('#'), equals = item.find('=');
    if (item == "scanner") {
      list.scanner = true;
    } else if (hash != std::string::npos && equals != std::string::npos && hash + 1 < equals &&
               atoi(item.c_str() + hash + 1) > 0) {
      list.faults.push_back({item.substr(0, hash), item.substr(equals + 1),
                             unsigned(atoi(item.c_str() + hash + 1)), item[equals - 1] == '+'});
    } else {
      ExitProcess(99);
    }
  }
  return list;
}

FaultList& Faults() {
  static FaultList list = ReadFaultList();
  return list;
}

[[noreturn]] void Killed() {
  TerminateProcess(GetCurrentProcess(), 9);  // a killed run's exit code
  ExitProcess(9);
}

// Counts a call of name and makes it, or fails it as the list says.
template <typename Result, typename Call>
Result Inject(const char* name, Result failure, Call call) {
  FaultList& list = Faults();
  const unsigned count = ++list.calls[name];
  for (const Fault& fault : list.faults) {
    if (fault.call != name || !(count == fault.first || (fault.andLater && count > fault.first)))
      continue;
    if (fault.what == "killafter") call();
    if (fault.what == "kill" || fault.what == "killafter") Killed();
    SetLastError(DWORD(atoi(fault.what.c_str())));
    return failure;
  }
  return call();
}

DWORD WINAPI CloseLater(LPVOID handle) {
  ::Sleep(300);
  ::CloseHandle(handle);
  return 0;
}

// The stand-in scanner: opens path once, sharing reading and writing but
// not deletion, and lets it go 300 ms later.
void ScanOnce(const char* path) {
  if (!Faults().scanner || !Faults().scanned.insert(path).second) return;
  const HANDLE held = ::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
  if (held == INVALID_HANDLE_VALUE) return;
  const HANDLE thread = ::CreateThread(nullptr, 0, CloseLater, held, 0, nullptr);
  ::CloseHandle(thread != nullptr ? thread : held);
}

}  // namespace

namespace win32 {

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile) {
  return Inject("CreateFileA", INVALID_HANDLE_VALUE, [&] {
    return ::CreateFileA(name, access, share, security, disposition, flags, templateFile);
  });
}

BOOL WriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
  return Inject("WriteFile", FALSE,
                [&] { return ::WriteFile(file, data, size, written, overlapped); });
}

BOOL FlushFileBuffers(HANDLE file) {
  return Inject("FlushFileBuffers", FALSE, [&] { return ::FlushFileBuffers(file); });
}

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

BOOL DeleteFileA(LPCSTR name) {
  return Inject("DeleteFileA", FALSE, [&] { return ::DeleteFileA(name); });
}

BOOL RemoveDirectoryA(LPCSTR name) {
  return Inject("RemoveDirectoryA", FALSE, [&] { return ::RemoveDirectoryA(name); });
}

BOOL SetFileAttributesA(LPCSTR name, DWORD attributes) {
  return Inject("SetFileAttributesA", FALSE,
                [&] { return ::SetFileAttributesA(name, attributes); });
}

void Sleep(DWORD milliseconds) { ::Sleep(milliseconds); }

}  // namespace win32
