// Finds the value of one key within one bracketed section of a text
// configuration file opened through the packed file system:
//
//   [Version]\r\n
//   version=v1.1\r\n
//
// The header counts wherever its bytes first occur; the section runs to the
// next "[" whose preceding byte, taken as a signed 8-bit number, is at most
// 32. The entry is the first "key=" behind the header that begins before the
// section's end, also at the tail of a longer word. The value runs up to the
// first carriage return or line feed, or to the end of the text, byte for
// byte. Names are case-sensitive.
#ifndef GRAVELHORN_CONFIG_CONFIG_READER_H_
#define GRAVELHORN_CONFIG_CONFIG_READER_H_

#include <cstdint>

#include "filesystem/file_handle.h"

class ConfigReader {
 public:
  static const uint32_t kValueSize = 16384;
  static const uint32_t kNameSize = 256;

  ConfigReader();
  ~ConfigReader();  // closes handle, releases text and patterns
  ConfigReader(const ConfigReader&) = delete;
  ConfigReader& operator=(const ConfigReader&) = delete;

  // Looks keyName up in section sectionName of file configName; sets value
  // and valueLength (0: nothing to use). Does nothing at all while either
  // name is empty. The file is read once and kept for further lookups until
  // another configName is asked for. A missing file ends the run (OpenFile).
  void ReadValue();
  // The search over text; false when there is no entry. Used by ReadValue.
  bool FindValue(uint32_t size);
  // Takes opened, a handle on the file that configName names (now the
  // reader's, to close), and reads its text, as ReadValue reads a file it
  // opens itself. The reader holds no file yet.
  void Load(FileHandle* opened);

  FileHandle* handle;    // the file whose text is held, or nullptr
  char* text;            // textSize bytes and a zero, or nullptr
  char* sectionPattern;  // "[section]", during one lookup
  char* keyPattern;      // "key=", during one lookup
  char loadedName[kNameSize];
  uint32_t textSize;
  char sectionName[kNameSize];
  char keyName[kNameSize];
  char configName[kNameSize];
  char defaultValue[kNameSize];  // the value of an empty file
  char value[kValueSize];
  uint32_t valueLength;

 private:
  void Forget();  // closes handle, releases text
  void LoadFile();
};

#endif  // GRAVELHORN_CONFIG_CONFIG_READER_H_
