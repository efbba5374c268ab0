// A configuration text from the fuzzer, laid out as
//
//   section\nkey\nfile name\ntext...
//
// The text is written to Cfg\Menu.cfg in the work folder; the section, key
// and file name (Cfg\Menu.cfg when empty) are copied into the reader's
// fields, up to their whole size and without a terminator of their own.
// The key is looked up, then the same key with its first letter upper-cased
// on the same reader, as version detection does.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "config/config_reader.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

void CopyField(char (&field)[ConfigReader::kNameSize], const std::string& text) {
  memset(field, 0, sizeof field);
  memcpy(field, text.data(), text.size() < sizeof field ? text.size() : sizeof field);
}

void CheckValue(const ConfigReader& reader) {
  if (reader.valueLength >= ConfigReader::kValueSize ||
      reader.valueLength != strnlen(reader.value, ConfigReader::kValueSize))
    abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PrepareFuzzProcess();
  InWorkFolder inWorkFolder;
  const std::string section = TakeLine(&data, &size);
  std::string key = TakeLine(&data, &size);
  std::string fileName = TakeLine(&data, &size);
  if (fileName.empty()) fileName = "Cfg\\Menu.cfg";
  WriteWholeFile(FuzzWorkFolder() + "/Cfg/Menu.cfg", data, size);

  RunUntilFatal([&] {
    std::unique_ptr<ConfigReader> reader(new ConfigReader);
    CopyField(reader->sectionName, section);
    CopyField(reader->keyName, key);
    CopyField(reader->configName, fileName);
    reader->ReadValue();
    CheckValue(*reader);
    if (!key.empty() && key[0] >= 'a' && key[0] <= 'z') key[0] -= 32;
    CopyField(reader->keyName, key);
    reader->ReadValue();
    CheckValue(*reader);
  });
  return 0;
}
