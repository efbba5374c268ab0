#include "programs/fff/text_output.h"

bool WriteText(FILE* stream, const std::string& text) {
  return std::fwrite(text.data(), 1, text.size(), stream) == text.size();
}
