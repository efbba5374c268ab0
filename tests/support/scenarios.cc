#include "tests/support/scenarios.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <regex>
#include <stdexcept>

#include "filesystem/ascii_case.h"
#include "filesystem/fff_format.h"
#include "installer/messages.h"
#include "platform/code_page.h"
#include "platform/shown_text.h"
#include "tests/support/sample_patch.h"

namespace {

using std::string_literals::operator""s;
using Folder = const std::string&;

// Named like the patch's files, at the root of the current drive (drive_c).
const char* const kPlantedAtTheDriveRoot[] = {"Gravelhorn_d3d.exe", "Patch_eng.cod"};

// The bytes of the sample's member name, found as the installer finds it,
// in any letter case: an executable names itself, a language's archive
// holds its own text and the menu of v1.2.
std::string MemberBytes(const Scenario& scenario, const std::string& name) {
  for (const std::string& member : SamplePatchMembers()) {
    if (!EqualIgnoringAsciiCase(member, name)) continue;
    if (scenario.largeMember != nullptr && member == scenario.largeMember) {
      // Bytes that differ along the file (251 is prime), so that a block
      // written from the wrong place shows.
      std::string large(scenario.largeSize, '\0');
      for (size_t at = 0; at < large.size(); ++at) large[at] = char(at % 251);
      return large;
    }
    if (member.ends_with(".exe")) return "MZ " + member + " v1.2";
    return BuildFffArchive({{"Cfg/Menu.cfg", "[Version]\r\nversion=v1.2\r\n"},
                            {"Text" + member, "text of " + member}});
  }
  throw std::runtime_error("the sample Patch.dat has no member " + name);
}

// Every code of the language list, as the Language hint lists them.
const std::string kListedCodes = CatalogueCodeList();

// A summary's labels: path, base version, upgraded version, last line.
typedef std::array<const char*, 4> Labels;
const Labels kEnglish = {"Path:", "Base version:", "Upgraded version:", "Installed."};
const char kGermanTitle[] = "KIESELFUCHS-Patch-Installation";

std::string Summary(const Labels& label, const std::string& code,
                    const std::string& path = "C:\\Games\\GHR\\",
                    const std::string& base = "v1.1") {
  return " "s + label[0] + "\t " + path + " \n " + label[1] + "\t " + base + " (" + code + ")\n " +
         label[2] + "\t Gravelhorn v1.2 (" + code + ")\n\n " + label[3] + "\n";
}

std::string GermanEditionSummary(const std::string& path) {
  return " Path:\t\t" + path + " \n Basic version:\tv1.1 (ger)\n Upgraded version:\t" +
         "Kieselfuchs v1.2 (ger)\n\n Installed.\n";
}

// Wine keeps the DOS attributes (0x2 hidden, 0x4 system) of a file as hex
// text in this extended attribute. Where the file system has none, there
// is nothing to set or keep.
const char kDosAttributes[] = "user.DOSATTRIB";
void SetDosAttributes(const std::string& path, const std::string& value) {
  if (setxattr(path.c_str(), kDosAttributes, value.data(), value.size(), 0) != 0 &&
      errno != ENOTSUP)
    throw std::runtime_error("cannot set the DOS attributes of " + path);
}
// Expects path's DOS attributes to be value, where the file system keeps
// them ("": hidden, whatever else the value holds).
void ExpectDosAttributes(const std::string& path, const std::string& value = "") {
  char held[1024] = "";
  const ssize_t length = getxattr(path.c_str(), kDosAttributes, held, sizeof held - 1);
  if (length < 0 && errno == ENOTSUP) return;
  if (!value.empty())
    EXPECT_EQ(value, std::string(held, size_t(std::max<ssize_t>(length, 0))));
  else
    EXPECT_TRUE(length > 0 && (strtoul(held, nullptr, 16) & 0x2) != 0)
        << path << " is not hidden: " << kDosAttributes << " '" << held << "'";
}
// Newer Wine keeps more than the attributes' text in the value.
const std::string kLongAttributes = "0x2" + std::string(397, '.');

// A file beside the game's folder, which no run may change.
// (LayOutScenario makes the folder Elsewhere.)
std::string Outside(const std::string& game, const std::string& name) {
  return game + "/../../Elsewhere/" + name;
}

const char kGhr[] = "C:\\Games\\GHR\\";
const char kNoGame[] = "Gravelhorn not found or the registry not correct!";
const std::string kVersion = "[Version]\r\nversion=";  // a menu's version, up to its value

std::string CannotWrite(const std::string& file, const std::string& folder = "C:\\Games\\GHR") {
  return "Unable to open the following file for writing : " + folder + "\\\\" + file;
}

// Hints as rows give them: each line without its "patch_installer: ", and
// without the first line where the run names its prefix the default way.
const std::string kPrefixLine = "Wine prefix: <prefix> (from WINEPREFIX)\n";
const char kNameIt[] = "name the game's prefix: patch_installer --prefix DIR\n";
const char kFoundInSteam[] =
    "the game's key is in the prefix <prefix>: patch_installer --prefix '<prefix>'\n";
const std::string kFoundNowhere =
    "no prefix that patch_installer --list looks through holds the game's key\n";
const std::string kServerRunning =
    "a Wine server is running for this prefix, and Wine writes the registry to system.reg only now "
    "and then and when it ends: close the prefix's programs or run WINEPREFIX='<prefix>' "
    "wineserver -w, then run patch_installer again\n";
const std::string kNoInstallpathLine =
    "the game's key has no Installpath value: the game's folder is unknown\n";
const std::string kNoInstallpathHints =
    kNoInstallpathLine + "\\\\Gravelhorn_d3d.exe: a network path, never a file of this computer\n";
// Where the menu is looked for in the game's archives.
const std::string kGameOnHost = "<prefix>/drive_c/Games/GHR";
const std::string kArchivesIn = " the game's folder C:\\Games\\GHR (" + kGameOnHost + "): ";
const std::string kMissingIn = "Cfg\\Menu.cfg is read from the game's archives, missing in";

// The hints of a key only in the registry's 64-bit view: a command that
// adds each of the values named (or, without any, the key) to the 32-bit
// view.
std::string In64BitViewHints(const std::vector<std::string>& values) {
  std::string hints =
      "the game's key is only in the registry's 64-bit view (HKLM\\Software\\Quillfern\\GHR), "
      "not in the 32-bit view where the game's setup writes it and the patch reads it; to "
      "register it in the 32-bit view:\n"s;
  for (const std::string& value : values)
    hints += "  WINEPREFIX='<prefix>' wine reg add 'HKLM\\Software\\Quillfern\\GHR'" + value +
             " /reg:32 /f\n";
  return hints + kFoundNowhere;
}

// The hints for a game folder that is missing: where it is, and that the
// menu is read from its archives, which are missing with it.
std::string MissingFolderHints(const std::string& folder, const std::string& host) {
  return "the game's folder " + folder + " is " + host + ": No such file or directory\n" +
         kMissingIn + " the game's folder " + folder + " (" + host +
         "): Patch12.cod, Language.cod, Game.cod\n";
}

// A prefix without the game's key, at path in the home folder of the
// game's prefix (Steam's, whose game folder lies ten folders below it).
void WritePrefixInHome(const std::string& game, const std::string& path) {
  WriteFileBytes(game + "/../../../../../../../../../../" + path + "/system.reg",
                 "WINE REGISTRY Version 2\n");
}

// The game's menu beside its archives, found on disk where the run starts.
void WriteMenuOnDisk(Folder game) { WriteFileBytes(game + "/Cfg/Menu.cfg", kVersion + "v1.1\r\n"); }

// The same in a folder beside drive_c that is drive d: (not z:, the host's
// root, which a fault would write into).
void WriteMenuOnDiskOfDriveD(const std::string& game) {
  WriteMenuOnDisk(game);
  std::filesystem::remove(game + "/../dosdevices/d:");
  std::filesystem::create_directory_symlink("../Outside", game + "/../dosdevices/d:");
}
// Where the sample Patch.dat's entry of member begins; the sample with that
// entry renamed, so that a run finds no member of that name.
size_t EntryOf(const std::string& patch, const std::string& member) {
  for (size_t at = kFffHeaderSize; at + kDirectoryEntrySize <= patch.size();
       at += kDirectoryEntrySize)
    if (patch.compare(at, member.size() + 1, member.c_str(), member.size() + 1) == 0) return at;
  throw std::runtime_error("the sample Patch.dat has no entry " + member);
}
std::string Without(std::string patch, const std::string& member) {
  return patch.replace(EntryOf(patch, member) + 1, 1, "_");
}
// The hints after a Patch.dat cut short inside member, or without it.
const char kWholeNeeded[] = ": the patch needs a whole Patch.dat; download it again\n";
const std::string kPatchDatOnHost = "Patch.dat (<prefix>/drive_c/Patch/Patch.dat)";
std::string CutShort(const std::string& member, uint64_t end, int held) {
  return kPatchDatOnHost + " is cut short: " + member + " ends at byte " + std::to_string(end) +
         ", but the file holds " + std::to_string(held) + " bytes" + kWholeNeeded;
}
std::string Lacking(const std::string& member) {
  return kPatchDatOnHost + " has no " + member + ", which the run installs" + kWholeNeeded;
}

// A game folder's name that would drive a terminal and forge a line, as
// the hints show it.
const std::string kControls = "C:\\Games\\GHR\\x1B]0;owned\\x07\\x1B[2J\\x0Afolder:   fake\\x81";
const std::string kControlsOnHost = "<prefix>/drive_c/Games/" + kControls.substr(9);
const std::string kKieselfuechs = "Kieself\xC3\xBC"s + "chs";  // an accented folder, UTF-8

std::vector<Scenario> BuildScenarios() {
  const std::string longPath = "C:\\" + std::string(100, 'x') + "\\" + std::string(100, 'y') +
                               "\\" + std::string(50, 'z');  // 255 characters
  const std::string l224(224, 'L'), l226(226, 'L'), l227 = l226 + "L", e15(15, 'e');
  const std::string g224 = "C:\\Games\\" + l224, g226 = "C:\\Games\\" + l226, g227 = g226 + "L";
  // A row reads best as the few fields it sets, as written.
  using enum Key;
  using enum Server;
  std::vector<Scenario> rows = {
      {.name = "English", .again = Again::kRefused, .onWindows = true},
      {.name = "Hungarian",
       .language = "hun",
       .caption = "Gravelhorn Patch Instal\xE1l\xF3 program",
       .text = Summary({"\xDAtvonal:", "Alap verzi\xF3:", "Friss\xEDtett verzi\xF3:",
                        "Intalal\xE1s befejezve."},
                       "hun"),
       .onWindows = true},
      {.name = "GermanEdition",
       .language = "ger",
       .caption = kGermanTitle,
       .text = GermanEditionSummary(kGhr),
       .onWindows = true},
      // German texts, but the edition's search for "ger" is case-sensitive;
      // \Patch_GER.cod finds the member Patch_ger.cod.
      {.name = "UpperCaseGer",
       .language = "GER",
       .caption = kGermanTitle,
       .text =
           Summary({"Pfad:", "Basis-Version:", "Aktualisierte Version:", "installiert."}, "GER"),
       .onWindows = true},
      {.name = "GermanWithoutItsLanguagePatch",
       .language = "german",
       .error = "File not found: \\Patch_german.cod",
       .onWindows = true},
      {.name = "EmptyLanguage", .language = "", .text = Summary(kEnglish, ""), .onWindows = true},
      // 15 characters fill LanguageValue with its zero; 16 do not fit.
      {.name = "LanguageOf15", .language = e15, .error = "File not found: \\Patch_" + e15 + ".cod"},
      {.name = "LanguageOf16",
       .language = e15 + "e",
       .error = "The registry not correct!",
       .onWindows = true,
       .hints = "the game's Language value is longer than the 15 characters the patch reads (" +
                kListedCodes + ")\n"},
      // A game at v1.2 is patched already, and a hint says so; one at V1.1 is not.
      {.name = "RefusedVersion",
       .language = "fra",
       .menu = "[Version]\r\nversion=Gravelhorn v1.2\r\n",
       .error = "Cette mise \xE0 jour est ant\xE9rieure \xE0 votre version de Gravelhorn",
       .onWindows = true,
       .hints = "the game reads as Gravelhorn v1.2, the version this patch makes: it is patched "
                "already, and nothing needs doing\n"},
      // Run where Patch.dat is not.
      {.name = "NoPatchDat",
       .installPath = kGhr,
       .language = "spa",
       .workingFolder = "Elsewhere",
       .error = "Archivo no encontrado: \\Gravelhorn_d3d.exe",
       .onWindows = true,
       .hints = "Patch.dat is <prefix>/drive_c/Elsewhere/Patch.dat: No such file or directory: run "
                "patch_installer in the folder that holds Patch.dat\n"},
      {.name = "NoRegistryKey", .key = kMissing, .error = kNoGame, .onWindows = true},
      // Wine saves a key with a subkey but no values through the subkey
      // alone: it opens, empty, and the install path is "\".
      {.name = "KeyOnlyThroughItsSubkey",
       .key = kOnlySubkey,
       .exitCode = 255,
       .text = kNoMenu,
       .onWindows = true,
       .hints = kNoInstallpathLine +
                "the game's key has no Language value\nCfg\\Menu.cfg is "
                "<prefix>/drive_c/Patch/Cfg/Menu.cfg: No such file or directory\n"},
      // 255 characters and the zero fill the 256 bytes read; 256 do not fit.
      {.name = "InstallPathOf255",
       .installPath = longPath,
       .exitCode = 255,
       .text = kNoMenu,
       .onWindows = true},
      {.name = "InstallPathOf256",
       .installPath = longPath + "z",
       .error = kNoGame,
       .onWindows = true,
       .hints = "the game's Installpath value is longer than the 255 characters the patch reads\n"},
      // Destinations of 256 bytes and more are never cut, but refused.
      {.name = "DestinationOf256",
       .installPath = g227,
       .gameFolder = "Games/" + l227,
       .error = CannotWrite("Gravelhorn_d3d.exe", g227)},
      {.name = "DestinationsOf255And257",
       .installPath = g226,
       .gameFolder = "Games/" + l226,
       .error = CannotWrite("Gravelhorn_glide.exe", g226)},
      // A leftover of the new file at the longest path is known for what it is
      // (Windows says where it is in more than MAX_PATH characters).
      {.name = "LeftoverOfTheNewFileAtTheLongestPath",
       .installPath = g224,
       .gameFolder = "Games/" + l224,
       .prepare =
           [](Folder game) {
             WriteFileBytes(game + "/Gravelhorn_glide.exe.tmp", "MZ /Gravelhorn_glide.exe v1.2");
           },
       .text = EnglishSummary(g224 + "\\"),
       .onWindows = true},
      // Where the destination is missing, a leftover that starts with the
      // new file's bytes but runs on is no copy of it: the file is written anew.
      {.name = "LeftoverLongerThanTheNewFile",
       .prepare =
           [](Folder game) {
             std::filesystem::remove(game + "/Gravelhorn_glide.exe");
             WriteFileBytes(game + "/Gravelhorn_glide.exe.tmp",
                            "MZ /Gravelhorn_glide.exe v1.2 and more");
           },
       .onWindows = true},
      // A leftover of the new file's size but with other bytes is no copy of
      // it either.
      {.name = "LeftoverOfTheNewFilesSizeWithOtherBytes",
       .prepare =
           [](Folder game) {
             std::filesystem::remove(game + "/Gravelhorn_glide.exe");
             WriteFileBytes(game + "/Gravelhorn_glide.exe.tmp", "MZ /Gravelhorn_glide.exe v1.3");
           },
       .onWindows = true},
      {.name = "MissingInstallFolder",
       .installPath = "C:\\Games\\Gone",
       .language = "ita",
       .exitCode = 255,
       .caption = "Installer della patch di Gravelhorn",
       .text = "File non trovato:\tCfg\\Menu.cfg\n\nImpossibile aggiornare i file.\n",
       .onWindows = true},
      // Folder names with accents: UTF-16 in the registry, UTF-8 on the host.
      {.name = "AccentedGermanFolder",
       .installPath = "C:\\Spiele\\" + kKieselfuechs,
       .language = "ger",
       .gameFolder = "Spiele/" + kKieselfuechs,
       .caption = kGermanTitle,
       .text = GermanEditionSummary("C:\\Spiele\\Kieself\xFC"
                                    "chs\\"),
       .onWindows = true},
      {.name = "AccentedFolderInOtherCase",
       .installPath = "C:\\SPIELE\\KIESELF\xC3\x9C"
                      "CHS",
       .language = "ger",
       .gameFolder = "Spiele/" + kKieselfuechs,
       .caption = kGermanTitle,
       .text = GermanEditionSummary("C:\\SPIELE\\KIESELF\xDC"
                                    "CHS\\"),
       .onWindows = true},
      // The patch's files come from Patch.dat alone: files named like them
      // at the root of the drive, where any user may write, are not installed.
      {.name = "FilesPlantedAtTheDriveRoot",
       .prepare =
           [](Folder game) {
             for (const char* name : kPlantedAtTheDriveRoot)
               WriteFileBytes(game + "/../../" + name, "MZ");
           },
       .onWindows = true},
      // ... nor are files named like them in the game's own archives, which
      // the run reads only for the game's version.
      {.name = "PatchFilesInTheGameArchive",
       .prepare =
           [](Folder game) {
             WriteFileBytes(game + "/Game.cod",
                            BuildFffArchive({{"Cfg/Menu.cfg", kVersion + "v1.1\r\n"},
                                             {"/Gravelhorn_d3d.exe", "MZ from Game.cod"},
                                             {"/Patch_eng.cod", "from Game.cod"}}));
           },
       .onWindows = true},
      // An archive that is a fifo is a file that cannot be opened; nothing
      // waits for a writer at its other end.
      {.name = "GameCodIsAFifo",
       .prepare = [](Folder game) { Fifo(game + "/Game.cod"); },
       .exitCode = 255,
       .text = kNoMenu,
       .onWindows = true,
       .hints = kMissingIn + kArchivesIn + "Game.cod\n"},
      {.name = "PatchDatIsAFifo",
       .prepare = [](Folder game) { Fifo(game + "/Patch.dat"); },
       .workingFolder = "Games/GHR",
       .error = "File not found: \\Gravelhorn_d3d.exe",
       .onWindows = true,
       .hints = "Patch.dat is " + kGameOnHost +
                "/Patch.dat: not a regular file: run patch_installer in the folder that holds "
                "Patch.dat\n"},
      // Windows refuses to replace a read-only file, also for root.
      {.name = "ReadOnlyPatch12",
       .prepare = [](Folder game) { chmod((game + "/Patch12.cod").c_str(), 0444); },
       .error = CannotWrite("Patch12.cod"),
       .onWindows = true,
       .hints = "C:\\Games\\GHR\\\\Patch12.cod is " + kGameOnHost +
                "/Patch12.cod: read-only, which Windows never replaces\n"},
      // A noted file that the box names only within a longer name gets no
      // hint: here the menu, not in the patch folder, is no fault.
      {.name = "MenuInTheInstallpath",
       .installPath = "C:\\Games\\xCfg\\Menu.cfg",
       .gameFolder = "Games/xCfg/Menu.cfg",
       .prepare = [](Folder game) { chmod((game + "/Patch12.cod").c_str(), 0444); },
       .error = CannotWrite("Patch12.cod", "C:\\Games\\xCfg\\Menu.cfg"),
       .hints = "C:\\Games\\xCfg\\Menu.cfg\\\\Patch12.cod is "
                "<prefix>/drive_c/Games/xCfg/Menu.cfg/Patch12.cod: read-only, which Windows never "
                "replaces\n"},
      {.name = "FolderWhereAnExecutableBelongs",
       .prepare =
           [](Folder game) {
             std::filesystem::remove(game + "/Gravelhorn_gl.exe");
             MakeFolders(game + "/Gravelhorn_gl.exe");
           },
       .error = CannotWrite("Gravelhorn_gl.exe"),
       .hints = "C:\\Games\\GHR\\\\Gravelhorn_gl.exe is " + kGameOnHost +
                "/Gravelhorn_gl.exe: not a file\n"},
      // A killed run's temporary file, or whatever else holds a temporary
      // name, goes, and nothing is written through it. (Under Wine a link
      // there stays, refused, since Wine would delete its target: see the
      // Windows test build's cases.)
      {.name = "LeftoversOfEveryKind",
       .prepare =
           [](Folder game) {
             WriteFileBytes(game + "/Gravelhorn_d3d.exe.tmp", "read-only");
             chmod((game + "/Gravelhorn_d3d.exe.tmp").c_str(), 0444);
             WriteFileBytes(game + "/Gravelhorn_glide.exe.tmp", "hidden");
             SetDosAttributes(game + "/Gravelhorn_glide.exe.tmp", "0x2");
             MakeFolders(game + "/Patch12.cod.tmp");
           },
       .onWindows = true},
      // A folder with something in it where a temporary file goes stays in
      // the way.
      {.name = "FolderInTheWayOfATemporaryFile",
       .prepare = [](Folder game) { MakeFolders(game + "/Patch12.cod.tmp/inside"); },
       .error = CannotWrite("Patch12.cod.tmp"),
       .onWindows = true,
       .hints = "C:\\Games\\GHR\\\\Patch12.cod.tmp is " + kGameOnHost +
                "/Patch12.cod.tmp: in the way, and it cannot be removed\n"},
      {.name = "LinksAndAFifoLeftOver",
       .prepare =
           [](Folder game) {
             WriteFileBytes(Outside(game, "target"), "outside");
             if (symlink("../../Elsewhere/target", (game + "/Gravelhorn_d3d.exe.tmp").c_str()) !=
                     0 ||
                 symlink("nowhere", (game + "/Gravelhorn_glide.exe.tmp").c_str()) != 0 ||
                 mkfifo((game + "/Patch12.cod.tmp").c_str(), 0644) != 0)
               throw std::runtime_error("cannot lay out the leftovers in " + game);
           }},
      // A destination linked outside the game folder is replaced, never the
      // link's target; a hidden one stays hidden.
      {.name = "LinkedAndHiddenDestinations",
       .prepare =
           [](Folder game) {
             std::filesystem::rename(game + "/Gravelhorn_gl.exe",
                                     Outside(game, "Gravelhorn_gl.exe"));
             std::filesystem::create_symlink("../../Elsewhere/Gravelhorn_gl.exe",
                                             game + "/Gravelhorn_gl.exe");
             SetDosAttributes(game + "/Patch12.cod", "0x2");
           },
       .check =
           [](Folder game) {
             EXPECT_EQ("MZ v1.1", ReadFileBytes(Outside(game, "Gravelhorn_gl.exe")));
             ExpectDosAttributes(game + "/Patch12.cod");
           },
       .onWindows = true},
      // The install folder is a small file system that fills up while one
      // file is written: that file stays as it was, and with room the next
      // run patches the game.
      {.name = "DiskFullAtPatch12",
       .largeMember = "/Patch_eng.cod",
       .mount = Mount::kSmallDisk,
       .error = CannotWrite("Patch12.cod"),
       .newFiles = 3,
       .again = Again::kPatchedWithRoom,
       .hints = "C:\\Games\\GHR\\\\Patch12.cod is " + kGameOnHost +
                "/Patch12.cod: No space left on device\n"},
      // A file is written in requests of 4 MiB at most, the last of one byte.
      {.name = "ExecutableOf4MiBAndAByte",
       .largeMember = "/Gravelhorn_d3d.exe",
       .largeSize = (4 << 20) + 1,
       .onWindows = true},
      // A limit on a file's size (ulimit -f) fails the file that exceeds it,
      // with its box, never the run.
      {.name = "FileSizeLimit",
       .largeMember = "/Patch_eng.cod",
       .error = CannotWrite("Patch12.cod"),
       .newFiles = 3,
       .shell = "exec /usr/bin/prlimit --fsize=51200 \"$@\"",
       .hints = "C:\\Games\\GHR\\\\Patch12.cod is " + kGameOnHost +
                "/Patch12.cod: larger than the limit on a file's size (ulimit -f), 51200 bytes\n"},
      {.name = "ReadOnlyInstallFolder",
       .mount = Mount::kReadOnly,
       .error = CannotWrite("Gravelhorn_d3d.exe"),
       .hints = "the folder " + kGameOnHost +
                ", where C:\\Games\\GHR\\\\Gravelhorn_d3d.exe goes, cannot be written: Read-only "
                "file system\n"},
      // A damaged Patch.dat is named, and nothing is written.
      {.name = "PatchDatCutInItsHeader",
       .patchDat = [](std::string p) { return p.substr(0, 27); },
       .exitCode = 255,
       .text = "REGISTER_FFF: file header error! (Patch.dat)"},
      {.name = "PatchDatClaimsAHugeDirectory",
       .patchDat = [](std::string p) { return With32(p.substr(0, 28), 24, 0xFFFFFFFFu); },
       .exitCode = 255,
       .text = "REGISTER_FFF: file entries error (Patch.dat)"},
      {.name = "MemberPastTheEndOfPatchDat",
       .patchDat = [](std::string p) { return With32(p, 28 + 132, 0x7FFFFFFF); },
       .error = "Unable to update the files.  \\Gravelhorn_d3d.exe",
       .onWindows = true,
       .hints = CutShort("/Gravelhorn_d3d.exe", 2147485443, 4389)},
      {.name = "MemberOf2GiB",
       .patchDat = [](std::string p) { return With32(p, 28 + 132, 0x80000000); },
       .error = "Unable to update the files.  \\Gravelhorn_d3d.exe",
       .hints =
           kPatchDatOnHost +
           " holds /Gravelhorn_d3d.exe with a size of 2 GiB or more, which the patch cannot copy" +
           kWholeNeeded},
      // A Patch.dat cut short (a download that stopped part-way) or without a
      // file (a publisher's slip) is found before any game file is replaced:
      // the box of that file's copy, and a hint that names Patch.dat. The
      // sample's six executables lie at bytes 1796 to 1963, its language
      // archives of 347 bytes (344 for the empty code's) from there on.
      {.name = "PatchDatCutInTheFirstExecutable",
       .patchDat = [](std::string p) { return p.substr(0, 1800); },
       .error = "Unable to update the files.  \\Gravelhorn_d3d.exe",
       .onWindows = true,
       .hints = CutShort("/Gravelhorn_d3d.exe", 1823, 1800)},
      // A member of one byte that lies just past the end.
      {.name = "OneByteMemberPastTheEnd",
       .patchDat =
           [](std::string p) {
             const size_t entry = EntryOf(p, "/Patch_eng.cod");
             return With32(With32(p, entry + 128, uint32_t(p.size())), entry + 132, 1);
           },
       .error = "Unable to update the files.  \\Patch_eng.cod",
       .hints = CutShort("/Patch_eng.cod", 4390, 4389)},
      {.name = "PatchDatCutInTheLastExecutable",
       .language = "ger",
       .patchDat = [](std::string p) { return p.substr(0, 1962); },
       .error = "Aktualisierung der Dateien nicht m\xF6glich.  \\Kieselfuchs_gl.exe",
       .hints = CutShort("/Kieselfuchs_gl.exe", 1963, 1962)},
      {.name = "PatchDatCutInTheLanguageArchive",
       .patchDat = [](std::string p) { return p.substr(0, 2400); },
       .error = "Unable to update the files.  \\Patch_eng.cod",
       .hints = CutShort("/Patch_eng.cod", 2654, 2400)},
      {.name = "PatchDatOneByteShort",
       .language = "ita",
       .patchDat = [](std::string p) { return p.substr(0, p.size() - 1); },
       .error = "Impossibile aggiornare i file. \\Patch_ita.cod",
       .onWindows = true,
       .hints = CutShort("/Patch_ita.cod", 4389, 4388)},
      {.name = "PatchDatWithoutAnExecutable",
       .patchDat = [](std::string p) { return Without(p, "/Gravelhorn_gl.exe"); },
       .error = "File not found: \\Gravelhorn_gl.exe",
       .onWindows = true,
       .hints = Lacking("/Gravelhorn_gl.exe")},
      {.name = "PatchDatWithoutAGermanExecutable",
       .language = "ger",
       .patchDat = [](std::string p) { return Without(p, "/Kieselfuchs_d3d.exe"); },
       .error = "Datei nicht gefunden: \\Kieselfuchs_d3d.exe",
       .hints = Lacking("/Kieselfuchs_d3d.exe")},
      {.name = "ReadOnlyPatch12OfTheGermanEdition",
       .language = "ger",
       .prepare = [](Folder game) { chmod((game + "/Patch12.cod").c_str(), 0444); },
       .error = "Kann folgende Datei zum Beschreiben nicht \xF6"
                "ffnen: C:\\Games\\GHR\\\\Patch12.cod"},
      // Values of other types come as their bytes: a dword path is "\x01";
      // a binary language without a zero is measured by its length.
      {.name = "DwordInstallPath",
       .registryLines = "\"Installpath\"=dword:00000001\n\"Language\"=\"eng\"\n",
       .exitCode = 255,
       .text = kNoMenu},
      {.name = "BinaryLanguageOf16",
       .registryLines = "\"Installpath\"=\"C:\\\\Games\\\\GHR\"\n\"Language\"=hex:65,6e,67,6c,69,"
                        "73,68,20,65,6e,67,6c,69,73,68,21\n",
       .error = "The registry not correct!"},
      // The version as the reader finds it.
      {.name = "LabelInsideALongerValue",
       .menu = kVersion + "Gravelhorn v1.1 (build 2)\r\n",
       .text = EnglishSummary(kGhr, "Gravelhorn v1.1 (build 2)")},
      {.name = "LabelsAreCaseSensitive",
       .menu = kVersion + "V1.1\r\n",
       .error = kTooOldText,
       .hints = ""},
      {.name = "AFirstKeyWithAValueIsFinal",
       .menu = kVersion + "v1.2\r\nVersion=v1.0\r\n",
       .error = kTooOldText},
      {.name = "TheSecondKeyWhenTheFirstIsEmpty",
       .menu = kVersion + "\r\nVersion=v1.0\r\n",
       .text = EnglishSummary(kGhr, "v1.0")},
      {.name = "ThePatchArchiveWinsOverTheGame",
       .patch12Menu = kVersion + "v1.0 patched\r\n",
       .text = EnglishSummary(kGhr, "v1.0 patched")},
      {.name = "BareLineFeeds", .menu = "[Menu]\nversion=0\n[Version]\nversion=v1.1\n"},
      // A header followed at once by the next on its own line ends there.
      {.name = "SectionWithNothingInIt",
       .menu = "[Version]\n[Menu]\nversion=v1.1\n",
       .error = kTooOldText},
      {.name = "NoLineEndAtTheEnd", .menu = kVersion + "v1.1"},
      // A menu that runs past its archive's end is read to that end, its last byte included.
      {.name = "MenuPastTheEndOfPatch12",
       .patch12Menu = kVersion + "v1.1",
       .prepare =
           [](Folder game) {
             WriteFileBytes(game + "/Patch12.cod", With32(ReadFileBytes(game + "/Patch12.cod"),
                                                          28 + 136 + 132, 0x7FFFFFFF));
           },
       .onWindows = true},
      // A value is cut to 16383 bytes, the version shown to 255.
      {.name = "ValueOver16KiB",
       .menu = kVersion + "v1.1" + std::string(20000, 'x') + "\r\n",
       .text = EnglishSummary(kGhr, "v1.1" + std::string(251, 'x'))},
      {.name = "LabelPastTheValuesRoom",
       .menu = kVersion + std::string(16383, 'x') + "v1.1\r\n",
       .error = kTooOldText},
      {.name = "ZeroByteBeforeTheEntry",
       .menu = "[Version]\r\n\0version=v1.1\r\n"s,
       .error = kTooOldText},
      // The prefix named wrongly: the box of a prefix without the game, and
      // after it what is wrong and the command that finds the game.
      // Named nowhere, without ~/.wine: the one prefix that holds the game is
      // patched; where two hold it, neither is, and both are named.
      {.name = "TheOnePrefixThatHoldsTheGame",
       .prefixGiven = "",
       .hints = "Wine prefix: <prefix> (WINEPREFIX is not set and <home>/.wine does not hold the "
                "game; the only prefix that patch_installer --list finds it in)\n"},
      {.name = "TwoPrefixesHoldTheGame",
       .prepare =
           [](Folder game) {
             WriteGameKeyTo(game + "/../../../../../../../../../../Games/other",
                            {{"Installpath", "C:\\Games\\GHR"}});
           },
       .error = kNoGame,
       .prefixGiven = "",
       .hints =
           "Wine prefix: <home>/.wine (WINEPREFIX is not set)\ncannot open the prefix <home>/.wine: No such file or directory\n"s +
           kNameIt + kFoundInSteam +
           "the game's key is in the prefix <home>/Games/other: patch_installer --prefix "
           "'<home>/Games/other'\n"},
      {.name = "NoHomeAndNoWineprefix",
       .error = kNoGame,
       .prefixGiven = "HOME",
       .hints = "no Wine prefix: neither WINEPREFIX nor HOME is set\n"s + kNameIt + kFoundNowhere},
      {.name = "NoSuchPrefix",
       .error = kNoGame,
       .prefixGiven = "--prefix <home>/gone/",
       .hints =
           "Wine prefix: <home>/gone (from --prefix)\ncannot open the prefix <home>/gone: No such file or directory\n"s +
           kFoundInSteam},
      {.name = "PrefixIsItsSystemReg",
       .error = kNoGame,
       .prefixGiven = "WINEPREFIX=<prefix>/system.reg",
       .hints =
           "Wine prefix: <prefix>/system.reg (from WINEPREFIX)\nthe prefix <prefix>/system.reg is not a folder\n"s +
           kFoundInSteam},
      {.name = "PrefixIsItsDriveC",
       .error = kNoGame,
       .prefixGiven = "WINEPREFIX=<prefix>/drive_c",
       .hints =
           "Wine prefix: <prefix>/drive_c (from WINEPREFIX)\n<prefix>/drive_c has no system.reg: "
           "it is not a Wine prefix\n"
           "<prefix>/drive_c lies inside the prefix <prefix>: patch_installer --prefix '<prefix>'\n"s +
           kFoundInSteam},
      // A new prefix, still without dosdevices, that is not the game's.
      {.name = "PrefixWithoutTheGame",
       .prepare = [](Folder game) { WritePrefixInHome(game, ".wine"); },
       .error = kNoGame,
       .prefixGiven = "WINEPREFIX=<home>/.wine",
       .hints = "Wine prefix: <home>/.wine (from WINEPREFIX)\n"s + kFoundInSteam},
      // A Proton prefix's folder moved out of Steam's compatdata.
      {.name = "PfxBesideIt",
       .prepare = [](Folder game) { WritePrefixInHome(game, "Games/ghr/pfx"); },
       .error = kNoGame,
       .prefixGiven = "WINEPREFIX=<home>/Games/ghr",
       .hints = "Wine prefix: <home>/Games/ghr (from WINEPREFIX)\n<home>/Games/ghr has no "
                "system.reg: it is not a Wine prefix\n"
                "<home>/Games/ghr/pfx has one: patch_installer --prefix '<home>/Games/ghr/pfx'\n"s +
                kFoundInSteam},
      {.name = "TildeInQuotes",
       .error = kNoGame,
       .prefixGiven = "WINEPREFIX=~/.wine",
       .hints = "no Wine prefix: WINEPREFIX is not an absolute path, which Wine refuses: ~/.wine\n"
                "the shell expands ~ only outside quotes: did you mean <home>/.wine?\n"s +
                kFoundInSteam},
      // Steam's folder for the game stands for its prefix, pfx.
      {.name = "ProtonFolder",
       .prefixGiven = "WINEPREFIX=<home>/.local/share/Steam/steamapps/compatdata/4711",
       .hints = "Wine prefix: <prefix> (from WINEPREFIX; Proton keeps it in pfx)\n"},
      // A registry that cannot be read is the fault named, even while the
      // prefix's Wine server runs.
      {.name = "UnreadableRegistry",
       .key = kUnreadable,
       .error = kNoGame,
       .server = kRunning,
       .hints = "cannot read <prefix>/system.reg: Is a directory\n" + kFoundNowhere},
      // The key where 64-bit programs find it, with or without its values.
      {.name = "KeyIn64BitView",
       .key = kIn64BitView,
       .error = kNoGame,
       .hints = In64BitViewHints({" /v Installpath /d 'C:\\Games\\GHR'", " /v Language /d 'eng'"})},
      {.name = "KeyIn64BitViewWithLanguageOnly",
       .key = kIn64BitView,
       .registryLines = "\"Language\"=\"eng\"\n",
       .error = kNoGame,
       .hints = In64BitViewHints({" /v Language /d 'eng'"})},
      {.name = "KeyIn64BitViewWithoutItsValues",
       .key = kIn64BitView,
       .registryLines = "\"Version\"=\"1.1\"\n",
       .error = kNoGame,
       .hints = In64BitViewHints({""})},
      // Wine saves the registry only now and then while its server runs.
      {.name = "KeyNotSavedYet",
       .key = kMissing,
       .error = kNoGame,
       .server = kRunning,
       .hints = kServerRunning + kFoundNowhere},
      // Nor has it saved a new prefix's registry yet.
      {.name = "NewPrefixWithItsServerRunning",
       .key = kNoRegistry,
       .error = kNoGame,
       .server = kRunning,
       .hints = kServerRunning + kFoundNowhere},
      // Wine's registry files take a few MiB: one past 1 GiB is no prefix's (sparse here).
      {.name = "SystemRegPastOneGiB",
       .key = kNoRegistry,
       .prepare =
           [](Folder game) {
             WriteFileBytes(game + "/../../../system.reg", "");
             std::filesystem::resize_file(game + "/../../../system.reg", (1u << 30) + 1);
           },
       .error = kNoGame,
       .hints = "cannot read <prefix>/system.reg: File too large\n" + kFoundNowhere},
      // Nor is a registry or a launcher's list that is no regular file.
      {.name = "SystemRegIsAFifo",
       .key = kFifoRegistry,
       .error = kNoGame,
       .hints = "cannot read <prefix>/system.reg: not a regular file\n" + kFoundNowhere},
      {.name = "LibraryFoldersIsAFifo",
       .key = kMissing,
       .prepare = [](Folder game) { Fifo(game + "/../../../../../../libraryfolders.vdf"); },
       .error = kNoGame,
       .hints = kFoundNowhere},
      // Names and values from outside are shown escaped: no control
      // character reaches the terminal, and none breaks or forges a line.
      {.name = "ControlsInTheInstallpath",
       .installPath = "C:\\Games\\GHR\x1b]0;owned\x07\x1b[2J\nfolder:   fake\xc2\x81",
       .exitCode = 255,
       .text = kNoMenu,
       .hints = MissingFolderHints(kControls, kControlsOnHost)},
      // The game's folder on a disk this computer lacks, through drive z: (a
      // prefix copied from a Mac).
      {.name = "GameFolderOnDriveZ",
       .installPath = "Z:\\Volumes\\External\\GHR",
       .exitCode = 255,
       .text = kNoMenu,
       .hints = MissingFolderHints("Z:\\Volumes\\External\\GHR", "/Volumes/External/GHR")},
      // A reader that went away changes nothing the run does: standard
      // output a fifo whose only reader is closed before the program starts.
      {.name = "StdoutReaderGone",
       .text = "",
       .shell = R"(mkfifo "$0" && exec 3<>"$0" 4>"$0" 3<&- && exec "$@" >&4 4>&-)",
       .hints = ""},
      // Nor does a launcher's log, with input closed (the registry may open
      // as descriptor 0) and error joined to output.
      {.name = "LauncherLog", .shell = R"(exec "$@" 2>&1 <&-)"},
      // The hints name where the fault is: the game's archives missing in
      // its folder, or without the menu.
      {.name = "NoGameArchives",
       .prepare =
           [](Folder game) {
             for (const char* name : {"/Language.cod", "/Game.cod"})
               std::filesystem::remove(game + name);
           },
       .exitCode = 255,
       .text = kNoMenu,
       .hints = kMissingIn + kArchivesIn + "Language.cod, Game.cod\n"},
      {.name = "NoMenuInTheGameCod",
       .prepare =
           [](Folder game) {
             WriteFileBytes(game + "/Game.cod", BuildFffArchive({{"Data/level1.map", "level"}}));
           },
       .exitCode = 255,
       .text = kNoMenu,
       .hints = "Cfg\\Menu.cfg is in none of the game's archives in" + kArchivesIn +
                "Patch12.cod, Language.cod, Game.cod\n"},
      // A long value goes to the new file whole; an empty one is none.
      {.name = "LongAndEmptyDosAttributes",
       .prepare =
           [](Folder game) {
             SetDosAttributes(game + "/Gravelhorn_d3d.exe", kLongAttributes);
             SetDosAttributes(game + "/Gravelhorn_gl.exe", "");
           },
       .check =
           [](Folder game) {
             ExpectDosAttributes(game + "/Gravelhorn_d3d.exe", kLongAttributes);
             EXPECT_GT(0,
                       getxattr((game + "/Gravelhorn_gl.exe").c_str(), kDosAttributes, nullptr, 0));
           }},
      // A prefix copied without dosdevices is repaired by Wine; one with
      // dosdevices but no c: is not, and Wine does not start in it.
      {.name = "NoDosdevices",
       .prepare = [](Folder game) { std::filesystem::remove_all(game + "/../../../dosdevices"); },
       .onWindows = true},
      {.name = "DosdevicesWithoutC",
       .prepare = [](Folder game) { std::filesystem::remove(game + "/../../../dosdevices/c:"); },
       .exitCode = 255,
       .text = kNoMenu,
       .hints = "<prefix>/dosdevices has no c: link, without which Wine cannot start: ln -s "
                "../drive_c '<prefix>/dosdevices/c:' puts it back\n" +
                MissingFolderHints("C:\\Games\\GHR", "<prefix>/dosdevices/c:/Games/GHR")},
      // Paths as Wine maps them. Without "Installpath" the destinations
      // begin with two backslashes: network paths, never the root of the
      // drive the run starts on, c: or another (a menu on disk takes the run
      // that far).
      {.name = "NoInstallpathStartedInDriveC",
       .key = kNoInstallpath,
       .gameFolder = "Patch",
       .prepare = WriteMenuOnDisk,
       .error = CannotWrite("Gravelhorn_d3d.exe", ""),
       .onWindows = true,
       .hints = kNoInstallpathHints},
      {.name = "NoInstallpathStartedOutsideDriveC",
       .key = kNoInstallpath,
       .gameFolder = "../Outside",
       .prepare = WriteMenuOnDiskOfDriveD,
       .workingFolder = "../Outside",
       .error = CannotWrite("Gravelhorn_d3d.exe", ""),
       .onWindows = true,
       .hints = kNoInstallpathHints},
      {.name = "TrailingDotInTheFolderName",
       .installPath = "C:\\Games\\GHR.",
       .text = EnglishSummary("C:\\Games\\GHR.\\"),
       .onWindows = true},
      // "C:name" starts at the current folder when that is on C:.
      {.name = "DriveRelativeInstallPath",
       .installPath = "C:Games\\GHR",
       .gameFolder = "Patch/Games/GHR",
       .text = EnglishSummary("C:Games\\GHR\\"),
       .onWindows = true},
      // The Hebrew decoder holds a letter back until flushed.
      {.name = "HebrewLocale",
       .installPath = "C:\\Games\\\xD7\x90",
       .gameFolder = "Games/\xD7\x90",
       .text = EnglishSummary("C:\\Games\\\xE0\\"),
       .locale = "he_IL.UTF-8"},
      // Under a locale of code page 65001 the registry's UTF-16 comes as UTF-8,
      // a character past U+FFFF (a surrogate pair) and one at each end of a
      // name included.
      {.name = "CharactersPastUFFFF",
       .installPath = "C:\\Games\\\xF0\x9F\x98\x80G\xF4\x8F\xBF\xBD",
       .gameFolder = "Games/\xF0\x9F\x98\x80G\xF4\x8F\xBF\xBD",
       .text = EnglishSummary("C:\\Games\\\xF0\x9F\x98\x80G\xF4\x8F\xBF\xBD\\"),
       .locale = "kk_KZ.UTF-8"},
  };
  // What another user could have planted in the shared temporary folder is
  // no Wine server of the player's, and no file of one is waited for.
  for (const auto& [name, server] : {std::pair{"WineserverFileIsAFifo", kNameIsAFifo},
                                     {"ServerLockIsAFifo", kLockIsAFifo},
                                     {"ServerFolderOfAnotherUser", kFolderOfAnotherUser},
                                     {"ServerFolderOpenToOthers", kFolderOpenToOthers}})
    rows.push_back({.name = name,
                    .key = kMissing,
                    .error = kNoGame,
                    .server = server,
                    .hints = kFoundNowhere});
  const std::regex line("[^\n]*\n");
  for (Scenario& row : rows) {
    if (!row.error.empty()) row.exitCode = 255, row.caption = "ERROR", row.text = row.error;
    const std::string named = row.prefixGiven == "WINEPREFIX=<prefix>" ? kPrefixLine : "";
    if (row.hints) row.hints = std::regex_replace(named + *row.hints, line, "patch_installer: $&");
  }
  return rows;
}

}  // namespace

