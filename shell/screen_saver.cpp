#include "shell/screen_saver.h"

#include <cstddef>
#include <cstring>

bool namesTrueTypeFont(const char* value) {
  static const char kSuffix[] = ".ttf";
  const size_t suffixLength = sizeof kSuffix - 1;
  const size_t length = std::strlen(value);
  if (length < suffixLength) return false;
  const char* tail = value + length - suffixLength;
  for (size_t i = 0; i < suffixLength; ++i) {
    char c = tail[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kSuffix[i]) return false;
  }
  return true;
}
