#include "messages.h"

#include <cstdio>
#include <cstring>

void CatalogueMessages::load(int number, char* buffer, size_t capacity) const {
  const char* text = find(number);
  copyBounded(buffer, capacity, text != nullptr ? text : "");
}

const char* CatalogueMessages::find(int number) const {
  for (int i = 0; i < count_; ++i) {
    if (entries_[i].number == number) return entries_[i].text;
  }
  return nullptr;
}

void copyBounded(char* buffer, size_t capacity, const char* text) {
  if (capacity == 0) return;
  size_t length = std::strlen(text);
  if (length >= capacity) length = capacity - 1;
  std::memcpy(buffer, text, length);
  buffer[length] = '\0';
}

void appendBounded(char* buffer, size_t capacity, const char* text) {
  if (capacity == 0) return;
  size_t used = strnlen(buffer, capacity);
  if (used >= capacity) {
    buffer[capacity - 1] = '\0';
    return;
  }
  copyBounded(buffer + used, capacity - used, text);
}

namespace {

// Copies `format` into `buffer`, putting `replacement` in place of each "%<directive>". Any
// other character, a stray '%' included, is copied as it stands, so a catalogue text can never
// make the formatting read an argument that is not there.
void substitute(char* buffer, size_t capacity, const char* format, char directive,
                const char* replacement) {
  if (capacity == 0) return;
  size_t used = 0;
  auto put = [&](char c) {
    if (used + 1 < capacity) buffer[used++] = c;
  };
  for (const char* p = format; *p != '\0'; ++p) {
    if (p[0] == '%' && p[1] == directive) {
      for (const char* r = replacement; *r != '\0'; ++r) put(*r);
      ++p;
    } else {
      put(*p);
    }
  }
  buffer[used] = '\0';
}

}  // namespace

void formatWithPath(char* buffer, size_t capacity, const char* format, const char* path) {
  substitute(buffer, capacity, format, 's', path);
}

void formatWithNumber(char* buffer, size_t capacity, const char* format, int number) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%d", number);
  substitute(buffer, capacity, format, 'd', digits);
}
