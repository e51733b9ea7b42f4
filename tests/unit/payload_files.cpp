#include "payload_files.h"

#include <cctype>
#include <fstream>
#include <iterator>

namespace {

bool equalIgnoringCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return i == a.size() && b[i] == '\0';
}

}  // namespace

void MemoryPayloads::add(const std::string& name, std::vector<unsigned char> stream) {
  for (auto& entry : entries_) {
    if (equalIgnoringCase(entry.first, name.c_str())) {
      entry.second = std::move(stream);
      return;
    }
  }
  entries_.emplace_back(name, std::move(stream));
}

bool MemoryPayloads::find(const char* name, PayloadBytes* out) const {
  for (const auto& entry : entries_) {
    if (!equalIgnoringCase(entry.first, name)) continue;
    out->data = entry.second.data();
    out->size = static_cast<uint32_t>(entry.second.size());
    return true;
  }
  return false;
}

std::string payloadRoot() { return PATCHER_PAYLOAD_ROOT; }

bool payloadsComeFromSamples() { return PATCHER_PAYLOADS_FROM_SAMPLES != 0; }

std::string payloadFileName(const PatchEntry& row) {
  std::string name = row.payloadName;
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

bool loadEditionPayloads(const EditionData& edition, MemoryPayloads* payloads, std::string* error) {
  for (int i = 0; i < edition.table.rowCount; ++i) {
    const std::string name = payloadFileName(edition.table.rows[i]);
    if (name.empty()) continue;
    const std::string path = payloadRoot() + "/" + edition.id + "/" + name;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      *error = "cannot read " + path;
      return false;
    }
    payloads->add(name, std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {}));
  }
  return true;
}
