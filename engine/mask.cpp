#include "mask.h"

#include <zlib.h>

#include <cstring>

#include "patch_table.h"

MaskBuffer decodeMask(const unsigned char* stream, uint32_t streamSize, int32_t maskLength) {
  if (maskLength < 0) return nullptr;
  // malloc(0) may return null; a zero-length mask gets one byte so that it is a valid buffer.
  const size_t bytes = maskLength > 0 ? static_cast<size_t>(maskLength) : 1;
  MaskBuffer mask(static_cast<unsigned char*>(std::malloc(bytes)));
  if (!mask) return nullptr;
  std::memset(mask.get(), 0, static_cast<size_t>(maskLength));

  z_stream z{};
  z.next_in = const_cast<Bytef*>(stream);  // zlib's interface is not const; it only reads
  z.avail_in = streamSize;
  z.next_out = mask.get();
  z.avail_out = static_cast<uInt>(maskLength);
  z.zalloc = Z_NULL;
  z.zfree = Z_NULL;
  z.opaque = Z_NULL;

  if (inflateInit(&z) != Z_OK) return nullptr;
  const int inflated = inflate(&z, Z_FINISH);
  const int ended = inflateEnd(&z);
  if (inflated != Z_STREAM_END || ended != Z_OK) return nullptr;
  return mask;
}

int32_t maskLength(const PatchEntry& row) {
  return row.newSize >= row.oldSize ? row.newSize : row.oldSize;
}

MaskBuffer loadMask(const PatchEntry& row, const PayloadLookup& payloads) {
  if (row.payloadName[0] == '\0') return nullptr;
  PayloadBytes payload;
  if (!payloads.find(row.payloadName, &payload) || payload.data == nullptr) return nullptr;
  return decodeMask(payload.data, payload.size, maskLength(row));
}
