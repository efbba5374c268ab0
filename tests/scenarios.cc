#include "tests/scenarios.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "bench/sample_patch.h"
#include "filesystem/ascii_case.h"
#include "filesystem/fff_format.h"
#include "installer/messages.h"
#include "platform/code_page.h"

namespace {

using std::string_literals::operator""s;

const size_t kLargeSize = 200 * 1024;  // more than a full disk has room for
// Named like the patch's files, at the root of the current drive (drive_c).
const char* const kPlantedAtTheDriveRoot[] = {"Gravelhorn_d3d.exe", "Patch_eng.cod"};

std::string LanguagePatch(const std::string& code) {
  return BuildFffArchive({{"Cfg/Menu.cfg", "[Version]\r\nversion=v1.2\r\n"},
                          {"Text/" + code + ".txt", "text of " + code}});
}

// The bytes of the sample's member name, found as the installer finds it,
// in any letter case.
std::string MemberBytes(const Scenario& scenario, const std::string& name) {
  for (const std::string& member : SamplePatchMembers()) {
    if (!EqualIgnoringAsciiCase(member, name)) continue;
    if (scenario.largeMember != nullptr && member == scenario.largeMember)
      return std::string(kLargeSize, 'L');
    std::string code;
    return LanguageOfMember(member, &code) ? LanguagePatch(code) : "MZ " + member + " v1.2";
  }
  throw std::runtime_error("the sample Patch.dat has no member " + name);
}

std::string SamplePatchDat(const Scenario& scenario) {
  std::vector<ArchiveMember> members;
  for (const std::string& member : SamplePatchMembers())
    members.push_back({member, MemberBytes(scenario, member)});
  return BuildFffArchive(members);
}

std::string Cut(std::string bytes, size_t length) { return bytes.substr(0, length); }

std::string With32(std::string bytes, size_t offset, uint32_t value) {
  WriteLittleEndian32(reinterpret_cast<unsigned char*>(&bytes[offset]), value);
  return bytes;
}

std::string Summary(const std::string& labels, const std::string& path, const std::string& base,
                    const std::string& code) {
  // labels: path, base version, upgraded version, last line; '|' between.
  std::vector<std::string> label;
  for (size_t start = 0, bar;; start = bar + 1) {
    bar = labels.find('|', start);
    label.push_back(labels.substr(start, bar - start));
    if (bar == std::string::npos) break;
  }
  return " " + label[0] + "\t " + path + " \n " + label[1] + "\t " + base + " (" + code + ")\n " +
         label[2] + "\t Gravelhorn v1.2 (" + code + ")\n\n " + label[3] + "\n";
}

std::string GermanEditionSummary(const std::string& path, const std::string& code) {
  return " Path:\t\t" + path + " \n Basic version:\tv1.1 (" + code +
         ")\n Upgraded version:\tKieselfuchs v1.2 (" + code + ")\n\n Installed.\n";
}

// Wine keeps the DOS attributes (0x2 hidden, 0x4 system) of a file as hex
// text in this extended attribute. Where the file system has none, there
// is nothing to set or keep.
const char kDosAttributes[] = "user.DOSATTRIB";
void SetDosAttributes(const std::string& path, const char* value) {
  if (setxattr(path.c_str(), kDosAttributes, value, strlen(value), 0) != 0 && errno != ENOTSUP)
    throw std::runtime_error("cannot set the DOS attributes of " + path);
}
void ExpectHidden(const std::string& path) {
  char value[64] = "";
  const ssize_t length = getxattr(path.c_str(), kDosAttributes, value, sizeof value - 1);
  if (length < 0 && errno == ENOTSUP) return;
  EXPECT_TRUE(length > 0 && (strtoul(value, nullptr, 16) & 0x2) != 0)
      << path << " is not hidden: " << kDosAttributes << " '" << value << "'";
}

// A file beside the game's folder, which no run may change.
std::string Outside(const std::string& game, const std::string& name) {
  MakeFolders(game + "/../../Elsewhere");
  return game + "/../../Elsewhere/" + name;
}

const char kEnglish[] = "Path:|Base version:|Upgraded version:|Installed.";
const char kTitle[] = "Gravelhorn Patch Installer";
const char kCannotWrite[] = "Unable to open the following file for writing : ";
const char kNoMenu[] = "File not found:\tCfg\\Menu.cfg\n\nUnable to update the files. \n";
const char kNoGame[] = "Gravelhorn not found or the registry not correct!";
// Hints that many rows share.
const std::string kPrefixLine = "patch_installer: Wine prefix: <prefix> (from WINEPREFIX)\n";
const char kFoundInSteam[] =
    "patch_installer: the game's key is in the prefix <prefix>: patch_installer --prefix "
    "'<prefix>'\n";
const char kFoundNowhere[] =
    "patch_installer: no prefix that patch_installer --list looks through holds the game's key\n";
const std::string kNoInstallpathHints =
    kPrefixLine +
    "patch_installer: the game's key has no Installpath value: the game's folder is unknown\n"
    "patch_installer: \\\\Gravelhorn_d3d.exe: a network path, never a file of this computer\n";

// The game's menu beside its archives, found on disk where the run starts.
void WriteMenuOnDisk(const std::string& game) {
  MakeFolders(game + "/Cfg");
  WriteFileBytes(game + "/Cfg/Menu.cfg", "[Version]\r\nversion=v1.1\r\n");
}

// The same in a folder beside drive_c that is drive d: (not z:, the host's
// root, which a fault would write into).
void WriteMenuOnDiskOfDriveD(const std::string& game) {
  WriteMenuOnDisk(game);
  const std::string drive = game + "/../dosdevices/d:";
  std::filesystem::remove(drive);
  if (symlink("../Outside", drive.c_str()) != 0) throw std::runtime_error("cannot link " + drive);
}
const char kGhr[] = "C:\\Games\\GHR\\";
// UTF-8 names of accented folders, and the same in code page 1252.
const char kKieselfuechs[] =
    "Kieself\xC3\xBC"
    "chs";
const char kJatekok[] = "J\xC3\xA1t\xC3\xA9kok";

std::vector<Scenario> BuildScenarios() {
  const std::string longPath = "C:\\" + std::string(100, 'x') + "\\" + std::string(100, 'y') +
                               "\\" + std::string(50, 'z');  // 255 characters
  // A row reads best as the few fields it sets, as written.
  // clang-format off
  std::vector<Scenario> rows = {
      {.name = "English", .caption = kTitle, .text = EnglishSummary(kGhr, "v1.1"),
       .again = Again::kRefused, .onWindows = true},
      {.name = "Hungarian", .language = "hun", .caption = "Gravelhorn Patch Instal\xE1l\xF3 program",
       .text = Summary("\xDAtvonal:|Alap verzi\xF3:|Friss\xEDtett verzi\xF3:|Intalal\xE1s befejezve.",
                       kGhr, "v1.1", "hun"),
       .onWindows = true},
      {.name = "GermanEdition", .language = "ger", .caption = "KIESELFUCHS-Patch-Installation",
       .text = GermanEditionSummary(kGhr, "ger"), .onWindows = true},
      // German texts, but the edition's search for "ger" is case-sensitive;
      // \Patch_GER.cod finds the member Patch_ger.cod.
      {.name = "UpperCaseGer", .language = "GER", .caption = "KIESELFUCHS-Patch-Installation",
       .text = Summary("Pfad:|Basis-Version:|Aktualisierte Version:|installiert.", kGhr, "v1.1", "GER"),
       .onWindows = true},
      {.name = "GermanWithoutItsLanguagePatch", .language = "german", .exitCode = 255,
       .caption = "ERROR", .text = "File not found: \\Patch_german.cod", 
       .newFiles = {"Kieselfuchs_d3d.exe", "Kieselfuchs_glide.exe", "Kieselfuchs_gl.exe"}, .onWindows = true},
      {.name = "EmptyLanguage", .language = "", .caption = kTitle,
       .text = Summary(kEnglish, kGhr, "v1.1", ""), .onWindows = true},
      // 15 characters fill LanguageValue with its zero; 16 do not fit.
      {.name = "LanguageOf15", .language = std::string(15, 'e'), .exitCode = 255, .caption = "ERROR",
       .text = "File not found: \\Patch_" + std::string(15, 'e') + ".cod",
       .newFiles = {"Gravelhorn_d3d.exe", "Gravelhorn_glide.exe", "Gravelhorn_gl.exe"}},
      {.name = "LanguageOf16", .language = std::string(16, 'e'), .exitCode = 255, .caption = "ERROR",
       .text = "The registry not correct!", .newFiles = {},
       .onWindows = true,
       .hints = kPrefixLine + "patch_installer: the game's Language value is longer than the 15 "
                              "characters the patch reads (eng, hun, fra, ger, spa, ita)\n"},
      {.name = "RefusedVersion", .language = "fra", .menu = "[Version]\r\nversion=v1.2\r\n",
       .exitCode = 255, .caption = "ERROR",
       .text = "Cette mise \xE0 jour est ant\xE9rieure \xE0 votre version de Gravelhorn",
       .newFiles = {}, .onWindows = true},
      {.name = "NoPatchDat", .installPath = kGhr, .language = "spa", .workingFolder = "Elsewhere",
       .exitCode = 255, .caption = "ERROR", .text = "Archivo no encontrado: \\Gravelhorn_d3d.exe",
       .newFiles = {}, .onWindows = true},
      {.name = "NoRegistryKey", .key = Key::kMissing, .exitCode = 255, .caption = "ERROR",
       .text = kNoGame, .newFiles = {}, .onWindows = true},
      {.name = "NoSystemReg", .key = Key::kNoRegistry, .exitCode = 255, .caption = "ERROR",
       .text = kNoGame, .newFiles = {}},
      // Wine saves a key with a subkey but no values through the subkey
      // alone: it opens, empty, and the install path is "\".
      {.name = "KeyOnlyThroughItsSubkey", .key = Key::kOnlySubkey, .exitCode = 255,
       .caption = kTitle, .text = kNoMenu, .newFiles = {},
       .onWindows = true},
      // 255 characters and the zero fill the 256 bytes read; 256 do not fit.
      {.name = "InstallPathOf255", .installPath = longPath, .exitCode = 255, .caption = kTitle,
       .text = kNoMenu, .newFiles = {}, .onWindows = true},
      {.name = "InstallPathOf256", .installPath = longPath + "z", .exitCode = 255,
       .caption = "ERROR", .text = kNoGame, .newFiles = {},
       .onWindows = true,
       .hints = kPrefixLine + "patch_installer: the game's Installpath value is longer than "
                              "the 255 characters the patch reads\n"},
      // Destinations of 256 bytes and more are never cut, but refused.
      {.name = "DestinationOf256", .installPath = "C:\\Games\\" + std::string(227, 'L'),
       .gameFolder = "Games/" + std::string(227, 'L'), .exitCode = 255, .caption = "ERROR",
       .text = kCannotWrite + ("C:\\Games\\" + std::string(227, 'L')) + "\\\\Gravelhorn_d3d.exe",
       .newFiles = {}},
      {.name = "DestinationsOf255And257", .installPath = "C:\\Games\\" + std::string(226, 'L'),
       .gameFolder = "Games/" + std::string(226, 'L'), .exitCode = 255, .caption = "ERROR",
       .text = kCannotWrite + ("C:\\Games\\" + std::string(226, 'L')) + "\\\\Gravelhorn_glide.exe",
       .newFiles = {"Gravelhorn_d3d.exe"}},
      {.name = "MissingInstallFolder", .installPath = "C:\\Games\\Gone", .language = "ita",
       .exitCode = 255, .caption = "Installer della patch di Gravelhorn",
       .text = "File non trovato:\tCfg\\Menu.cfg\n\nImpossibile aggiornare i file.\n",
       .newFiles = {}, .onWindows = true},
      // Folder names with accents: UTF-16 in the registry, UTF-8 on the host.
      {.name = "AccentedGermanFolder", .installPath = std::string("C:\\Spiele\\") + kKieselfuechs,
       .language = "ger", .gameFolder = std::string("Spiele/") + kKieselfuechs,
       .caption = "KIESELFUCHS-Patch-Installation",
       .text = GermanEditionSummary("C:\\Spiele\\Kieself\xFC" "chs\\", "ger"),
       .onWindows = true},
      {.name = "AccentedFolderInOtherCase", .installPath = "C:\\SPIELE\\KIESELF\xC3\x9C" "CHS",
       .language = "ger", .gameFolder = std::string("Spiele/") + kKieselfuechs,
       .caption = "KIESELFUCHS-Patch-Installation",
       .text = GermanEditionSummary("C:\\SPIELE\\KIESELF\xDC" "CHS\\", "ger"),
       .onWindows = true},
      {.name = "AccentedHungarianFolder", .installPath = std::string("C:\\") + kJatekok + "\\Gravelhorn",
       .language = "hun", .gameFolder = std::string(kJatekok) + "/Gravelhorn",
       .caption = "Gravelhorn Patch Instal\xE1l\xF3 program",
       .text = Summary("\xDAtvonal:|Alap verzi\xF3:|Friss\xEDtett verzi\xF3:|Intalal\xE1s befejezve.",
                       "C:\\J\xE1t\xE9kok\\Gravelhorn\\", "v1.1", "hun"),
       .onWindows = true},
      // The patch's files come from Patch.dat alone: files named like them
      // at the root of the drive, where any user may write, are not installed.
      {.name = "FilesPlantedAtTheDriveRoot", .prepare = [](const std::string& game) {
         for (const char* name : kPlantedAtTheDriveRoot)
           WriteFileBytes(game + "/../../" + name, "MZ planted by another user\n");
       },
       .caption = kTitle, .text = EnglishSummary(kGhr, "v1.1"), .onWindows = true},
      // An archive that is a fifo is a file that cannot be opened; nothing
      // waits for a writer at its other end.
      {.name = "GameCodIsAFifo", .prepare = [](const std::string& game) {
         std::filesystem::remove(game + "/Game.cod");
         mkfifo((game + "/Game.cod").c_str(), 0666);
       },
       .exitCode = 255, .caption = kTitle, .text = kNoMenu, .newFiles = {},
       .onWindows = true},
      {.name = "PatchDatIsAFifo", .prepare = [](const std::string& game) {
         std::filesystem::remove(game + "/Patch.dat");
         mkfifo((game + "/Patch.dat").c_str(), 0666);
       },
       .workingFolder = "Games/GHR", .exitCode = 255, .caption = "ERROR",
       .text = "File not found: \\Gravelhorn_d3d.exe", .newFiles = {},
       .onWindows = true},
      // Windows refuses to replace a read-only file, also for root.
      {.name = "ReadOnlyPatch12", .prepare = [](const std::string& game) {
         chmod((game + "/Patch12.cod").c_str(), 0444);
       },
       .exitCode = 255, .caption = "ERROR", .text = std::string(kCannotWrite) + kGhr + "\\Patch12.cod",
       .newFiles = {"Gravelhorn_d3d.exe", "Gravelhorn_glide.exe", "Gravelhorn_gl.exe"}, .onWindows = true},
      {.name = "FolderWhereAnExecutableBelongs", .prepare = [](const std::string& game) {
         std::filesystem::remove(game + "/Gravelhorn_gl.exe");
         MakeFolders(game + "/Gravelhorn_gl.exe");
       },
       .exitCode = 255, .caption = "ERROR", .text = std::string(kCannotWrite) + kGhr + "\\Gravelhorn_gl.exe",
       .newFiles = {"Gravelhorn_d3d.exe", "Gravelhorn_glide.exe"}},
      // A killed run's temporary file is replaced, and none is left behind.
      {.name = "StaleTemporaryFile", .prepare = [](const std::string& game) {
         WriteFileBytes(game + "/Patch12.cod.tmp", "half a file");
       },
       .caption = kTitle, .text = EnglishSummary(kGhr, "v1.1")},
      // Whatever else holds a temporary name goes too, and nothing is
      // written through it. (Under Wine a link there stays, refused, since
      // Wine would delete its target: see the Windows test build's cases.)
      {.name = "LeftoversOfEveryKind", .prepare = [](const std::string& game) {
         WriteFileBytes(game + "/Gravelhorn_d3d.exe.tmp", "read-only");
         chmod((game + "/Gravelhorn_d3d.exe.tmp").c_str(), 0444);
         WriteFileBytes(game + "/Gravelhorn_glide.exe.tmp", "hidden");
         SetDosAttributes(game + "/Gravelhorn_glide.exe.tmp", "0x2");
         MakeFolders(game + "/Patch12.cod.tmp");
       },
       .caption = kTitle, .text = EnglishSummary(kGhr, "v1.1"), .onWindows = true},
      {.name = "LinksAndAFifoLeftOver", .prepare = [](const std::string& game) {
         WriteFileBytes(Outside(game, "target"), "outside");
         if (symlink("../../Elsewhere/target", (game + "/Gravelhorn_d3d.exe.tmp").c_str()) != 0 ||
             symlink("nowhere", (game + "/Gravelhorn_glide.exe.tmp").c_str()) != 0 ||
             mkfifo((game + "/Patch12.cod.tmp").c_str(), 0644) != 0)
           throw std::runtime_error("cannot lay out the leftovers in " + game);
       },
       .caption = kTitle, .text = EnglishSummary(kGhr, "v1.1")},
      // A destination linked outside the game folder is replaced, never the
      // link's target; a hidden one stays hidden.
      {.name = "LinkedAndHiddenDestinations", .prepare = [](const std::string& game) {
         std::filesystem::rename(game + "/Gravelhorn_gl.exe", Outside(game, "Gravelhorn_gl.exe"));
         std::filesystem::create_symlink("../../Elsewhere/Gravelhorn_gl.exe", game + "/Gravelhorn_gl.exe");
         SetDosAttributes(game + "/Patch12.cod", "0x2");
       },
       .check = [](const std::string& game) {
         EXPECT_EQ("MZ v1.1", ReadFileBytes(Outside(game, "Gravelhorn_gl.exe")));
         ExpectHidden(game + "/Patch12.cod");
       },
       .caption = kTitle, .text = EnglishSummary(kGhr, "v1.1"), .onWindows = true},
      // The install folder is a small file system that fills up while one
      // file is written: that file stays as it was, and with room the next
      // run patches the game.
      {.name = "DiskFullAtPatch12", .largeMember = "/Patch_eng.cod", .mount = Mount::kSmallDisk,
       .exitCode = 255, .caption = "ERROR", .text = std::string(kCannotWrite) + kGhr + "\\Patch12.cod",
       .newFiles = {"Gravelhorn_d3d.exe", "Gravelhorn_glide.exe", "Gravelhorn_gl.exe"},
       .again = Again::kPatchedWithRoom},
      {.name = "DiskFullAtAnExecutable", .largeMember = "/Gravelhorn_glide.exe",
       .mount = Mount::kSmallDisk, .exitCode = 255, .caption = "ERROR",
       .text = std::string(kCannotWrite) + kGhr + "\\Gravelhorn_glide.exe",
       .newFiles = {"Gravelhorn_d3d.exe"}, .again = Again::kPatchedWithRoom},
      {.name = "ReadOnlyInstallFolder", .mount = Mount::kReadOnly, .exitCode = 255,
       .caption = "ERROR", .text = std::string(kCannotWrite) + kGhr + "\\Gravelhorn_d3d.exe",
       .newFiles = {}},
      // A damaged Patch.dat is named, and nothing is written.
      {.name = "PatchDatCutInItsHeader", .patchDat = [](std::string p) { return Cut(p, 27); },
       .exitCode = 255, .caption = kTitle, .text = "REGISTER_FFF: file header error! (Patch.dat)",
       .newFiles = {}},
      {.name = "PatchDatCutInItsDirectory",
       .patchDat = [](std::string p) { return Cut(p, 28 + 2 * 136 + 50); }, .exitCode = 255,
       .caption = kTitle, .text = "REGISTER_FFF: file entries error (Patch.dat)", .newFiles = {}},
      {.name = "PatchDatClaimsAHugeDirectory",
       .patchDat = [](std::string p) { return With32(Cut(p, 28), 24, 0xFFFFFFFFu); },
       .exitCode = 255, .caption = kTitle, .text = "REGISTER_FFF: file entries error (Patch.dat)",
       .newFiles = {}},
      {.name = "MemberPastTheEndOfPatchDat",
       .patchDat = [](std::string p) { return With32(p, 28 + 132, 0x7FFFFFFF); }, .exitCode = 255,
       .caption = "ERROR", .text = "Unable to update the files.  \\Gravelhorn_d3d.exe",
       .newFiles = {}, .onWindows = true},
      // Values of other types come as their bytes: a dword path is "\x01";
      // a binary language without a zero is measured by its length.
      {.name = "DwordInstallPath",
       .registryLines = "\"Installpath\"=dword:00000001\n\"Language\"=\"eng\"\n", .exitCode = 255,
       .caption = kTitle, .text = kNoMenu, .newFiles = {}},
      {.name = "BinaryLanguageOf16",
       .registryLines = "\"Installpath\"=\"C:\\\\Games\\\\GHR\"\n"
                        "\"Language\"=hex:65,6e,67,6c,69,73,68,20,65,6e,67,6c,69,73,68,21\n",
       .exitCode = 255, .caption = "ERROR", .text = "The registry not correct!", .newFiles = {}},
      // The version as the reader finds it.
      {.name = "LabelInsideALongerValue", .menu = "[Version]\r\nversion=Gravelhorn v1.1 (build 2)\r\n",
       .caption = kTitle, .text = EnglishSummary(kGhr, "Gravelhorn v1.1 (build 2)")},
      {.name = "LabelsAreCaseSensitive", .menu = "[Version]\r\nversion=V1.1\r\n", .exitCode = 255,
       .caption = "ERROR", .text = kTooOldText, .newFiles = {}},
      {.name = "AFirstKeyWithAValueIsFinal", .menu = "[Version]\r\nversion=v1.2\r\nVersion=v1.0\r\n",
       .exitCode = 255, .caption = "ERROR", .text = kTooOldText, .newFiles = {}},
      {.name = "TheSecondKeyWhenTheFirstIsEmpty", .menu = "[Version]\r\nversion=\r\nVersion=v1.0\r\n",
       .caption = kTitle, .text = EnglishSummary(kGhr, "v1.0")},
      {.name = "ThePatchArchiveWinsOverTheGame", .patch12Menu = "[Version]\r\nversion=v1.0 patched\r\n",
       .caption = kTitle, .text = EnglishSummary(kGhr, "v1.0 patched")},
      {.name = "BareLineFeeds", .menu = "[Menu]\nversion=0\n[Version]\nversion=v1.1\n",
       .caption = kTitle, .text = EnglishSummary(kGhr, "v1.1")},
      {.name = "NoLineEndAtTheEnd", .menu = "[Version]\r\nversion=v1.1", .caption = kTitle,
       .text = EnglishSummary(kGhr, "v1.1")},
      // A value is cut to 16383 bytes, the version shown to 255.
      {.name = "ValueOver16KiB", .menu = "[Version]\r\nversion=v1.1" + std::string(20000, 'x') + "\r\n",
       .caption = kTitle, .text = EnglishSummary(kGhr, "v1.1" + std::string(251, 'x'))},
      {.name = "LabelPastTheValuesRoom",
       .menu = "[Version]\r\nversion=" + std::string(16383, 'x') + "v1.1\r\n", .exitCode = 255,
       .caption = "ERROR", .text = kTooOldText, .newFiles = {}},
      {.name = "ZeroByteBeforeTheEntry", .menu = "[Version]\r\n\0version=v1.1\r\n"s,
       .exitCode = 255, .caption = "ERROR", .text = kTooOldText, .newFiles = {}},
      // The prefix named wrongly: the box of a prefix without the game, and
      // after it what is wrong and the command that finds the game.
      {.name = "NoPrefixNamedAndNoDotWine", .exitCode = 255, .caption = "ERROR", .text = kNoGame,
       .newFiles = {}, .prefixGiven = "",
       .hints = "patch_installer: Wine prefix: <home>/.wine (WINEPREFIX is not set)\n"
                "patch_installer: cannot open the prefix <home>/.wine: No such file or directory\n"
                "patch_installer: name the game's prefix: patch_installer --prefix DIR\n"s +
                kFoundInSteam},
      {.name = "NoSuchPrefix", .exitCode = 255, .caption = "ERROR", .text = kNoGame,
       .newFiles = {}, .prefixGiven = "--prefix <home>/gone/",
       .hints = "patch_installer: Wine prefix: <home>/gone (from --prefix)\n"
                "patch_installer: cannot open the prefix <home>/gone: No such file or directory\n"s +
                kFoundInSteam},
      {.name = "PrefixIsItsDriveC", .exitCode = 255, .caption = "ERROR", .text = kNoGame,
       .newFiles = {}, .prefixGiven = "WINEPREFIX=<prefix>/drive_c",
       .hints = "patch_installer: Wine prefix: <prefix>/drive_c (from WINEPREFIX)\n"
                "patch_installer: <prefix>/drive_c has no system.reg: it is not a Wine prefix\n"
                "patch_installer: <prefix>/drive_c lies inside the prefix <prefix>: "
                "patch_installer --prefix '<prefix>'\n"s + kFoundInSteam},
      {.name = "TildeInQuotes", .exitCode = 255, .caption = "ERROR", .text = kNoGame,
       .newFiles = {}, .prefixGiven = "WINEPREFIX=~/.wine",
       .hints = "patch_installer: no Wine prefix: WINEPREFIX is not an absolute path, which Wine "
                "refuses: ~/.wine\n"
                "patch_installer: the shell expands ~ only outside quotes: did you mean "
                "<home>/.wine?\n"s + kFoundInSteam},
      // Steam's folder for the game stands for its prefix, pfx.
      {.name = "ProtonFolder", .caption = kTitle, .text = EnglishSummary(kGhr, "v1.1"),
       .prefixGiven = "WINEPREFIX=<home>/.local/share/Steam/steamapps/compatdata/4711",
       .hints = "patch_installer: Wine prefix: <prefix> (from WINEPREFIX; Proton keeps it in pfx)\n"},
      {.name = "UnreadableRegistry", .key = Key::kUnreadable, .exitCode = 255, .caption = "ERROR",
       .text = kNoGame, .newFiles = {},
       .hints = kPrefixLine + "patch_installer: cannot read <prefix>/system.reg: Is a directory\n" +
                kFoundNowhere},
      {.name = "KeyIn64BitView", .key = Key::kIn64BitView, .exitCode = 255, .caption = "ERROR",
       .text = kNoGame, .newFiles = {},
       .hints = kPrefixLine +
                "patch_installer: the game's key is only in the registry's 64-bit view "
                "(HKLM\\Software\\Quillfern\\GHR), not in the 32-bit view where the game's setup "
                "writes it and the patch reads it; to register it in the 32-bit view:\n"
                "patch_installer:   WINEPREFIX='<prefix>' wine reg add "
                "'HKLM\\Software\\Quillfern\\GHR' /v Installpath /d 'C:\\Games\\GHR' /reg:32 /f\n"
                "patch_installer:   WINEPREFIX='<prefix>' wine reg add "
                "'HKLM\\Software\\Quillfern\\GHR' /v Language /d 'eng' /reg:32 /f\n" +
                kFoundNowhere},
      // Wine saves the registry only now and then while its server runs.
      {.name = "KeyNotSavedYet", .key = Key::kNotSavedYet, .exitCode = 255, .caption = "ERROR",
       .text = kNoGame, .newFiles = {},
       .hints = kPrefixLine +
                "patch_installer: a Wine server is running for this prefix, and Wine writes the "
                "registry to system.reg only now and then and when it ends: close the prefix's "
                "programs or run WINEPREFIX='<prefix>' wineserver -w, then run patch_installer "
                "again\n" + kFoundNowhere},
      // A prefix copied without dosdevices is repaired by Wine; one with
      // dosdevices but no c: is not, and Wine does not start in it.
      {.name = "NoDosdevices", .prepare = [](const std::string& game) {
         std::filesystem::remove_all(game + "/../../../dosdevices");
       },
       .caption = kTitle, .text = EnglishSummary(kGhr, "v1.1"), .onWindows = true},
      {.name = "DosdevicesWithoutC", .prepare = [](const std::string& game) {
         std::filesystem::remove(game + "/../../../dosdevices/c:");
       },
       .exitCode = 255, .caption = kTitle, .text = kNoMenu, .newFiles = {},
       .hints = kPrefixLine +
                "patch_installer: <prefix>/dosdevices has no c: link, without which Wine cannot "
                "start: ln -s ../drive_c '<prefix>/dosdevices/c:' puts it back\n"
                "patch_installer: the game's folder C:\\Games\\GHR is "
                "<prefix>/dosdevices/c:/Games/GHR: No such file or directory\n"
                "patch_installer: Cfg\\Menu.cfg is <prefix>/drive_c/Patch/Cfg/Menu.cfg: No such "
                "file or directory\n"},
      // Paths as Wine maps them. Without "Installpath" the destinations
      // begin with two backslashes: network paths, never the root of the
      // drive the run starts on, c: or another (a menu on disk takes the run
      // that far).
      {.name = "NoInstallpathStartedInDriveC", .key = Key::kNoInstallpath, .gameFolder = "Patch",
       .prepare = WriteMenuOnDisk, .exitCode = 255, .caption = "ERROR",
       .text = kCannotWrite + "\\\\Gravelhorn_d3d.exe"s, .newFiles = {},
       .onWindows = true, .hints = kNoInstallpathHints},
      {.name = "NoInstallpathStartedOutsideDriveC", .key = Key::kNoInstallpath,
       .gameFolder = "../Outside", .prepare = WriteMenuOnDiskOfDriveD, .workingFolder = "../Outside",
       .exitCode = 255, .caption = "ERROR", .text = kCannotWrite + "\\\\Gravelhorn_d3d.exe"s,
       .newFiles = {}, .onWindows = true,
       .hints = kNoInstallpathHints},
      {.name = "TrailingDotInTheFolderName", .installPath = "C:\\Games\\GHR.", .caption = kTitle,
       .text = EnglishSummary("C:\\Games\\GHR.\\", "v1.1"), .onWindows = true},
      // "C:name" starts at the current folder when that is on C:.
      {.name = "DriveRelativeInstallPath", .installPath = "C:Games\\GHR",
       .gameFolder = "Patch/Games/GHR", .caption = kTitle,
       .text = EnglishSummary("C:Games\\GHR\\", "v1.1"), .onWindows = true},
      // Vietnamese and Hebrew decoders hold a letter back until flushed.
      {.name = "VietnameseLocale", .caption = kTitle, .text = EnglishSummary(kGhr, "v1.1"),
       .locale = "vi_VN.UTF-8"},
      {.name = "HebrewLocale", .installPath = "C:\\Games\\\xD7\x90", .gameFolder = "Games/\xD7\x90",
       .caption = kTitle, .text = EnglishSummary("C:\\Games\\\xE0\\", "v1.1"),
       .locale = "he_IL.UTF-8"},
  };
  // clang-format on
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
  return Summary(kEnglish, installPath, baseVersion, "eng");
}

namespace {

// The folder below driveC that holds path ("../Outside" for a path beside
// drive_c).
std::string TopFolder(const std::string& path) {
  const size_t slash = path.find('/', path.rfind("../", 0) == 0 ? 3 : 0);
  return path.substr(0, slash);
}

}  // namespace

FolderFiles LayOutScenario(const Scenario& scenario, const std::string& driveC) {
  const std::string game = driveC + "/" + scenario.gameFolder;
  for (const std::string& top : {TopFolder(scenario.gameFolder), TopFolder(scenario.workingFolder),
                                 std::string("Patch"), std::string("Elsewhere")})
    std::filesystem::remove_all(driveC + "/" + top);
  for (const char* planted : kPlantedAtTheDriveRoot)
    std::filesystem::remove(driveC + "/" + planted);
  std::vector<ArchiveMember> patch12 = {{"old.txt", "old patch"}};
  if (!scenario.patch12Menu.empty()) patch12.push_back({"Cfg/Menu.cfg", scenario.patch12Menu});
  FolderFiles files = {{"Game.cod", BuildFffArchive({{"Cfg/Menu.cfg", scenario.menu},
                                                     {"Data/level1.map", "level"}})},
                       {"Language.cod", BuildFffArchive({{"Text/eng.txt", "t"}})},
                       {"Patch12.cod", BuildFffArchive(patch12)}};
  for (const PatchFile& file : InstalledFiles("eng"))
    if (file.gameFile != "Patch12.cod") files[file.gameFile] = "MZ v1.1";
  RestoreFolderFiles(game, files);
  // Patch.dat where the run starts, unless it starts Elsewhere.
  const std::string patch = driveC + "/" +
                            (scenario.workingFolder == "Elsewhere" ? "Patch" : scenario.workingFolder);
  const std::string patchDat = SamplePatchDat(scenario);
  MakeFolders(patch);
  WriteFileBytes(patch + "/Patch.dat", scenario.patchDat ? scenario.patchDat(patchDat) : patchDat);
  MakeFolders(driveC + "/Elsewhere");
  if (scenario.prepare != nullptr) scenario.prepare(game);
  return FolderTree(game);
}

namespace {

// The game folder with the first `count` files that scenario's run
// installs put in.
FolderFiles GameFilesAfter(const Scenario& scenario, const FolderFiles& before, size_t count) {
  FolderFiles files = before;
  const std::vector<PatchFile> installed = InstalledFiles(scenario.language);
  for (size_t i = 0; i < count && i < installed.size(); ++i)
    files[installed[i].gameFile] = MemberBytes(scenario, installed[i].member);
  // No run leaves a temporary file behind.
  for (auto file = files.begin(); file != files.end();)
    file = file->first.size() > 4 && file->first.substr(file->first.size() - 4) == ".tmp"
               ? files.erase(file)
               : std::next(file);
  return files;
}

}  // namespace

FolderFiles ExpectedGameFiles(const Scenario& scenario, const FolderFiles& before) {
  if (scenario.newFiles == std::vector<std::string>{kEveryFile})
    return FullyPatchedGameFiles(scenario, before);
  FolderFiles files = GameFilesAfter(scenario, before, 0);
  for (const std::string& name : scenario.newFiles)
    for (const PatchFile& file : InstalledFiles(scenario.language))
      if (file.gameFile == name) files[name] = MemberBytes(scenario, file.member);
  return files;
}

FolderFiles FullyPatchedGameFiles(const Scenario& scenario, const FolderFiles& before) {
  return GameFilesAfter(scenario, before, SIZE_MAX);
}

std::string GameFileName(const Scenario& scenario, int index) {
  return InstalledFiles(scenario.language).at(size_t(index)).gameFile;
}

std::string CannotWriteText(const Scenario& scenario, int index) {
  return MessageCatalogue[SelectLanguage(scenario.language.c_str())].texts[MESSAGE_CANNOT_WRITE] +
         (" " + scenario.installPath + "\\\\" + GameFileName(scenario, index));
}

FolderFiles StoppedGameFiles(const Scenario& scenario, const FolderFiles& before, int stopped,
                             bool temporaryLeft) {
  FolderFiles files = GameFilesAfter(scenario, before, size_t(stopped));
  if (temporaryLeft) {
    const std::string name = GameFileName(scenario, stopped);
    files[name + ".tmp"] = FullyPatchedGameFiles(scenario, before).at(name);
  }
  return files;
}

void PrintTo(const Scenario& scenario, std::ostream* out) { *out << scenario.name; }

std::string PrintedBox(const std::string& caption, const std::string& text) {
  std::string printed = NarrowToHost(caption) + "\n" + NarrowToHost(text);
  return printed.back() == '\n' ? printed : printed + "\n";
}

std::string WithPaths(std::string text, const std::string& prefix, const std::string& home) {
  for (const auto& [name, path] : {std::pair{"<prefix>", prefix}, std::pair{"<home>", home}})
    for (size_t at; (at = text.find(name)) != std::string::npos;)
      text.replace(at, strlen(name), path);
  return text;
}

void ExpectPrinted(const CommandResult& result, int exitCode, const std::string& box,
                   const std::optional<std::string>& hints, const std::string& prefix,
                   const std::string& home) {
  EXPECT_EQ(exitCode, result.exitCode) << result.err;
  EXPECT_EQ(exitCode == 0 ? box : "", result.out);
  std::string after = result.err;
  if (exitCode != 0) {
    EXPECT_EQ(box, result.err.substr(0, box.size()));
    after = result.err.substr(std::min(box.size(), result.err.size()));
  }
  if (hints) {
    EXPECT_EQ(WithPaths(*hints, prefix, home), after);
    return;
  }
  EXPECT_NE("", after) << "no line names the prefix";
  std::istringstream lines(after);
  for (std::string line; std::getline(lines, line);)
    EXPECT_EQ(0u, line.rfind("patch_installer: ", 0)) << after;
}
