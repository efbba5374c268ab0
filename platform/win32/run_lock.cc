// One run at a time per game on Windows: a named mutex that every run on
// the game waits for and holds until its process ends. The system lets go
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

void HoldGameForThisRun(const char* installPath) {
  char identity[32];
  if (!FolderIdentity(installPath, identity, sizeof identity)) return;
  HANDLE mutex = nullptr;
  for (const char* space : {"Global\\", "Local\\"}) {
    char name[80];
    (void)snprintf(name, sizeof name, "%sGravelhornPatchInstaller-%s", space,
                   identity);
    if ((mutex = CreateMutexA(nullptr, FALSE, name)) != nullptr) break;
  }
  if (mutex == nullptr) return;
  // WAIT_ABANDONED gives the mutex as WAIT_OBJECT_0 does. The handle stays
  // open to the end of the process, which is what holds the game.
  (void)WaitForSingleObject(mutex, INFINITE);
}
