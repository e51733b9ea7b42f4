// Fuzz target for namesTrueTypeFont over arbitrary "system.ini" values. The value reaches the
// check the way the profile read delivers it: cut to the 1024-character buffer and terminated.
// The result is compared with a plain reading: the last four characters, with ASCII letters
// lower-cased, are ".ttf".
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "shell/screen_saver.h"

namespace {

constexpr size_t kBufferSize = 1024;

bool endsInTtf(std::string value) {
  for (char& c : value) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return value.size() >= 4 && value.compare(value.size() - 4, 4, ".ttf") == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Exactly the buffer's size on the heap, so a read past its terminator is caught.
  char* buffer = new char[kBufferSize];
  const size_t copied = size < kBufferSize - 1 ? size : kBufferSize - 1;
  std::memcpy(buffer, data, copied);
  buffer[copied] = '\0';
  const std::string value(buffer);  // up to the first zero, as every reader sees it
  const bool named = namesTrueTypeFont(buffer);
  delete[] buffer;
  if (named != endsInTtf(value)) std::abort();
  return 0;
}
