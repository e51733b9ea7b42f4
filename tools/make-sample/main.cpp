// make-sample EDITION STATE DIR: writes a sample installation of an edition in one state.
#include <cstdio>
#include <cstring>
#include <string>

#include "editions/edition.h"
#include "sample_installation.h"

namespace {

void printUsage(FILE* out) {
  std::fputs(
      "usage: make-sample EDITION STATE DIR\n"
      "\n"
      "Writes a sample installation (Varnok.exe and the three menu bitmaps in Varnok/) below\n"
      "DIR, with exactly the lengths and byte sums that the edition's patch table gives for\n"
      "STATE. The files are made for testing; the same arguments always give the same bytes.\n"
      "\n"
      "editions and their states:\n",
      out);
  for (const EditionData* edition : kAllEditions) {
    std::string states;
    for (const std::string& state : sampleStates(*edition)) states += " " + state;
    std::fprintf(out, "  %-3s %-15s%s\n", edition->id, edition->name, states.c_str());
  }
  std::fputs("\noptions:\n  -h, --help  show this text and exit\n", out);
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      printUsage(stdout);
      return 0;
    }
  }
  if (argc != 4) {
    printUsage(stderr);
    return 2;
  }
  const EditionData* edition = findEdition(argv[1]);
  if (edition == nullptr) {
    std::fprintf(stderr, "make-sample: unknown edition \"%s\" (na, uk or de)\n", argv[1]);
    return 2;
  }
  std::string error;
  if (!writeSampleInstallation(*edition, argv[2], argv[3], &error)) {
    std::fprintf(stderr, "make-sample: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
