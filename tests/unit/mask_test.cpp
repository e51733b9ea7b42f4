// Mask payloads: decoding, lookup, the build's payload files, the sample installations they are
// made from, and the make-payload tool.
#include "engine/mask.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <numeric>
#include <string>
#include <vector>

#include "editions/edition.h"
#include "engine/file_io.h"
#include "engine/patch_table.h"
#include "payload_files.h"
#include "payload_maker.h"
#include "sample_installation.h"
#include "test_files.h"

namespace {

using Bytes = std::vector<unsigned char>;

// A zlib stream of `data`; windowBits picks zlib (15), raw deflate (-15) or gzip (31).
Bytes deflated(const Bytes& data, int windowBits = 15, const Bytes& dictionary = {}) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, 9, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY), Z_OK);
  if (!dictionary.empty()) {
    EXPECT_EQ(deflateSetDictionary(&z, dictionary.data(), static_cast<uInt>(dictionary.size())),
              Z_OK);
  }
  Bytes out(deflateBound(&z, data.size()) + 16);
  z.next_in = const_cast<Bytef*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// The number of bytes a zlib stream decodes to, or -1 when it does not decode.
int64_t decodedLength(const Bytes& stream) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return -1;
  z.next_in = const_cast<Bytef*>(stream.data());
  z.avail_in = static_cast<uInt>(stream.size());
  unsigned char chunk[65536];
  int result = Z_OK;
  while (result == Z_OK) {
    z.next_out = chunk;
    z.avail_out = sizeof chunk;
    result = inflate(&z, Z_NO_FLUSH);
  }
  const int64_t length = static_cast<int64_t>(z.total_out);
  inflateEnd(&z);
  return result == Z_STREAM_END ? length : -1;
}

Bytes counting(size_t length) {
  Bytes bytes(length);
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<unsigned char>(i * 7 + 1);
  return bytes;
}

Bytes concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes withByte(Bytes bytes, size_t at, unsigned char value) {
  bytes.at(at) = value;
  return bytes;
}

Bytes cut(Bytes bytes, size_t drop) {
  bytes.resize(bytes.size() - drop);
  return bytes;
}

// ---------------------------------------------------------------------------------------------

struct DecodeCase {
  const char* name;
  Bytes stream;
  int32_t maskLength;
  bool decodes;
  Bytes expected;  // when it decodes: the whole mask
};

std::vector<DecodeCase> decodeCases() {
  const Bytes data = counting(16);
  const Bytes stream = deflated(data);
  const Bytes big = counting(5000);
  const Bytes bigStream = deflated(big);
  const size_t last = stream.size() - 1;
  return {
      {"exactly M bytes", stream, 16, true, data},
      {"short stream leaves a zero tail", deflated(counting(10)), 16, true,
       concat(counting(10), Bytes(6, 0))},
      {"nothing decoded, all zero", deflated({}), 4, true, Bytes(4, 0)},
      {"zero-length mask", deflated({}), 0, true, {}},
      {"bytes after the stream are ignored", concat(stream, {1, 2, 3}), 16, true, data},
      {"one byte more than M", deflated(counting(17)), 16, false, {}},
      {"far more than M", bigStream, 4096, false, {}},
      {"damaged data",
       withByte(bigStream, bigStream.size() / 2,
                static_cast<unsigned char>(bigStream[bigStream.size() / 2] ^ 0x55)),
       5000,
       false,
       {}},
      {"cut off in the checksum", cut(stream, 1), 16, false, {}},
      {"cut off after the header", cut(stream, stream.size() - 2), 16, false, {}},
      {"header check bits wrong", withByte(stream, 1, 0xDB), 16, false, {}},
      {"not deflate", withByte(withByte(stream, 0, 0x77), 1, 0xDA), 16, false, {}},
      {"Adler-32 wrong",
       withByte(stream, last, static_cast<unsigned char>(stream[last] ^ 1)),
       16,
       false,
       {}},
      {"preset dictionary", deflated(data, 15, counting(64)), 16, false, {}},
      {"raw deflate without header", deflated(data, -15), 16, false, {}},
      {"gzip wrapper", deflated(data, 31), 16, false, {}},
      {"empty payload", {}, 16, false, {}},
      {"negative mask length", stream, -1, false, {}},
  };
}

