// Fuzz target for decodeMask. The first two input bytes give the mask length (0 to 65535), the
// rest is the stored stream. Besides the sanitizers' findings, every result is compared with a
// plain inflate into a buffer one byte longer than the mask: decodeMask must succeed exactly
// when the stream is complete and decodes to at most the mask length, and then hold the
// decoded bytes followed by zeros.
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/mask.h"

namespace {

struct Reference {
  bool decodes = false;
  std::vector<unsigned char> bytes;
};

Reference inflateOnce(const uint8_t* stream, size_t size, int32_t maskLength) {
  Reference reference;
  std::vector<unsigned char> out(static_cast<size_t>(maskLength) + 1);
  z_stream z{};
  if (inflateInit(&z) != Z_OK) std::abort();
  z.next_in = const_cast<Bytef*>(stream);
  z.avail_in = static_cast<uInt>(size);
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  const int result = inflate(&z, Z_FINISH);
  const size_t produced = z.total_out;
  inflateEnd(&z);
  if (result == Z_STREAM_END && produced <= static_cast<size_t>(maskLength)) {
    reference.decodes = true;
    out.resize(static_cast<size_t>(maskLength));
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(produced), out.end(), 0);
    reference.bytes = std::move(out);
  }
  return reference;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int32_t maskLength = data[0] | data[1] << 8;
  const uint8_t* stream = data + 2;
  const size_t streamSize = size - 2;

  MaskBuffer mask = decodeMask(stream, static_cast<uint32_t>(streamSize), maskLength);
  const Reference reference = inflateOnce(stream, streamSize, maskLength);
  if ((mask != nullptr) != reference.decodes) std::abort();
  if (mask != nullptr && maskLength > 0 &&
      std::memcmp(mask.get(), reference.bytes.data(), static_cast<size_t>(maskLength)) != 0) {
    std::abort();
  }
  return 0;
}