const std::vector<Scenario>& Scenarios() {
  static const std::vector<Scenario> rows = BuildScenarios();
  return rows;
}

const Scenario& ScenarioNamed(const std::string& name) {
  for (const Scenario& scenario : Scenarios())
    if (scenario.name == name) return scenario;
  throw std::runtime_error("no scenario " + name);
}

std::string EnglishSummary(const std::string& installPath, const std::string& baseVersion) {
  return Summary(kEnglish, "eng", installPath, baseVersion);
}

FolderFiles LayOutScenario(const Scenario& scenario, const std::string& driveC) {
  // The folder below driveC that holds path ("../Outside" for a path beside
  // drive_c).
  auto top = [](const std::string& path) {
    return path.substr(0, path.find('/', path.rfind("../", 0) == 0 ? 3 : 0));
  };
  for (const std::string& folder :
       {top(scenario.gameFolder), top(scenario.workingFolder), "Patch"s, "Elsewhere"s})
    std::filesystem::remove_all(driveC + "/" + folder);
  for (const char* planted : kPlantedAtTheDriveRoot)
    std::filesystem::remove(driveC + "/" + planted);
  std::vector<ArchiveMember> patch12 = {{"old.txt", "old patch"}}, patchDat;
  if (!scenario.patch12Menu.empty()) patch12.push_back({"Cfg/Menu.cfg", scenario.patch12Menu});
  FolderFiles files = {{"Game.cod", BuildFffArchive({{"Cfg/Menu.cfg", scenario.menu},
                                                     {"Data/level1.map", "level"}})},
                       {"Language.cod", BuildFffArchive({{"Text/eng.txt", "t"}})},
                       {"Patch12.cod", BuildFffArchive(patch12)}};
  for (const SampleFile& file : InstalledFiles("eng")) files.emplace(file.gameFile, "MZ v1.1");
  const std::string game = driveC + "/" + scenario.gameFolder;
  RestoreFolderFiles(game, files);
  // Patch.dat where the run starts, unless it starts Elsewhere.
  const std::string patch =
      driveC + "/" + (scenario.workingFolder == "Elsewhere" ? "Patch" : scenario.workingFolder);
  for (const std::string& member : SamplePatchMembers())
    patchDat.push_back({member, MemberBytes(scenario, member)});
  const std::string sample = BuildFffArchive(patchDat);
  WriteFileBytes(patch + "/Patch.dat", scenario.patchDat ? scenario.patchDat(sample) : sample);
  MakeFolders(driveC + "/Elsewhere");
  if (scenario.prepare != nullptr) scenario.prepare(game);
  return FolderTree(game);
}