TEST(DecodeMask, OutcomesByStream) {
  for (const DecodeCase& c : decodeCases()) {
    SCOPED_TRACE(c.name);
    MaskBuffer mask =
        decodeMask(c.stream.data(), static_cast<uint32_t>(c.stream.size()), c.maskLength);
    ASSERT_EQ(mask != nullptr, c.decodes);
    if (c.decodes) {
      EXPECT_EQ(Bytes(mask.get(), mask.get() + c.maskLength), c.expected);
    }
  }
}

TEST(DecodeMask, NullStreamOfNoBytesFails) { EXPECT_EQ(decodeMask(nullptr, 0, 16), nullptr); }

TEST(LoadMask, FindsPayloadsIgnoringCaseAndDecodesToTheLongerSize) {
  MemoryPayloads payloads;
  payloads.add("SHRINK.PAT", deflated(counting(40)));
  const PatchEntry shrinking{"a.bin", "Shrink.pat", 40, 30, 0, 0};
  const PatchEntry growing{"a.bin", "shrink.PAT", 30, 48, 0, 0};
  const PatchEntry absent{"a.bin", "Absent.pat", 40, 30, 0, 0};
  const PatchEntry unnamed{"a.bin", "", 40, 30, 0, 0};

  MaskBuffer mask = loadMask(shrinking, payloads);
  ASSERT_NE(mask, nullptr);
  EXPECT_EQ(Bytes(mask.get(), mask.get() + 40), counting(40));
  mask = loadMask(growing, payloads);
  ASSERT_NE(mask, nullptr);
  EXPECT_EQ(Bytes(mask.get(), mask.get() + 48), concat(counting(40), Bytes(8, 0)));
  EXPECT_EQ(loadMask(absent, payloads), nullptr);
  EXPECT_EQ(loadMask(unnamed, payloads), nullptr);
}

// ---------------------------------------------------------------------------------------------
// The build's payload files.

TEST(EditionPayloads, EachIsOneLevel9StreamOfExactlyItsMaskLength) {
  for (const EditionData* edition : kAllEditions) {
    MemoryPayloads payloads;
    std::string error;
    ASSERT_TRUE(loadEditionPayloads(*edition, &payloads, &error)) << error;
    for (int i = 0; i < edition->table.rowCount; ++i) {
      const PatchEntry& row = edition->table.rows[i];
      SCOPED_TRACE(std::string(edition->id) + " " + row.payloadName);
      PayloadBytes payload;
      ASSERT_TRUE(payloads.find(row.payloadName, &payload));
      const Bytes stream(payload.data, payload.data + payload.size);
      ASSERT_GE(stream.size(), 2u);
      EXPECT_EQ(stream[0], 0x78);
      EXPECT_EQ(stream[1], 0xDA);
      EXPECT_EQ(decodedLength(stream), maskLength(row));
      EXPECT_NE(loadMask(row, payloads), nullptr);
    }
  }
  EXPECT_EQ(maskLength(kEditionDe.table.rows[0]), 131123);
}

// ---------------------------------------------------------------------------------------------
// Payloads against the sample installations they were made from.

// Applies `mask` in place as the patch run does: XOR over the first oldSize bytes, the mask's
// own bytes from oldSize to newSize, nothing cut off.
Bytes applyMask(Bytes file, const unsigned char* mask, int32_t oldSize, int32_t newSize) {
  if (file.size() < static_cast<size_t>(std::max(oldSize, newSize))) {
    file.resize(static_cast<size_t>(std::max(oldSize, newSize)), 0);
  }
  for (int32_t i = 0; i < oldSize; ++i) file[i] ^= mask[i];
  for (int32_t i = oldSize; i < newSize; ++i) file[i] = mask[i];
  return file;
}

uint32_t byteSum(const Bytes& bytes) { return addToByteSum(0, bytes.data(), bytes.size()); }

// One sample file, made once per test program (a picture takes a few tens of milliseconds).
const Bytes& sampleBytes(const EditionData& edition, const std::string& state, const char* target) {
  static std::map<std::string, Bytes> made;
  const std::string key = std::string(edition.id) + "/" + state + "/" + target;
  auto found = made.find(key);
  if (found == made.end()) {
    Bytes bytes;
    std::string error;
    EXPECT_TRUE(sampleFileBytes(edition, state, target, &bytes, &error)) << error;
    found = made.emplace(key, std::move(bytes)).first;
  }
  return found->second;
}

