// make-payload OLD NEW OUT: writes the mask payload that turns OLD into NEW.
#include <cstdio>
#include <cstring>
#include <string>

#include "payload_maker.h"

namespace {

constexpr const char kUsage[] =
    "usage: make-payload OLD NEW OUT\n"
    "\n"
    "Writes to OUT the payload that turns the file OLD into the file NEW: the XOR of the two\n"
    "files, the shorter one extended with zero bytes, compressed as one zlib stream at level 9.\n"
    "Both files may be at most 2147483647 bytes long. OUT is written completely or not at all.\n"
    "\n"
    "options:\n"
    "  -h, --help  show this text and exit\n";

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
  }
  if (argc != 4) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::string error;
  if (!makePayloadFile(argv[1], argv[2], argv[3], &error)) {
    std::fprintf(stderr, "make-payload: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