FolderFiles ExpectedGameFiles(const Scenario& scenario, const FolderFiles& before) {
  const int all = scenario.exitCode == 0 ? int(InstalledFiles(scenario.language).size()) : 0;
  return StoppedGameFiles(scenario, before, scenario.newFiles.value_or(all), false);
}

std::string CannotWriteText(const Scenario& scenario, int index) {
  return MessageCatalogue[SelectLanguage(scenario.language.c_str())].texts[MESSAGE_CANNOT_WRITE] +
         (" " + scenario.installPath + "\\\\" +
          InstalledFiles(scenario.language).at(size_t(index)).gameFile);
}

FolderFiles StoppedGameFiles(const Scenario& scenario, const FolderFiles& before, int stopped,
                             bool temporaryLeft) {
  // Whatever held a temporary name is gone, but for a folder with something in it.
  FolderFiles files = before;
  std::erase_if(files, [&](const auto& file) {
    const auto next = before.upper_bound(file.first);
    return file.first.ends_with(".tmp") &&
           (next == before.end() || next->first.rfind(file.first + "/", 0) != 0);
  });
  const std::vector<SampleFile> installed = InstalledFiles(scenario.language);
  for (size_t i = 0; i < size_t(stopped) + temporaryLeft; ++i)
    files[installed.at(i).gameFile + (i < size_t(stopped) ? "" : ".tmp")] =
        MemberBytes(scenario, installed[i].member);
  return files;
}