// The target's content in the first state with the given fingerprint.
Bytes sampleWithFingerprint(const EditionData& edition, const char* target, int32_t length,
                            uint32_t sum) {
  for (const std::string& state : sampleStates(edition)) {
    const Bytes& bytes = sampleBytes(edition, state, target);
    if (bytes.size() == static_cast<size_t>(length) && byteSum(bytes) == sum) return bytes;
  }
  ADD_FAILURE() << edition.id << " has no sample of " << target << " with " << length << ", "
                << sum;
  return {};
}

class SamplePayloads : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!payloadsComeFromSamples()) {
      GTEST_SKIP() << "the build embeds given payloads (PATCHER_PAYLOAD_DIR), not sample ones";
    }
  }
};

TEST_F(SamplePayloads, EachMaskTurnsItsOldSampleIntoTheNewAndBack) {
  for (const EditionData* edition : kAllEditions) {
    MemoryPayloads payloads;
    std::string error;
    ASSERT_TRUE(loadEditionPayloads(*edition, &payloads, &error)) << error;
    for (int i = 0; i < edition->table.rowCount; ++i) {
      const PatchEntry& row = edition->table.rows[i];
      SCOPED_TRACE(std::string(edition->id) + " " + row.payloadName);
      const Bytes before = sampleWithFingerprint(*edition, row.targetPath, row.oldSize, row.oldSum);
      const Bytes after = sampleWithFingerprint(*edition, row.targetPath, row.newSize, row.newSum);
      MaskBuffer mask = loadMask(row, payloads);
      ASSERT_NE(mask, nullptr);
      const size_t longer = static_cast<size_t>(maskLength(row));

      // Forward: the new content, extended with zeros where the file shrinks.
      const Bytes patched = applyMask(before, mask.get(), row.oldSize, row.newSize);
      Bytes expected = after;
      expected.resize(longer, 0);
      ASSERT_EQ(patched, expected);
      EXPECT_EQ(byteSum(patched), row.newSum);

      // Back, with the sizes exchanged: the start, extended with zeros where the file grew.
      Bytes start = before;
      start.resize(longer, 0);
      EXPECT_EQ(applyMask(patched, mask.get(), row.newSize, row.oldSize), start);
      // The same from the new content at its own length.
      EXPECT_EQ(applyMask(after, mask.get(), row.newSize, row.oldSize), start);
    }
  }
}

TEST_F(SamplePayloads, GermanBitmapsKeepTheirLengthWithTwoZeroBytesAtTheEnd) {
  MemoryPayloads payloads;
  std::string error;
  ASSERT_TRUE(loadEditionPayloads(kEditionDe, &payloads, &error)) << error;
  for (int i = 1; i < kEditionDe.table.rowCount; ++i) {
    const PatchEntry& row = kEditionDe.table.rows[i];
    SCOPED_TRACE(row.targetPath);
    const Bytes before = sampleBytes(kEditionDe, "unpatched", row.targetPath);
    ASSERT_EQ(before.size(), 921656u);
    EXPECT_NE(before[921654] | before[921655], 0) << "the sample should carry real padding";
    MaskBuffer mask = loadMask(row, payloads);
    ASSERT_NE(mask, nullptr);
    const Bytes patched = applyMask(before, mask.get(), row.oldSize, row.newSize);
    ASSERT_EQ(patched.size(), 921656u);
    EXPECT_EQ(patched[921654], 0);
    EXPECT_EQ(patched[921655], 0);
    EXPECT_EQ(byteSum(patched), row.newSum);
  }
}

TEST_F(SamplePayloads, ChainedMasksAgreeWhereBothHoldTheRegularRelease) {
  MemoryPayloads payloads;
  std::string error;
  ASSERT_TRUE(loadEditionPayloads(kEditionNa, &payloads, &error)) << error;
  MaskBuffer older = loadMask(kEditionNa.table.rows[0], payloads);
  MaskBuffer varnok = loadMask(kEditionNa.table.rows[1], payloads);
  ASSERT_NE(older, nullptr);
  ASSERT_NE(varnok, nullptr);
  const Bytes regular = sampleBytes(kEditionNa, "regular", "Varnok.exe");
  ASSERT_EQ(regular.size(), 135680u);
  const Bytes olderTail(older.get() + 132096, older.get() + 135680);
  EXPECT_EQ(olderTail, Bytes(varnok.get() + 132096, varnok.get() + 135680));
  EXPECT_EQ(olderTail, Bytes(regular.begin() + 132096, regular.end()));
}

