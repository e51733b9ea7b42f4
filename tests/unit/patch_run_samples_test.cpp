// Add and remove runs on the sample installations of every edition, with the payload files of
// the build: the removal gives back the starting files byte for byte (the North American older
// release comes back as the regular release, as the removal table is made to do).
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "editions/edition.h"
#include "engine/patch_run.h"
#include "payload_files.h"
#include "run_fixtures.h"
#include "sample_installation.h"
#include "test_files.h"

namespace {

struct SampleCase {
  const char* name;
  const EditionData& edition;
  const char* start;
  const char* afterRemoval;
};

const SampleCase kSampleCases[] = {
    {"NorthAmericanOlder", kEditionNa, "older", "regular"},
    {"NorthAmericanRegular", kEditionNa, "regular", "regular"},
    {"British", kEditionUk, "unpatched", "unpatched"},
    {"German", kEditionDe, "unpatched", "unpatched"},
};

Bytes sample(const EditionData& edition, const char* state, const std::string& target) {
  Bytes bytes;
  std::string error;
  EXPECT_TRUE(sampleFileBytes(edition, state, target, &bytes, &error)) << error;
  return bytes;
}

// Runs the edition's table (inverted when `remove`) over the current directory.
RunResults runOver(const EditionData& edition, const PayloadLookup& payloads, bool remove) {
  PatchTable table = edition.table;
  if (remove) invertTable(table);
  const CatalogueMessages messages(edition.catalogue, edition.catalogueCount);
  RecordingSink sink;
  RunResults results{};
  const RunInputs inputs{&table, edition.progressTotal, &messages, &payloads, &standardFileIo()};
  EXPECT_TRUE(runPatch(inputs, sink, results));
  EXPECT_EQ(sink.lastPercent(), 100);
  return results;
}

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const SampleCase& c, std::ostream* os) { *os << c.name; }

class SampleRoundTrip : public testing::TestWithParam<SampleCase> {};

TEST_P(SampleRoundTrip, AddThenRemoveGivesBackTheStart) {
  const SampleCase& c = GetParam();
  if (!payloadsComeFromSamples()) GTEST_SKIP() << "the build was given other payload files";
  MemoryPayloads payloads;
  std::string error;
  ASSERT_TRUE(loadEditionPayloads(c.edition, &payloads, &error)) << error;
  ScopedInstallDir dir;
  ASSERT_TRUE(writeSampleInstallation(c.edition, c.start, dir.path(), &error)) << error;

  const RunResults added = runOver(c.edition, payloads, false);
  EXPECT_EQ(added.problem, 0) << added.log;
  for (const std::string& target : sampleTargets(c.edition)) {
    // A shrinking step keeps the file's length and leaves zeros after the new content.
    const Bytes patched = sample(c.edition, "patched", target);
    const Bytes file = readFile(target);
    ASSERT_GE(file.size(), patched.size()) << target;
    EXPECT_TRUE(std::equal(patched.begin(), patched.end(), file.begin())) << target;
    EXPECT_TRUE(std::all_of(file.begin() + static_cast<std::ptrdiff_t>(patched.size()), file.end(),
                            [](unsigned char b) { return b == 0; }))
        << target;
  }

  const RunResults removed = runOver(c.edition, payloads, true);
  EXPECT_EQ(removed.problem, 0) << removed.log;
  for (const std::string& target : sampleTargets(c.edition)) {
    EXPECT_EQ(readFile(target), sample(c.edition, c.afterRemoval, target)) << target;
  }
}

INSTANTIATE_TEST_SUITE_P(Samples, SampleRoundTrip, testing::ValuesIn(kSampleCases),
                         [](const auto& test) { return std::string(test.param.name); });

}  // namespace
