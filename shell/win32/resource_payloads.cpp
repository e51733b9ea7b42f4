#include "shell/win32/resource_payloads.h"

#include <climits>

#include "shell/win32/win32_resources.h"

bool ResourcePayloads::find(const char* name, PayloadBytes* out) const {
  HRSRC resource = FindResourceA(instance_, name, kPayloadResourceType);
  if (resource == nullptr) return false;
  HGLOBAL loaded = LoadResource(instance_, resource);
  if (loaded == nullptr) return false;
  const void* data = LockResource(loaded);
  const DWORD size = SizeofResource(instance_, resource);
  if (data == nullptr || size == 0) return false;
  out->data = static_cast<const unsigned char*>(data);
  out->size = size;
  return true;
}

void StringTableMessages::load(int number, char* buffer, size_t capacity) const {
  if (capacity == 0) return;
  const int limit = capacity > INT_MAX ? INT_MAX : static_cast<int>(capacity);
  // LoadStringA cuts the text to fit and terminates it; a missing number leaves it empty.
  if (LoadStringA(instance_, static_cast<UINT>(number), buffer, limit) <= 0) buffer[0] = '\0';
}