void PrintTo(const Scenario& scenario, std::ostream* out) { *out << scenario.name; }

std::string PrintedBox(const std::string& caption, const std::string& text) {
  std::string printed =
      ShownEscaped(NarrowToHost(caption)) + "\n" + ShownEscaped(NarrowToHost(text), true);
  return printed.back() == '\n' ? printed : printed + "\n";
}

std::string PathTo(const std::string& program) {
  return "PATH=" + std::filesystem::path(program).parent_path().string() + ":/usr/bin:/bin";
}

std::string WithPaths(std::string text, const std::map<std::string, std::string>& paths) {
  for (const auto& [name, path] : paths)
    for (size_t at; (at = text.find(name)) != std::string::npos;)
      text.replace(at, name.size(), path);
  return text;
}

void Fifo(const std::string& path) {
  std::filesystem::remove(path);
  mkfifo(path.c_str(), 0666);
}

std::string With32(std::string bytes, size_t offset, uint32_t value) {
  WriteLittleEndian32(reinterpret_cast<unsigned char*>(&bytes[offset]), value);
  return bytes;
}

void ExpectPrinted(const CommandResult& result, int exitCode, const std::string& box,
                   const std::optional<std::string>& hints, const std::string& prefix,
                   const std::string& home) {
  EXPECT_EQ(exitCode, result.exitCode) << result.err;
  // C0 but tab and line feed, DEL, and C1 (U+0080 to U+009F in UTF-8).
  const std::regex control("[\\x00-\\x08\\x0b-\\x1f\\x7f]|\\xc2[\\x80-\\x9f]");
  for (const std::string& printed : {result.out, result.err})
    EXPECT_FALSE(std::regex_search(printed, control))
        << "a control character reaches the terminal: " << printed;
  // A box that ends the run with an error goes to standard error.
  const size_t boxOnErr = exitCode == 0 ? 0 : std::min(box.size(), result.err.size());
  EXPECT_EQ(exitCode == 0 ? box : "", result.out);
  EXPECT_EQ(exitCode == 0 ? "" : box, result.err.substr(0, boxOnErr));
  const std::string after = result.err.substr(boxOnErr);
  if (hints)
    EXPECT_EQ(WithPaths(*hints, {{"<prefix>", prefix}, {"<home>", home}}), after);
  else  // at least the line that names the prefix
    EXPECT_TRUE(std::regex_match(after, std::regex("(patch_installer: [^\\n]*\\n)+"))) << after;
}
