// Writes the starting corpus of decode_mask_fuzz into a folder: a few stored streams (mode 0,
// two bytes of mask length, one zlib stream) that decode exactly, short, too long, and from
// other levels, and a few raw masks for the mode that compresses and damages them itself.
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

bool writeFile(const std::string& dir, const char* name, const std::vector<unsigned char>& out) {
  FILE* file = std::fopen((dir + "/" + name).c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(out.data(), 1, out.size(), file) == out.size();
  return std::fclose(file) == 0 && written;
}

std::vector<unsigned char> lengthPrefix(uint8_t mode, int maskLength) {
  return {mode, static_cast<unsigned char>(maskLength & 0xFF),
          static_cast<unsigned char>(maskLength >> 8)};
}

// A stored stream: `data` compressed at `level`.
bool writeStreamSeed(const std::string& dir, const char* name, int maskLength,
                     const std::vector<unsigned char>& data, int level) {
  std::vector<unsigned char> stream(compressBound(data.size()));
  uLongf size = stream.size();
  if (compress2(stream.data(), &size, data.data(), data.size(), level) != Z_OK) return false;
  std::vector<unsigned char> out = lengthPrefix(0, maskLength);
  out.insert(out.end(), stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(size));
  return writeFile(dir, name, out);
}

// Data for the damaging mode: cut `cut` bytes, change nothing.
bool writeRawSeed(const std::string& dir, const char* name, int maskLength, uint8_t cut,
                  const std::vector<unsigned char>& data) {
  std::vector<unsigned char> out = lengthPrefix(1, maskLength);
  out.insert(out.end(), {cut, 0, 0, 0});
  out.insert(out.end(), data.begin(), data.end());
  return writeFile(dir, name, out);
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
  const bool ok = writeStreamSeed(dir, "exact", 3000, mostlyZero, 9) &&
                  writeStreamSeed(dir, "short", 4000, mostlyZero, 9) &&
                  writeStreamSeed(dir, "too-long", 2999, mostlyZero, 9) &&
                  writeStreamSeed(dir, "stored", 600, varied, 0) &&
                  writeStreamSeed(dir, "fast", 600, varied, 1) &&
                  writeStreamSeed(dir, "empty", 16, {}, 9) &&
                  writeRawSeed(dir, "raw-exact", 3000, 0, mostlyZero) &&
                  writeRawSeed(dir, "raw-cut", 600, 1, varied);
  if (!ok) {
    std::fprintf(stderr, "make_seeds: cannot write the seeds into %s\n", dir.c_str());
    return 1;
  }
  return 0;
}