TEST_F(SamplePayloads, BritishBitmapPayloadsAreTheNorthAmericanOnes) {
  MemoryPayloads na;
  MemoryPayloads uk;
  std::string error;
  ASSERT_TRUE(loadEditionPayloads(kEditionNa, &na, &error)) << error;
  ASSERT_TRUE(loadEditionPayloads(kEditionUk, &uk, &error)) << error;
  for (const char* name : {"CLASSIC.PAT", "ENHANCED.PAT", "TEXT.PAT"}) {
    SCOPED_TRACE(name);
    PayloadBytes a;
    PayloadBytes b;
    ASSERT_TRUE(na.find(name, &a));
    ASSERT_TRUE(uk.find(name, &b));
    EXPECT_EQ(Bytes(a.data, a.data + a.size), Bytes(b.data, b.data + b.size));
  }
  PayloadBytes a;
  PayloadBytes b;
  ASSERT_TRUE(na.find("VARNOK.PAT", &a));
  ASSERT_TRUE(uk.find("VARNOK.PAT", &b));
  EXPECT_NE(Bytes(a.data, a.data + a.size), Bytes(b.data, b.data + b.size));
}

// ---------------------------------------------------------------------------------------------
// Sample installations.

uint32_t readLittleEndian(const Bytes& bytes, size_t at, int count) {
  uint32_t value = 0;
  for (int i = count - 1; i >= 0; --i) value = value << 8 | bytes.at(at + i);
  return value;
}

TEST(SampleInstallation, EveryStateSurveysAsItsStateAndHoldsPictures) {
  for (const EditionData* edition : kAllEditions) {
    for (const std::string& state : sampleStates(*edition)) {
      SCOPED_TRACE(std::string(edition->id) + " " + state);
      ScopedInstallDir dir;
      std::string error;
      ASSERT_TRUE(writeSampleInstallation(*edition, state, dir.path(), &error)) << error;
      EXPECT_EQ(surveyInstallation(edition->table, standardFileIo()),
                state == "patched" ? AllPatched : Ready);
      for (const char* picture :
           {"Varnok\\Classic.bmp", "Varnok\\Enhanced.bmp", "Varnok\\Text.bmp"}) {
        const Bytes bmp = readFile(picture);
        ASSERT_GE(bmp.size(), 921654u);
        EXPECT_EQ(bmp[0], 'B');
        EXPECT_EQ(bmp[1], 'M');
        EXPECT_EQ(readLittleEndian(bmp, 2, 4), bmp.size());
        EXPECT_EQ(readLittleEndian(bmp, 10, 4), 54u);  // pixels follow the headers
        EXPECT_EQ(readLittleEndian(bmp, 14, 4), 40u);
        EXPECT_EQ(readLittleEndian(bmp, 18, 4), 640u);
        EXPECT_EQ(readLittleEndian(bmp, 22, 4), 480u);
        EXPECT_EQ(readLittleEndian(bmp, 28, 2), 24u);
        EXPECT_EQ(readLittleEndian(bmp, 30, 4), 0u);  // uncompressed
      }
    }
  }
}

TEST(SampleInstallation, PatchedPicturesDifferOnlyInTheButton) {
  for (const char* picture : {"Varnok\\Classic.bmp", "Varnok\\Enhanced.bmp", "Varnok\\Text.bmp"}) {
    SCOPED_TRACE(picture);
    const Bytes before = sampleBytes(kEditionNa, "regular", picture);
    const Bytes after = sampleBytes(kEditionNa, "patched", picture);
    ASSERT_EQ(before.size(), after.size());
    size_t changed = 0;
    for (size_t i = 0; i < before.size(); ++i) changed += before[i] != after[i];
    // A 220x44 button is 3 per cent of the picture; the rest must stay as it was.
    EXPECT_GT(changed, 10000u);
    EXPECT_LT(changed, before.size() * 4 / 100);
  }
}

