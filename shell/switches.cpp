#include "shell/switches.h"

#include <cstring>

namespace {

// True when `c` is `lower` or its ASCII capital. Only ASCII letters are folded, so bytes of
// other code pages never match.
bool isLetterIgnoringCase(char c, char lower) { return c == lower || c == lower - 'a' + 'A'; }

}  // namespace

Switches parseSwitches(const char* commandLine) {
  Switches found;
  if (commandLine == nullptr) return found;
  const size_t length = std::strlen(commandLine);
  for (size_t i = 0; i + 1 < length; ++i) {
    if (commandLine[i] != '/') continue;
    if (isLetterIgnoringCase(commandLine[i + 1], 'q')) found.quiet = true;
    if (isLetterIgnoringCase(commandLine[i + 1], 'v')) found.verbose = true;
  }
  return found;
}
