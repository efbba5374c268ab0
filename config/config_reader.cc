#include "config/config_reader.h"

#include <cstdlib>
#include <cstring>

#include "filesystem/file_system.h"
#include "filesystem/run_end.h"

namespace {

// A zero-filled copy of first followed by second (and third), or the end of
// the run when memory is short. Released with free.
char* JoinPattern(const char* first, const char* second, const char* third) {
  const size_t size = strlen(first) + strlen(second) + strlen(third) + 1;
  char* pattern = static_cast<char*>(calloc(size, 1));
  if (pattern == nullptr) EndRunWithError(RunTextOf(RunText::kNoMemory));
  strcat(strcat(strcpy(pattern, first), second), third);
  return pattern;
}

// Like strstr over text from offset on, where text holds size bytes and a
// zero; a zero byte in the text ends it for every search.
const char* FindFrom(const char* text, uint32_t size, uint32_t offset,
                     const char* pattern) {
  if (offset > size) return nullptr;
  return strstr(text + offset, pattern);
}

}  // namespace

ConfigReader::ConfigReader()
    : handle(nullptr),
      text(nullptr),
      sectionPattern(nullptr),
      keyPattern(nullptr),
      loadedName(),
      textSize(0),
      sectionName(),
      keyName(),
      configName(),
      defaultValue(),
      value(),
      valueLength(0) {}

ConfigReader::~ConfigReader() {
  CloseFile(handle);
  free(text);
  // Set while a lookup runs; a host that survives a fatal error inside one
  // (a fuzzer) still gets them back.
  free(sectionPattern);
  free(keyPattern);
}

void ConfigReader::Forget() {
  CloseFile(handle);
  handle = nullptr;
  free(text);
  text = nullptr;
}

void ConfigReader::LoadFile() {
  // The file held is closed before the next one is opened.
  Forget();
  Load(OpenFile(configName, OPEN_FILE_READ));
}

void ConfigReader::Load(FileHandle* opened) {
  handle = opened;
  // The reader takes what there is: a member that runs past the end of a
  // damaged archive is read up to that end, and bytes a short read does
  // not deliver stay zero, which ends the text there. A damaged member's
  // size never sizes the allocation.
  textSize = ReadableSize(handle);
  memcpy(loadedName, configName, sizeof loadedName);
  if (textSize == 0) {
    memcpy(value, defaultValue, sizeof defaultValue);
    return;
  }
  text = static_cast<char*>(calloc(size_t(textSize) + 1, 1));
  if (text == nullptr) EndRunWithError(RunTextOf(RunText::kNoMemory));
  ReadFileBytes(handle, text, textSize);
}

void ConfigReader::ReadValue() {
  // The caller writes the names directly; never read past their fields.
  sectionName[kNameSize - 1] = '\0';
  keyName[kNameSize - 1] = '\0';
  configName[kNameSize - 1] = '\0';
  if (sectionName[0] == '\0' || keyName[0] == '\0') return;

  sectionPattern = JoinPattern("[", sectionName, "]");
  keyPattern = JoinPattern(keyName, "=", "");
  if (handle == nullptr || strcmp(loadedName, configName) != 0) LoadFile();
  if (textSize != 0 && !FindValue(textSize)) value[0] = '\0';
  valueLength = static_cast<uint32_t>(strnlen(value, kValueSize));
  free(keyPattern);
  free(sectionPattern);
  keyPattern = nullptr;
  sectionPattern = nullptr;
}

bool ConfigReader::FindValue(uint32_t size) {
  memset(value, 0, sizeof value);
  const char* header = FindFrom(text, size, 0, sectionPattern);
  if (header == nullptr) return false;
  const uint32_t bodyStart =
      static_cast<uint32_t>(header - text + strlen(sectionPattern));

  uint32_t sectionEnd = size;
  for (uint32_t n = bodyStart + 1; n < size; ++n) {
    if (text[n] == '\0') break;
    if (text[n] == '[' && static_cast<signed char>(text[n - 1]) <= 32) {
      sectionEnd = n;
      break;
    }
  }
  if (sectionEnd <= bodyStart) return false;

  const char* entry = FindFrom(text, size, bodyStart, keyPattern);
  if (entry == nullptr || uint32_t(entry - text) >= sectionEnd) return false;

  // The value ends at a carriage return, at a line feed (a file written with
  // bare line feeds reads as its author meant), or at the end of the text;
  // it is cut at the last byte that value can hold.
  const char* source = entry + strlen(keyPattern);
  size_t length = strcspn(source, "\r\n");
  if (length > kValueSize - 1) length = kValueSize - 1;
  memcpy(value, source, length);
  return true;
}
