#include "shell/registry_value.h"

bool terminateRegistryString(char* buffer, size_t capacity, size_t size) {
  if (capacity == 0 || size > capacity) return false;
  if (size > 0 && buffer[size - 1] == '\0') return true;
  // A stored string need not carry its terminating zero. One that fills the whole buffer
  // without it is not a path this program can use.
  if (size == capacity) return false;
  buffer[size] = '\0';
  return true;
}
