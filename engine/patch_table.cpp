#include "patch_table.h"

#include <algorithm>
#include <cstring>

#include "file_io.h"

// Adds eight bytes at a time: the even and the odd bytes of each 64-bit word go into four
// 16-bit lanes. A lane gains at most 2 * 255 per word, so 128 words (65280) cannot overflow it
// before the lanes are folded into the sum.
uint32_t addToByteSum(uint32_t sum, const unsigned char* bytes, size_t count) {
  constexpr uint64_t kEvenBytes = 0x00FF00FF00FF00FFull;
  constexpr size_t kWordsPerBlock = 128;
  size_t i = 0;
  while (count - i >= 8) {
    const size_t words = std::min((count - i) / 8, kWordsPerBlock);
    uint64_t lanes = 0;
    for (size_t w = 0; w < words; ++w, i += 8) {
      uint64_t word;
      std::memcpy(&word, bytes + i, sizeof word);
      lanes += (word & kEvenBytes) + ((word >> 8) & kEvenBytes);
    }
    lanes = (lanes & 0x0000FFFF0000FFFFull) + ((lanes >> 16) & 0x0000FFFF0000FFFFull);
    sum += static_cast<uint32_t>((lanes & 0xFFFFFFFFull) + (lanes >> 32));
  }
  for (; i < count; ++i) sum += bytes[i];
  return sum;
}

bool measureTarget(FileIo& io, const char* path, Measurement* out) {
  UniqueFile file = openFile(io, path, "rb");
  if (!file) return false;
  unsigned char chunk[kChunkSize];
  Measurement measurement{0, 0};
  for (;;) {
    size_t count = io.read(file.get(), chunk, sizeof chunk);
    if (count == 0) break;
    measurement.length += static_cast<int64_t>(count);
    measurement.sum = addToByteSum(measurement.sum, chunk, count);
  }
  *out = measurement;
  return true;
}

RowState classifyMeasurement(const PatchEntry& row, const Measurement& measurement) {
  const int64_t length = measurement.length;
  if (measurement.sum == row.newSum &&
      (length == row.newSize || (length == row.oldSize && row.oldSize > row.newSize))) {
    return RowState::Patched;
  }
  if (length == row.oldSize && measurement.sum == row.oldSum) return RowState::Unpatched;
  return RowState::Mismatch;
}

bool hasChainedEntries(const PatchTable& table) {
  return table.rowCount >= 2 &&
         std::strcmp(table.rows[0].targetPath, table.rows[1].targetPath) == 0;
}

SurveyVerdict surveyInstallation(const PatchTable& table, FileIo& io) {
  const bool chained = hasChainedEntries(table);
  int patchedCount = 0;
  int mismatchCount = 0;
  for (int index = 0; index < table.rowCount; ++index) {
    const PatchEntry& row = table.rows[index];
    Measurement measurement{};
    if (!measureTarget(io, row.targetPath, &measurement)) return Missing;
    switch (classifyMeasurement(row, measurement)) {
      case RowState::Patched:
        ++patchedCount;
        break;
      case RowState::Unpatched:
        break;
      case RowState::Mismatch:
        ++mismatchCount;
        ++patchedCount;
        if (!(mismatchCount == 1 && index <= 1 && chained)) return Unrecognised;
        break;
    }
  }
  return patchedCount == table.rowCount ? AllPatched : Ready;
}

void invertTable(PatchTable& table) {
  for (int index = 0; index < table.rowCount; ++index) {
    PatchEntry& row = table.rows[index];
    const int32_t size = row.oldSize;
    row.oldSize = row.newSize;
    row.newSize = size;
    const uint32_t sum = row.oldSum;
    row.oldSum = row.newSum;
    row.newSum = sum;
  }
  if (hasChainedEntries(table)) {
    PatchEntry& first = table.rows[0];
    first.newSize = first.oldSize;
    first.newSum = first.oldSum;
    first.payloadName[0] = '\0';
  }
}

int64_t sumOfSizes(const PatchTable& table) {
  int64_t total = 0;
  for (int index = 0; index < table.rowCount; ++index) {
    total += int64_t{table.rows[index].oldSize} + table.rows[index].newSize;
  }
  return total;
}
