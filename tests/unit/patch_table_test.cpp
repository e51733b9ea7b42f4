// Fingerprints, classification, the installation survey and the table inversion.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "editions/edition.h"
#include "engine/patch_table.h"
#include "test_files.h"

namespace {

struct Fingerprint {
  int64_t length;
  uint32_t sum;
};

// The accepted and rejected states of the North American menu program.
constexpr Fingerprint kOlder{132096, 9700743};
constexpr Fingerprint kRegular{135680, 9958583};
constexpr Fingerprint kPatchedOldLength{135680, 9764986};
constexpr Fingerprint kPatchedNewLength{131121, 9764986};
constexpr Fingerprint kNeither{135680, 9000000};

void writeTarget(const PatchEntry& row, Fingerprint print) {
  writeFile(row.targetPath, bytesWithFingerprint(print.length, print.sum));
}

// Writes every bitmap row (rows from `firstBitmap` on) in its old or new state.
void writeBitmaps(const PatchTable& table, int firstBitmap, bool patched) {
  for (int i = firstBitmap; i < table.rowCount; ++i) {
    const PatchEntry& row = table.rows[i];
    writeTarget(row, patched ? Fingerprint{row.newSize, row.newSum}
                             : Fingerprint{row.oldSize, row.oldSum});
  }
}

SurveyVerdict survey(const PatchTable& table) {
  return surveyInstallation(table, standardFileIo());
}

TEST(ByteSum, WrapsModulo32Bits) {
  std::vector<unsigned char> ff(4096, 0xFF);
  uint32_t sum = 0xFFFFFF00u;
  sum = addToByteSum(sum, ff.data(), 1);
  EXPECT_EQ(sum, 0xFFFFFFFFu);
  sum = addToByteSum(sum, ff.data(), 2);
  EXPECT_EQ(sum, 0x1FDu);
}

TEST(ByteSum, EqualsTheBytewiseSumForEveryLengthAndAlignment) {
  // All-0xFF blocks are the worst case for the word-wise lanes; odd lengths and offsets
  // exercise the byte-wise head and tail.
  std::vector<unsigned char> bytes(3 * 1024 + 13, 0xFF);
  for (size_t i = 0; i < bytes.size(); i += 7) bytes[i] = static_cast<unsigned char>(i * 31);
  for (size_t offset = 0; offset < 9; ++offset) {
    for (size_t length : {size_t{0}, size_t{7}, size_t{8}, size_t{1024}, size_t{1031},
                          bytes.size() - offset}) {
      uint32_t expected = 5;
      for (size_t i = 0; i < length; ++i) expected += bytes[offset + i];
      EXPECT_EQ(addToByteSum(5, bytes.data() + offset, length), expected)
          << "offset " << offset << ", length " << length;
    }
  }
}

TEST(Measure, ReadsLengthAndSumAcrossChunksAndFailsOnAbsentFile) {
  ScopedInstallDir dir;
  auto bytes = bytesWithFingerprint(3 * 4096 + 17, 1000000);
  writeFile("Varnok\\Part.bin", bytes);
  Measurement m{};
  ASSERT_TRUE(measureTarget(standardFileIo(), "Varnok\\Part.bin", &m));
  EXPECT_EQ(m.length, 3 * 4096 + 17);
  EXPECT_EQ(m.sum, 1000000u);
  EXPECT_FALSE(measureTarget(standardFileIo(), "Varnok\\Absent.bin", &m));
}

TEST(Classify, LengthRules) {
  const PatchEntry& german = kEditionDe.table.rows[1];  // 921656 -> 921654
  const PatchEntry& growing = kEditionNa.table.rows[0];  // 132096 -> 135680
  struct Case {
    const char* name;
    const PatchEntry& row;
    Measurement m;
    RowState expected;
  } cases[] = {
      {"shrinking row, patched in place, old length", german, {921656, german.newSum},
       RowState::Patched},
      {"shrinking row, new length", german, {921654, german.newSum}, RowState::Patched},
      {"shrinking row, new length with old sum", german, {921654, german.oldSum},
       RowState::Mismatch},
      {"shrinking row, unpatched", german, {921656, german.oldSum}, RowState::Unpatched},
      {"growing row, new sum at old length", growing, {132096, growing.newSum},
       RowState::Mismatch},
      {"growing row, patched", growing, {135680, growing.newSum}, RowState::Patched},
      {"empty file", german, {0, 0}, RowState::Mismatch},
      {"longer than INT32_MAX with a size that wraps onto oldSize", german,
       {int64_t{921656} + (int64_t{1} << 32), german.oldSum}, RowState::Mismatch},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(classifyMeasurement(c.row, c.m), c.expected) << c.name;
  }
}

TEST(Classify, EqualFingerprintsCountAsPatched) {
  PatchEntry row = {"A", "A.pat", 10, 10, 77, 77};
  EXPECT_EQ(classifyMeasurement(row, {10, 77}), RowState::Patched);
}

TEST(ChainedEntries, HoldOnlyInTheNorthAmericanTable) {
  EXPECT_TRUE(hasChainedEntries(kEditionNa.table));
  EXPECT_FALSE(hasChainedEntries(kEditionUk.table));
  EXPECT_FALSE(hasChainedEntries(kEditionDe.table));
  PatchTable differentCase = kEditionNa.table;
  std::strcpy(differentCase.rows[1].targetPath, "VARNOK.EXE");
  EXPECT_FALSE(hasChainedEntries(differentCase));
}

// North American states of Varnok.exe against bitmaps all unpatched or all patched, surveyed
// with the table as compiled and with the inverted table.
TEST(Survey, NorthAmericanMenuProgramStates) {
  struct Case {
    const char* name;
    Fingerprint exe;
    SurveyVerdict withUnpatchedBitmaps;
    SurveyVerdict withPatchedBitmaps;
    SurveyVerdict invertedWithPatchedBitmaps;
  } cases[] = {
      {"older release", kOlder, Ready, Ready, Unrecognised},
      {"regular release", kRegular, Ready, Ready, Ready},
      {"patched, old length kept", kPatchedOldLength, Ready, AllPatched, Unrecognised},
      {"patched, new length", kPatchedNewLength, Ready, AllPatched, Ready},
      {"fits neither row", kNeither, Unrecognised, Unrecognised, Unrecognised},
  };
  PatchTable inverted = kEditionNa.table;
  invertTable(inverted);
  for (const Case& c : cases) {
    ScopedInstallDir dir;
    writeTarget(kEditionNa.table.rows[0], c.exe);
    writeBitmaps(kEditionNa.table, 2, false);
    EXPECT_EQ(survey(kEditionNa.table), c.withUnpatchedBitmaps) << c.name << ", bitmaps unpatched";
    writeBitmaps(kEditionNa.table, 2, true);
    EXPECT_EQ(survey(kEditionNa.table), c.withPatchedBitmaps) << c.name << ", bitmaps patched";
    EXPECT_EQ(survey(inverted), c.invertedWithPatchedBitmaps) << c.name << ", inverted table";
  }
}

TEST(Survey, EarlyStopsOpenNothingAfterTheDecidingRow) {
  struct Case {
    const char* name;
    bool exePresent;
    Fingerprint exe;
    bool textPresent;
    SurveyVerdict expected;
    std::vector<std::string> opened;
  } cases[] = {
      {"menu program absent", false, kRegular, true, Missing, {"Varnok.exe"}},
      {"menu program fits neither row, Text.bmp absent", true, kNeither, false, Unrecognised,
       {"Varnok.exe", "Varnok.exe"}},
      {"regular release, Text.bmp absent", true, kRegular, false, Missing,
       {"Varnok.exe", "Varnok.exe", "Varnok\\Classic.bmp", "Varnok\\Enhanced.bmp",
        "Varnok\\Text.bmp"}},
  };
  for (const Case& c : cases) {
    ScopedInstallDir dir;
    if (c.exePresent) writeTarget(kEditionNa.table.rows[0], c.exe);
    writeBitmaps(kEditionNa.table, 2, false);
    if (!c.textPresent) removeFile("Varnok\\Text.bmp");
    RecordingFileIo io;
    EXPECT_EQ(surveyInstallation(kEditionNa.table, io), c.expected) << c.name;
    EXPECT_EQ(io.opened, c.opened) << c.name;
  }
}

TEST(Survey, OneChangedBitmapByteIsUnrecognisedInEveryEdition) {
  for (const EditionData* edition : kAllEditions) {
    ScopedInstallDir dir;
    const PatchTable& table = edition->table;
    const int firstBitmap = table.rowCount - 3;
    for (int i = 0; i < firstBitmap; ++i) {
      writeTarget(table.rows[i], {table.rows[i].oldSize, table.rows[i].oldSum});
    }
    writeBitmaps(table, firstBitmap, false);
    EXPECT_EQ(survey(table), Ready) << edition->name;
    auto bytes = readFile("Varnok\\Enhanced.bmp");
    bytes[1000] ^= 0x01;
    writeFile("Varnok\\Enhanced.bmp", bytes);
    EXPECT_EQ(survey(table), Unrecognised) << edition->name;
  }
}

TEST(Survey, FourRowEditionsHaveNoExemptMismatch) {
  for (const EditionData* edition : {&kEditionUk, &kEditionDe}) {
    ScopedInstallDir dir;
    const PatchEntry& exe = edition->table.rows[0];
    writeBitmaps(edition->table, 1, true);
    writeTarget(exe, {exe.oldSize, exe.oldSum + 1});
    EXPECT_EQ(survey(edition->table), Unrecognised) << edition->name << ", row 0";
    writeTarget(exe, {exe.newSize, exe.newSum});
    writeFile("Varnok\\Classic.bmp", bytesWithFingerprint(921656, 12345));
    EXPECT_EQ(survey(edition->table), Unrecognised) << edition->name << ", row 1";
  }
}

TEST(Survey, BritishMenuProgramPatchedInPlaceIsAllPatched) {
  ScopedInstallDir dir;
  writeTarget(kEditionUk.table.rows[0], {135680, 9765191});
  writeBitmaps(kEditionUk.table, 1, true);
  EXPECT_EQ(survey(kEditionUk.table), AllPatched);
}

TEST(Survey, GermanBitmapLengthRules) {
  struct Case {
    const char* name;
    Fingerprint classic;
    SurveyVerdict expected;
  } cases[] = {
      {"patched in place, 921656 bytes", {921656, 45978357}, AllPatched},
      {"patched, 921654 bytes", {921654, 45978357}, AllPatched},
      {"921654 bytes with the old sum", {921654, 45796356}, Unrecognised},
  };
  for (const Case& c : cases) {
    ScopedInstallDir dir;
    const PatchTable& table = kEditionDe.table;
    writeTarget(table.rows[0], {table.rows[0].newSize, table.rows[0].newSum});
    writeBitmaps(table, 1, true);
    writeTarget(table.rows[1], c.classic);
    EXPECT_EQ(survey(table), c.expected) << c.name;
  }
}

TEST(Survey, ReorderedBytesPassAndAnEmptyFileDoesNot) {
  ScopedInstallDir dir;
  const PatchTable& table = kEditionUk.table;
  writeTarget(table.rows[0], {table.rows[0].oldSize, table.rows[0].oldSum});
  writeBitmaps(table, 1, false);
  auto bytes = readFile("Varnok\\Text.bmp");
  std::reverse(bytes.begin(), bytes.end());
  writeFile("Varnok\\Text.bmp", bytes);
  EXPECT_EQ(survey(table), Ready);
  writeFile("Varnok\\Text.bmp", {});
  EXPECT_EQ(survey(table), Unrecognised);
}

bool sameRow(const PatchEntry& a, const PatchEntry& b) {
  return std::strcmp(a.targetPath, b.targetPath) == 0 &&
         std::strcmp(a.payloadName, b.payloadName) == 0 && a.oldSize == b.oldSize &&
         a.newSize == b.newSize && a.oldSum == b.oldSum && a.newSum == b.newSum;
}

TEST(InvertTable, NorthAmericanRowZeroIsNeutralised) {
  const PatchEntry expected[] = {
      {"Varnok.exe", "", 135680, 135680, 9958583, 9958583},
      {"Varnok.exe", "Varnok.pat", 131121, 135680, 9764986, 9958583},
      {"Varnok\\Classic.bmp", "Classic.pat", 921656, 921656, 45803696, 45622085},
      {"Varnok\\Enhanced.bmp", "Enhanced.pat", 921656, 921656, 48940806, 48656725},
      {"Varnok\\Text.bmp", "Text.pat", 921656, 921656, 33045532, 31606584},
  };
  PatchTable table = kEditionNa.table;
  invertTable(table);
  ASSERT_EQ(table.rowCount, 5);
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(sameRow(table.rows[i], expected[i])) << "row " << i;
}

TEST(InvertTable, FourRowEditionsOnlyExchangeValues) {
  for (const EditionData* edition : {&kEditionUk, &kEditionDe}) {
    PatchTable table = edition->table;
    invertTable(table);
    for (int i = 0; i < table.rowCount; ++i) {
      const PatchEntry& original = edition->table.rows[i];
      PatchEntry swapped = original;
      std::swap(swapped.oldSize, swapped.newSize);
      std::swap(swapped.oldSum, swapped.newSum);
      EXPECT_TRUE(sameRow(table.rows[i], swapped)) << edition->name << " row " << i;
    }
  }
  PatchTable british = kEditionUk.table;
  invertTable(british);
  EXPECT_TRUE(sameRow(british.rows[0], {"Varnok.exe", "Varnok.pat", 131122, 135680, 9765191,
                                        9962645}));
}

TEST(ProgressTotal, IsTheSumOfSizesAsCompiledAndIgnoresInversion) {
  const int32_t totals[] = {6064513, 5796738, 5792174};
  for (int i = 0; i < 3; ++i) {
    const EditionData& edition = *kAllEditions[i];
    EXPECT_EQ(edition.progressTotal, totals[i]) << edition.name;
    EXPECT_EQ(sumOfSizes(edition.table), edition.progressTotal) << edition.name;
  }
  PatchTable inverted = kEditionNa.table;
  invertTable(inverted);
  EXPECT_EQ(sumOfSizes(inverted), 6064513 + 3584);  // the constant, not this, divides progress
}

}  // namespace
