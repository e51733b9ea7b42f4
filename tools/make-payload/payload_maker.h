// Making a mask payload from the old and the new version of a file.
//
// The mask is as long as the longer version. The shorter version counts as extended with zero
// bytes, and mask[i] = old[i] XOR new[i]. The payload is the mask as one zlib stream at the
// highest compression level (header bytes 0x78 0xDA), with nothing before or after it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The largest file length a payload can describe: sizes are 32-bit signed in the patch table.
constexpr int64_t kMaxPayloadFileLength = INT32_MAX;

// The XOR mask of `oldBytes` and `newBytes`, max(old size, new size) bytes long.
std::vector<unsigned char> makeMask(const std::vector<unsigned char>& oldBytes,
                                    const std::vector<unsigned char>& newBytes);

// Compresses `mask` into one zlib stream at level 9. Returns false (and leaves `stream` empty)
// when zlib fails.
bool compressMask(const std::vector<unsigned char>& mask, std::vector<unsigned char>* stream);

// Reads a whole file. Returns false with a message in `error` when it cannot be opened or read,
// or when it is longer than kMaxPayloadFileLength (checked before anything is read).
bool readWholeFile(const std::string& path, std::vector<unsigned char>* bytes, std::string* error);

// Reads OLD and NEW, makes the payload and writes it to OUT. The payload goes to a temporary
// file beside OUT that is renamed to OUT only when it is complete, so a failure never leaves a
// partial or stale-looking OUT behind (an existing OUT is kept as it was). Returns false with
// a message in `error` on any failure.
bool makePayloadFile(const std::string& oldPath, const std::string& newPath,
                     const std::string& outPath, std::string* error);
