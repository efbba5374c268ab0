// One run at a time per game on Windows: a named mutex that every run on
// the game waits for and holds until its box, and a lock on one byte of
// Game.cod that the Linux program's runs see under Wine. The system lets go
// of it when a run ends however it ends; the next waiter then gets it
// abandoned, which only says that a run was killed (every game file is
// whole or as it was after a kill, see file_replacement.h), and goes on.
//
// The name comes from the game folder's identity (its volume's serial
// number and its file index), not from its path: one folder has many paths
// (any letter case, its short 8.3 name, a junction or a link to it, a
// second drive letter from subst or a mapped share), and two runs that
// spelled it differently must still meet. It sits in the Global\ namespace,
// so that runs in two logon sessions (fast user switching, a remote
// desktop) meet too, and in Local\ where a global object is refused.
#include "platform/run_lock.h"

#include <windows.h>

#include <cstdio>
#include <initializer_list>

namespace {

// The identity of the folder installPath as text, "VVVVVVVV-IIIIIIIIIIIIIIII"
// (volume serial number, file index), into identity; false when the folder
// cannot be opened.
bool FolderIdentity(const char* installPath, char* identity,
                    size_t identitySize) {
  // No access asked for: the identity needs none, and no other program is
  // kept from anything while the handle is open.
  const HANDLE folder = CreateFileA(
      installPath, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION information;
  const bool known = GetFileInformationByHandle(folder, &information) != FALSE;
  CloseHandle(folder);
  if (!known) return false;
  const int length =
      snprintf(identity, identitySize, "%08lX-%08lX%08lX",
               static_cast<unsigned long>(information.dwVolumeSerialNumber),
               static_cast<unsigned long>(information.nFileIndexHigh),
               static_cast<unsigned long>(information.nFileIndexLow));
  return length > 0 && size_t(length) < identitySize;
}

}  // namespace

namespace {

// The byte the two programs lock: 1 TiB into Game.cod, past any game's.
// Under Wine the lock is an fcntl lock on the host file, which the Linux
// program's lock on the same byte excludes.
const DWORD kSharedByteHigh = 0x100;

HANDLE heldMutex = nullptr;
HANDLE heldArchive = INVALID_HANDLE_VALUE;

DWORD MillisecondsSince(ULONGLONG start) {
  return DWORD(GetTickCount64() - start);
}

// Takes the byte of Game.cod, waiting until the deadline; false when
// another program still holds it then. A file system without such locks
// counts as taken.
bool TakeSharedByte(ULONGLONG start) {
  for (;;) {
    OVERLAPPED at = {};
    at.OffsetHigh = kSharedByteHigh;
    if (LockFileEx(heldArchive,
                   LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                   &at))
      return true;
    if (GetLastError() != ERROR_LOCK_VIOLATION) return true;
    if (MillisecondsSince(start) >= kLongestWaitForAnotherRun * 1000u)
      return false;
    Sleep(50);
  }
}

}  // namespace

bool HoldGameForThisRun(const char* installPath, const char*) {
  char identity[32];
  if (!FolderIdentity(installPath, identity, sizeof identity)) return true;
  for (const char* space : {"Global\\", "Local\\"}) {
    char name[80];
    (void)snprintf(name, sizeof name, "%sGravelhornPatchInstaller-%s", space,
                   identity);
    if ((heldMutex = CreateMutexA(nullptr, FALSE, name)) != nullptr) break;
  }
  const ULONGLONG start = GetTickCount64();
  // WAIT_ABANDONED gives the mutex as WAIT_OBJECT_0 does.
  if (heldMutex != nullptr &&
      WaitForSingleObject(heldMutex, kLongestWaitForAnotherRun * 1000u) ==
          WAIT_TIMEOUT) {
    CloseHandle(heldMutex);
    heldMutex = nullptr;
    return false;
  }
  char archive[MAX_PATH];
  const int length =
      snprintf(archive, sizeof archive, "%sGame.cod", installPath);
  if (length > 0 && size_t(length) < sizeof archive)
    heldArchive =
        CreateFileA(archive, GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (heldArchive != INVALID_HANDLE_VALUE && !TakeSharedByte(start)) {
    LetGoOfGame();
    return false;
  }
  return true;
}

void LetGoOfGame() {
  // Closing the handles lets go of the byte and of the mutex (which an
  // ended process lets go of anyway, as abandoned).
  if (heldArchive != INVALID_HANDLE_VALUE) CloseHandle(heldArchive);
  heldArchive = INVALID_HANDLE_VALUE;
  if (heldMutex != nullptr) {
    ReleaseMutex(heldMutex);
    CloseHandle(heldMutex);
  }
  heldMutex = nullptr;
}
