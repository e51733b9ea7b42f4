// Payloads for the native tests: an in-memory payload lookup, and the payload files that the
// build made (or was given) for each edition.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "editions/edition.h"
#include "engine/mask.h"

// Payload streams by name, held in memory; names are compared ignoring ASCII case, as the
// Windows resource lookup compares them.
class MemoryPayloads final : public PayloadLookup {
 public:
  // Adds (or replaces) the payload `name`.
  void add(const std::string& name, std::vector<unsigned char> stream);
  bool find(const char* name, PayloadBytes* out) const override;

 private:
  std::vector<std::pair<std::string, std::vector<unsigned char>>> entries_;
};

// The folder whose na/, uk/ and de/ hold the build's payload files.
std::string payloadRoot();

// True when the build made its payloads from the sample installations (not given real ones
// with PATCHER_PAYLOAD_DIR); only then do the payloads turn samples into samples.
bool payloadsComeFromSamples();

// The payload file name of a row: its payloadName in capitals.
std::string payloadFileName(const PatchEntry& row);

// Loads every payload that `edition`'s table names from payloadRoot()/<id>/. Returns false with
// a message in `error` when a file cannot be read.
bool loadEditionPayloads(const EditionData& edition, MemoryPayloads* payloads, std::string* error);
