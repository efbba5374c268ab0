// A configuration text from the fuzzer, laid out as "section\nkey\ntext":
// the text is Cfg\Menu.cfg in the work folder, looked up under the key and
// then, on the same reader, under the key with its first letter upper-cased,
// as version detection does. The names fill their fields with no zero when
// they are that long.
#include <cstdlib>
#include <cstring>
#include <memory>

#include "config/config_reader.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput input;
  const std::string section = TakeLine(&data, &size);
  std::string key = TakeLine(&data, &size);
  WriteWholeFile(FuzzInput::workFolder + "/Cfg/Menu.cfg", data, size);
  RunUntilFatal([&] {
    auto reader = std::make_unique<ConfigReader>();
    strcpy(reader->configName, "Cfg\\Menu.cfg");
    strncpy(reader->sectionName, section.c_str(), sizeof reader->sectionName);
    for (int round = 0; round < 2; ++round) {
      strncpy(reader->keyName, key.c_str(), sizeof reader->keyName);
      reader->ReadValue();
      if (reader->valueLength != strnlen(reader->value, sizeof reader->value)) abort();
      if (!key.empty() && key[0] >= 'a' && key[0] <= 'z') key[0] -= 32;  // for the second round
    }
  });
  return 0;
}
