// Writes the starting corpus of decode_mask_fuzz into a folder: a few masks (two bytes of mask
// length, then one zlib stream) that decode exactly, short, too long, and from other levels.
#include <zlib.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

bool writeSeed(const std::string& dir, const char* name, int maskLength,
               const std::vector<unsigned char>& data, int level) {
  std::vector<unsigned char> out(compressBound(data.size()) + 2);
  uLongf size = out.size() - 2;
  if (compress2(out.data() + 2, &size, data.data(), data.size(), level) != Z_OK) return false;
  out[0] = static_cast<unsigned char>(maskLength & 0xFF);
  out[1] = static_cast<unsigned char>(maskLength >> 8);
  out.resize(size + 2);
  FILE* file = std::fopen((dir + "/" + name).c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(out.data(), 1, out.size(), file) == out.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: make_seeds DIR\n", stderr);
    return 2;
  }
  const std::string dir = argv[1];
  std::vector<unsigned char> mostlyZero(3000, 0);
  for (size_t i = 1000; i < 1100; ++i) mostlyZero[i] = static_cast<unsigned char>(i * 13);
  std::vector<unsigned char> varied(600);
  for (size_t i = 0; i < varied.size(); ++i) varied[i] = static_cast<unsigned char>(i * i + 7);
  const bool ok = writeSeed(dir, "exact", 3000, mostlyZero, 9) &&
                  writeSeed(dir, "short", 4000, mostlyZero, 9) &&
                  writeSeed(dir, "too-long", 2999, mostlyZero, 9) &&
                  writeSeed(dir, "stored", 600, varied, 0) &&
                  writeSeed(dir, "fast", 600, varied, 1) && writeSeed(dir, "empty", 16, {}, 9);
  if (!ok) {
    std::fprintf(stderr, "make_seeds: cannot write the seeds into %s\n", dir.c_str());
    return 1;
  }
  return 0;
}