TEST(SampleInstallation, UnknownStateOrTargetIsAnError) {
  Bytes bytes;
  std::string error;
  EXPECT_FALSE(sampleFileBytes(kEditionUk, "older", "Varnok.exe", &bytes, &error));
  EXPECT_NE(error.find("older"), std::string::npos);
  EXPECT_FALSE(sampleFileBytes(kEditionNa, "patched", "Varnok\\Other.bmp", &bytes, &error));
}

// ---------------------------------------------------------------------------------------------
// make-payload, the tool.

struct ToolRun {
  int exitCode;
  std::string output;  // stdout and stderr
};

ToolRun runMakePayload(const std::string& arguments) {
  const std::string command =
      std::string("'") + MAKE_PAYLOAD_PATH + "' " + arguments + " > tool-output.txt 2>&1";
  const int status = std::system(command.c_str());
  const Bytes output = readFile("tool-output.txt");
  removeFile("tool-output.txt");
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, std::string(output.begin(), output.end())};
}

std::vector<std::string> filesIn(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(MakePayload, WritesTheMaskOfBothFilesAsOneStream) {
  ScopedInstallDir dir;
  writeFile("old.bin", {1, 2, 3, 4, 5, 6, 7, 8});
  writeFile("grown.bin", {1, 2, 0, 4, 5, 6, 7, 8, 9, 10, 11});
  writeFile("shrunk.bin", {8, 2, 3});
  struct {
    const char* newFile;
    Bytes mask;
  } const cases[] = {
      {"grown.bin", {0, 0, 3, 0, 0, 0, 0, 0, 9, 10, 11}},
      {"shrunk.bin", {9, 0, 0, 4, 5, 6, 7, 8}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.newFile);
    const ToolRun run = runMakePayload(std::string("old.bin ") + c.newFile + " out.pat");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const Bytes stream = readFile("out.pat");
    ASSERT_GE(stream.size(), 2u);
    EXPECT_EQ(stream[0], 0x78);
    EXPECT_EQ(stream[1], 0xDA);
    MaskBuffer mask = decodeMask(stream.data(), static_cast<uint32_t>(stream.size()),
                                 static_cast<int32_t>(c.mask.size()));
    ASSERT_NE(mask, nullptr);
    EXPECT_EQ(Bytes(mask.get(), mask.get() + c.mask.size()), c.mask);
    EXPECT_EQ(decodedLength(stream), static_cast<int64_t>(c.mask.size()));
  }
}

TEST(MakePayload, FailuresExitNonZeroAndLeaveNoOutput) {
  ScopedInstallDir dir;
  writeFile("old.bin", {1, 2, 3});
  // A sparse file one byte longer than a table size can be; nothing of it is read.
  {
    writeFile("huge.bin", {});
    ASSERT_EQ(::truncate("huge.bin", int64_t{kMaxPayloadFileLength} + 1), 0);
  }
  writeFile("kept.pat", {42});
  struct {
    const char* arguments;
    const char* message;
    const char* output;
  } const cases[] = {
      {"missing.bin old.bin out.pat", "missing.bin", "out.pat"},
      {"old.bin missing.bin out.pat", "missing.bin", "out.pat"},
      {"huge.bin old.bin out.pat", "2147483647", "out.pat"},
      {"old.bin huge.bin out.pat", "2147483647", "out.pat"},
      {"old.bin . out.pat", "not a regular file", "out.pat"},
      {"old.bin old.bin no-such-dir/out.pat", "no-such-dir", "no-such-dir/out.pat"},
      {"old.bin missing.bin kept.pat", "missing.bin", nullptr},
      {"old.bin", "usage", "out.pat"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    const ToolRun run = runMakePayload(c.arguments);
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
    if (c.output != nullptr) {
      EXPECT_FALSE(fileExists(c.output));
    }
    EXPECT_EQ(filesIn("."), (std::vector<std::string>{"huge.bin", "kept.pat", "old.bin"}));
  }
  EXPECT_EQ(readFile("kept.pat"), Bytes{42});
}

TEST(MakePayload, HelpDescribesTheUse) {
  ScopedInstallDir dir;
  const ToolRun run = runMakePayload("--help");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.output.find("usage: make-payload OLD NEW OUT"), std::string::npos);
}

}  // namespace
