// The patch table: what the patcher changes, and how an installation is recognised.
//
// Every row names one target file, the payload that carries the row's XOR mask, and the
// target's length and byte sum before (old) and after (new) the row's step. Functions take the
// table they work on, so one program can hold the tables of all editions (tests do); the
// patcher itself keeps one process-wide copy of its edition's table.
#pragma once

#include <cstddef>
#include <cstdint>

class FileIo;

constexpr int kTargetPathSize = 64;
constexpr int kPayloadNameSize = 16;
constexpr int kMaxPatchRows = 8;
constexpr size_t kChunkSize = 4096;

// One row of the table. Field order and sizes are fixed.
struct PatchEntry {
  char targetPath[kTargetPathSize];    // relative, backslash-separated, NUL-terminated
  char payloadName[kPayloadNameSize];  // "FILE" resource name; empty names no payload
  int32_t oldSize;
  int32_t newSize;
  uint32_t oldSum;  // compared for equality only
  uint32_t newSum;
};

// The ordered rows of an edition. Copyable, so the program and each test can own a copy that
// invertTable may rewrite.
struct PatchTable {
  int rowCount;
  PatchEntry rows[kMaxPatchRows];
};

// Adds every byte, as an unsigned 8-bit value, to `sum`, wrapping modulo 2^32.
uint32_t addToByteSum(uint32_t sum, const unsigned char* bytes, size_t count);

// A target's fingerprint. The length is measured wide: a file longer than INT32_MAX bytes can
// never equal a table size, and classifies as a mismatch instead of overflowing.
struct Measurement {
  int64_t length;
  uint32_t sum;
};

// Reads `path` through `io` in 4096-byte chunks until a read yields nothing. Returns false when
// the file cannot be opened; a failed read counts as the end of the file.
bool measureTarget(FileIo& io, const char* path, Measurement* out);

enum class RowState { Patched, Unpatched, Mismatch };

// Patched: sum is newSum and the length is newSize, or is oldSize where oldSize > newSize (a
// file patched in place keeps its old length; its surplus tail is zeros). Then Unpatched:
// length oldSize and sum oldSum. Otherwise Mismatch.
RowState classifyMeasurement(const PatchEntry& row, const Measurement& measurement);

// True when rows 0 and 1 name the same target, compared byte for byte (case counts).
bool hasChainedEntries(const PatchTable& table);

enum SurveyVerdict : int32_t {
  Ready = 0,
  Missing = 8,
  AllPatched = 9,
  Unrecognised = 10,
};

// Measures every row's target in table order and classifies it. Returns Missing at the first
// target that cannot be opened and Unrecognised at the first mismatch that is not the one
// exempt mismatch (the first mismatch, at row 0 or 1, of a table with chained entries); no
// later target is opened. An exempt mismatch counts as patched. Otherwise returns AllPatched
// when every row counts as patched, else Ready. Reads files only; changes nothing.
SurveyVerdict surveyInstallation(const PatchTable& table, FileIo& io);

// Turns `table` into its removal form: exchanges old and new sizes and sums in every row;
// with chained entries, row 0 then describes its new state on both sides and names no
// payload. Apply once only.
void invertTable(PatchTable& table);

// The sum of oldSize + newSize over a table as compiled (used to check the edition constants).
int64_t sumOfSizes(const PatchTable& table);
