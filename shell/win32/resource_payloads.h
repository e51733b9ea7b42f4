// Payloads and messages read from the executable's own resources.
#pragma once

#include <windows.h>

#include "engine/mask.h"
#include "engine/messages.h"

// Finds a payload among the "FILE" resources of `instance`; the lookup ignores case.
class ResourcePayloads final : public PayloadLookup {
 public:
  explicit ResourcePayloads(HINSTANCE instance) : instance_(instance) {}
  // The bytes stay in the executable's image for the life of the process.
  bool find(const char* name, PayloadBytes* out) const override;

 private:
  HINSTANCE instance_;
};

// Messages from the string table of `instance`, in the ANSI code page.
class StringTableMessages final : public MessageSource {
 public:
  explicit StringTableMessages(HINSTANCE instance) : instance_(instance) {}
  void load(int number, char* buffer, size_t capacity) const override;

 private:
  HINSTANCE instance_;
};
