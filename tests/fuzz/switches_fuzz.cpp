// Fuzz target for parseSwitches. The input, up to its first zero byte, is the command line; the
// result is compared with a plain reading: lower-case the ASCII letters of the whole line and
// look for "/q" and "/v" anywhere in it.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "shell/switches.h"

namespace {

bool contains(const std::string& text, const char* needle) {
  return text.find(needle) != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string commandLine(reinterpret_cast<const char*>(data), size);
  std::string lowered(commandLine.c_str());  // what a C string of the input holds
  for (char& c : lowered) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  const Switches found = parseSwitches(commandLine.c_str());
  if (found.quiet != contains(lowered, "/q")) std::abort();
  if (found.verbose != contains(lowered, "/v")) std::abort();
  return 0;
}
