// Mask payloads: finding a row's payload and decoding it into the row's XOR mask.
//
// A payload is one zlib stream (RFC 1950) and nothing else. Decoded it is the mask: M bytes,
// M = max(oldSize, newSize) of the row. A stream that ends early leaves a zero tail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

struct PatchEntry;

// The stored bytes of one payload, owned by whoever holds them (the executable's image, or a
// test's table); never released by the engine.
struct PayloadBytes {
  const unsigned char* data = nullptr;
  uint32_t size = 0;
};

// Finds a payload by name, ignoring case (the table spells names in mixed case, the resources
// are stored in capitals).
class PayloadLookup {
 public:
  virtual ~PayloadLookup() = default;
  // Returns true and fills `out` when a payload of that name exists.
  virtual bool find(const char* name, PayloadBytes* out) const = 0;
};

struct FreeDeleter {
  void operator()(unsigned char* buffer) const { std::free(buffer); }
};
// A mask buffer from decodeMask: heap memory that the holder owns and releases.
using MaskBuffer = std::unique_ptr<unsigned char[], FreeDeleter>;

// Decodes `stream` (`streamSize` bytes) into a new zero-filled buffer of `maskLength` bytes,
// with one inflateInit, one inflate(Z_FINISH) and one inflateEnd. Returns the buffer, owned by
// the caller, or null on any failure: no memory, a bad header, damaged or cut-off data, a
// failed Adler-32 check, a preset dictionary, an empty stream, or more than `maskLength`
// decoded bytes. A failure keeps nothing allocated.
MaskBuffer decodeMask(const unsigned char* stream, uint32_t streamSize, int32_t maskLength);

// The mask length of a row: newSize when newSize >= oldSize, else oldSize.
int32_t maskLength(const PatchEntry& row);

// Finds the row's payload through `payloads` and decodes it to maskLength(row) bytes. Returns
// null when the payload is missing (an empty payloadName included) or does not decode.
MaskBuffer loadMask(const PatchEntry& row, const PayloadLookup& payloads);
