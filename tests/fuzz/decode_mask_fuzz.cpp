// Fuzz target for decodeMask. Every result is compared with a plain inflate into a buffer one
// byte longer than the mask: decodeMask must succeed exactly when the stream is complete and
// decodes to at most the mask length, and then hold the decoded bytes followed by zeros.
//
// Input: one mode byte, two bytes of mask length (0 to 65535), then
//   even mode: the stored stream itself;
//   odd mode:  a cut count, a two-byte position and an XOR value, then data that is compressed
//              here and then damaged: the byte at the position (modulo the stream's size) is
//              XOR-ed with the value and the cut count's bytes are dropped from the end. zlib is
//              not instrumented, so this mode is what reaches streams that are nearly valid.
#include <zlib.h>

#include <algorithm>
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

// The stream of an odd-mode input: the data compressed, then damaged as its header says.
std::vector<unsigned char> damagedStream(const uint8_t* input, size_t size) {
  if (size < 4) return {};
  const uint8_t* data = input + 4;
  const size_t dataSize = size - 4;
  uLongf length = compressBound(dataSize);
  std::vector<unsigned char> stream(length);
  if (compress2(stream.data(), &length, data, dataSize, Z_BEST_COMPRESSION) != Z_OK) std::abort();
  stream.resize(length);
  const size_t position = (input[1] | input[2] << 8) % stream.size();
  stream[position] ^= input[3];
  stream.resize(stream.size() - std::min<size_t>(input[0], stream.size()));
  return stream;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const int32_t maskLength = data[1] | data[2] << 8;
  std::vector<unsigned char> stream;
  if (data[0] & 1) {
    stream = damagedStream(data + 3, size - 3);
  } else {
    stream.assign(data + 3, data + size);
  }

  MaskBuffer mask = decodeMask(stream.data(), static_cast<uint32_t>(stream.size()), maskLength);
  const Reference reference = inflateOnce(stream.data(), stream.size(), maskLength);
  if ((mask != nullptr) != reference.decodes) std::abort();
  if (mask != nullptr && maskLength > 0 &&
      std::memcmp(mask.get(), reference.bytes.data(), static_cast<size_t>(maskLength)) != 0) {
    std::abort();
  }
  return 0;
}
