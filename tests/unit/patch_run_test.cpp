// The patch run on small targets: every row outcome with its progress and its file, the order
// of what the run shows and where it pauses, stopping at a pause point, and bounded text.
#include "engine/patch_run.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "run_fixtures.h"
#include "test_files.h"

namespace {

constexpr char kPath[] = "Varnok\\Part.bin";
constexpr char kOtherPath[] = "Varnok\\Other.bin";
constexpr char kHeading[] = "Patch results:\r\n\r\n";

constexpr uint32_t kOldSum = 1200000;
constexpr uint32_t kNewSum = 1300000;
const PatchEntry kGrowing = makeRow(kPath, "Part.pat", 10000, 10500, kOldSum, kNewSum);
const PatchEntry kShrinking = makeRow(kPath, "Part.pat", 10000, 9000, kOldSum, kNewSum);
const PatchEntry kSameLength = makeRow(kPath, "Part.pat", 10000, 10000, kOldSum, kNewSum);

PatchTable tableOf(std::initializer_list<PatchEntry> rows) {
  PatchTable table{};
  for (const PatchEntry& row : rows) table.rows[table.rowCount++] = row;
  return table;
}

// What the file holds before the run.
enum class Start { Absent, Old, New, OldLengthNewSum, NewLengthOldSum, Neither };

Bytes startContent(const PatchEntry& row, Start start) {
  switch (start) {
    case Start::Old:
      return oldContent(row);
    case Start::New:
      return newContent(row);
    case Start::OldLengthNewSum: {
      Bytes bytes = newContent(row);
      bytes.resize(static_cast<size_t>(row.oldSize), 0);  // patched in place, zero surplus
      return bytes;
    }
    case Start::NewLengthOldSum:
      return contentWithFingerprint(row.newSize, row.oldSum);
    case Start::Neither:
      return contentWithFingerprint(row.oldSize, 5);
    case Start::Absent:
      break;
  }
  return {};
}

enum class Payload { Good, Missing, Damaged };

struct Fault {
  IoCall call;
  int nth;          // 0: no fault
  size_t keep = 0;  // for a shortened write
  bool shorten = false;
};
constexpr Fault kNoFault{IoCall::Read, 0};

// The file the run should leave: the start content with its first `xored` bytes XORed with the
// mask and `tail` mask bytes written from oldSize on.
struct Rewritten {
  int64_t xored;
  int64_t tail;
};

struct OutcomeCase {
  const char* name;
  const PatchEntry& row;
  Start start;
  Payload payload;
  Fault fault;
  RowOutcome outcome;
  int message;
  bool problem;
  int64_t counter;
  Rewritten file;
};

// clang-format off
// Checking reads of a 10000-byte target: 4096, 4096, 1808, 0. The rewrite's reads come next.
const OutcomeCase kOutcomeCases[] = {
    {"NotFound", kGrowing, Start::Absent, Payload::Good, kNoFault, RowOutcome::NotFound, 8, true,
     10000 + 10500, {0, 0}},
    {"UpToDate", kGrowing, Start::New, Payload::Good, kNoFault, RowOutcome::UpToDate, 9, false,
     10000 + 10500, {0, 0}},
    {"UpToDateShrunkInPlace", kShrinking, Start::OldLengthNewSum, Payload::Good, kNoFault,
     RowOutcome::UpToDate, 9, false, 10000 + 9000, {0, 0}},
    {"NotRecognised", kGrowing, Start::Neither, Payload::Good, kNoFault, RowOutcome::NotRecognised,
     10, true, 10000 + 10500, {0, 0}},
    {"InternalErrorMissingPayload", kGrowing, Start::Old, Payload::Missing, kNoFault,
     RowOutcome::InternalError, 15, true, 10000, {0, 0}},
    {"InternalErrorDamagedPayload", kGrowing, Start::Old, Payload::Damaged, kNoFault,
     RowOutcome::InternalError, 15, true, 10000, {0, 0}},
    {"OpenFailed", kGrowing, Start::Old, Payload::Good, {IoCall::OpenUpdate, 1},
     RowOutcome::OpenFailed, 21, true, 10000, {0, 0}},
    {"WriteFailedSecondChunk", kGrowing, Start::Old, Payload::Good, {IoCall::Write, 2},
     RowOutcome::WriteFailed, 16, true, 10000 + 4096, {4096, 0}},
    {"WriteShortFirstChunk", kSameLength, Start::Old, Payload::Good, {IoCall::Write, 1, 100, true},
     RowOutcome::WriteFailed, 16, true, 10000, {100, 0}},
    {"ShortFileReadFails", kGrowing, Start::Old, Payload::Good, {IoCall::Read, 6},
     RowOutcome::ShortFile, 16, true, 10000 + 10500, {4096, 0}},
    {"ShortFileNewLengthOldSum", kShrinking, Start::NewLengthOldSum, Payload::Good, kNoFault,
     RowOutcome::ShortFile, 16, true, 2 * 9000, {9000, 0}},
    {"PatchedGrowing", kGrowing, Start::Old, Payload::Good, kNoFault, RowOutcome::Patched, 11,
     false, 10000 + 10500, {10000, 500}},
    {"PatchedShrinking", kShrinking, Start::Old, Payload::Good, kNoFault, RowOutcome::Patched, 11,
     false, 10000 + 10000, {10000, 0}},
    {"PatchedSameLength", kSameLength, Start::Old, Payload::Good, kNoFault, RowOutcome::Patched,
     11, false, 10000 + 10000, {10000, 0}},
    {"PatchedGrowingNewLengthOldSum", kGrowing, Start::NewLengthOldSum, Payload::Good, kNoFault,
     RowOutcome::Patched, 11, false, 10000 + 10500, {10000, 500}},
    {"TailWriteShort", kGrowing, Start::Old, Payload::Good, {IoCall::Write, 4, 100, true},
     RowOutcome::WriteFailed, 16, true, 10000 + 10000, {10000, 100}},
    {"TailWriteFails", kGrowing, Start::Old, Payload::Good, {IoCall::Write, 4},
     RowOutcome::WriteFailed, 16, true, 10000 + 10000, {10000, 0}},
};
// clang-format on

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const OutcomeCase& c, std::ostream* os) { *os << c.name; }

class OutcomeTest : public testing::TestWithParam<OutcomeCase> {};

TEST_P(OutcomeTest, LogsCountsAndLeavesTheFile) {
  const OutcomeCase& c = GetParam();
  ScopedInstallDir dir;
  RunRig rig;
  rig.table = tableOf({c.row});
  rig.progressTotal = c.row.oldSize + c.row.newSize;
  const Bytes mask = maskBetween(oldContent(c.row), newContent(c.row));
  if (c.payload != Payload::Missing) {
    Bytes stream = compressed(mask);
    if (c.payload == Payload::Damaged) stream.resize(stream.size() / 2);
    rig.payloads.add("PART.PAT", stream);
  }
  if (c.fault.shorten) {
    rig.io.shortenNthWrite(c.fault.nth, c.fault.keep);
  } else if (c.fault.nth != 0) {
    rig.io.failNth(c.fault.call, c.fault.nth);
  }
  const Bytes start = startContent(c.row, c.start);
  if (c.start != Start::Absent) writeFile(kPath, start);

  ASSERT_TRUE(rig.run());

  EXPECT_EQ(rig.results.outcomes[0], c.outcome);
  EXPECT_EQ(rig.results.rowsDone, 1);
  EXPECT_EQ(rig.results.problem, c.problem ? 1 : 0);
  EXPECT_EQ(rig.results.progressCounter, c.counter);
  EXPECT_EQ(rig.io.openStreams(), 0);
  char line[kMessageBufferSize];
  formatWithPath(line, sizeof line, rig.messages.find(c.message), kPath);
  EXPECT_EQ(rig.log(), std::string(kHeading) + line + "\r\n");
  EXPECT_EQ(rig.sink.events.back().kind, SinkEvent::Finish);

  if (c.start == Start::Absent) {
    EXPECT_FALSE(fileExists(kPath));
    EXPECT_EQ(rig.sink.countOf(SinkEvent::Status), 0);
    return;
  }
  Bytes expected = start;
  for (int64_t i = 0; i < c.file.xored; ++i) expected[static_cast<size_t>(i)] ^= mask[i];
  const size_t oldSize = static_cast<size_t>(c.row.oldSize);
  if (c.file.tail > 0) expected.resize(std::max(expected.size(), oldSize + c.file.tail));
  for (int64_t i = 0; i < c.file.tail; ++i) expected[oldSize + i] = mask[oldSize + i];
  EXPECT_EQ(readFile(kPath), expected);
  for (const IoEvent& event : rig.io.events) {
    EXPECT_TRUE(event.call != IoCall::Read || event.amount <= 4096);
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, OutcomeTest, testing::ValuesIn(kOutcomeCases),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(PatchRun, PatchedShrinkingFileKeepsItsLengthWithAZeroTail) {
  ScopedInstallDir dir;
  RunRig rig;
  setUpOldTargets(rig, {kShrinking});
  ASSERT_TRUE(rig.run());
  Bytes expected = newContent(kShrinking);
  expected.resize(10000, 0);
  EXPECT_EQ(readFile(kPath), expected);
  EXPECT_EQ(rig.io.callsOf(IoCall::OpenUpdate).size(), 1u);
}

// Rows 0 and 1 on one file: row 0 in neither of its states is passed on to row 1 without a
// problem, but only when the paths match byte for byte and only for row 0.
TEST(PatchRun, ChainedRowZeroInNeitherStateIsUpToDate) {
  const PatchEntry first = makeRow("Varnok\\Menu.bin", "First.pat", 1000, 1200, 100000, 120000);
  const PatchEntry second = makeRow("Varnok\\Menu.bin", "Second.pat", 1200, 1100, 120000, 130000);
  PatchEntry otherCase = second;
  copyBounded(otherCase.targetPath, sizeof otherCase.targetPath, "Varnok\\menu.bin");
  struct Case {
    const char* name;
    PatchEntry secondRow;
    uint32_t fileSum;
    RowOutcome first, second;
    bool problem;
    const char* log;
  } cases[] = {
      {"past row 0", second, 130000, RowOutcome::ChainedUpToDate, RowOutcome::UpToDate, false,
       "     Varnok\\Menu.bin was already up-to-date (pass 1)\r\n"
       "     Varnok\\Menu.bin was already up-to-date (pass 2)\r\n"},
      {"fits no row", second, 7000, RowOutcome::ChainedUpToDate, RowOutcome::NotRecognised, true,
       "     Varnok\\Menu.bin was already up-to-date (pass 1)\r\n"
       "*** Varnok\\Menu.bin is not a recognized version (pass 2)\r\n"},
      {"paths differ in case", otherCase, 130000, RowOutcome::NotRecognised, RowOutcome::UpToDate,
       true,
       "*** Varnok\\Menu.bin is not a recognized version\r\n"
       "     Varnok\\menu.bin was already up-to-date\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedInstallDir dir;
    RunRig rig;
    rig.table = tableOf({first, c.secondRow});
    rig.progressTotal = 4500;
    const Bytes file = contentWithFingerprint(1200, c.fileSum);
    writeFile("Varnok\\Menu.bin", file);
    writeFile("Varnok\\menu.bin", file);
    ASSERT_TRUE(rig.run());
    EXPECT_EQ(rig.results.outcomes[0], c.first);
    EXPECT_EQ(rig.results.outcomes[1], c.second);
    EXPECT_EQ(rig.results.problem, c.problem ? 1 : 0);
    EXPECT_EQ(rig.log(), std::string(kHeading) + c.log);
    EXPECT_EQ(rig.sink.rowEnd(1)->counter, 1000 + 1200);
    EXPECT_EQ(rig.results.progressCounter, 1000 + 1200 + 1200 + 1100);
    EXPECT_EQ(readFile("Varnok\\Menu.bin"), file);
  }
}

// A row whose file is absent keeps the previous status text, and the run goes on.
TEST(PatchRun, FailedRowDoesNotStopTheRun) {
  ScopedInstallDir dir;
  RunRig rig;
  const PatchEntry other = makeRow(kOtherPath, "Other.pat", 10000, 10000, kOldSum, kNewSum);
  rig.table = tableOf({kGrowing, other});
  rig.progressTotal = 40500;
  addPayloadFor(rig.payloads, other);
  writeFile(kOtherPath, oldContent(other));
  ASSERT_TRUE(rig.run());
  EXPECT_EQ(rig.results.outcomes[0], RowOutcome::NotFound);
  EXPECT_EQ(rig.results.outcomes[1], RowOutcome::Patched);
  EXPECT_EQ(rig.results.problem, 1);
  EXPECT_EQ(rig.sink.rowEnd(1)->counter, 20500);
  EXPECT_EQ(rig.results.progressCounter, 40500);
  EXPECT_EQ(rig.sink.events[1].kind, SinkEvent::Progress);  // no status for the absent row
  EXPECT_EQ(readFile(kOtherPath), newContent(other));
}

std::string describe(const IoEvent& e) {
  switch (e.call) {
    case IoCall::OpenRead:
      return "open rb " + e.path;
    case IoCall::OpenUpdate:
      return "open r+b " + e.path;
    case IoCall::Read:
      return "read " + std::to_string(e.amount) + "=" + std::to_string(e.result);
    case IoCall::Write:
      return "write " + std::to_string(e.amount);
    case IoCall::Seek:
      return "seek " + std::to_string(e.amount);
    case IoCall::Close:
      return "close";
    case IoCall::ClearReadOnly:
      return "writable " + e.path;
  }
  return "?";
}

std::string describe(const SinkEvent& e) {
  switch (e.kind) {
    case SinkEvent::Status:
      return e.text;
    case SinkEvent::Progress:
      return std::to_string(e.percent) + "%";
    case SinkEvent::Pause:
      return "pause";
    case SinkEvent::Finish:
      return "finish";
  }
  return "?";
}

template <typename Event>
std::vector<std::string> describeAll(const std::vector<Event>& events) {
  std::vector<std::string> out;
  for (const Event& e : events) out.push_back(describe(e));
  return out;
}

// One growing row of 10000 -> 10100 bytes, progress total 20100, from start to finish.
TEST(PatchRun, OneRowShowsPausesAndTouchesTheFileInOrder) {
  ScopedInstallDir dir;
  RunRig rig;
  setUpOldTargets(rig, {makeRow(kPath, "Part.pat", 10000, 10100, kOldSum, kNewSum)});
  ASSERT_TRUE(rig.run());

  // clang-format off
  const std::vector<std::string> sink = {
      "pause",                                     // start of the row
      "Checking Varnok\\Part.bin...",              //
      "20%", "pause", "40%", "pause", "49%", "pause",  // 4096, 8192, 10000 bytes
      "pause",                                     // the empty read: no progress beyond oldSize
      "Updating Varnok\\Part.bin...",              //
      "70%", "90%", "99%", "99%",                  // 14096, 18192, 20000, the empty chunk
      "100%",                                      // the tail, then the row's line
      "finish",
  };
  EXPECT_EQ(describeAll(rig.sink.events), sink);

  const std::vector<std::string> io = {
      "open rb Varnok\\Part.bin",
      "read 4096=4096", "read 4096=4096", "read 4096=1808", "read 4096=0",
      "close",
      "writable Varnok\\Part.bin",
      "open r+b Varnok\\Part.bin",
      "seek 0",
      "read 4096=4096", "seek 0", "write 4096", "seek 4096",
      "read 4096=4096", "seek 4096", "write 4096", "seek 8192",
      "read 1808=1808", "seek 8192", "write 1808", "seek 10000",
      "seek 10000", "write 100",  // no read at oldSize; the tail goes there
      "close",
  };
  // clang-format on
  EXPECT_EQ(describeAll(rig.io.events), io);
}

// Two patched rows; a pause is requested when a status text appears.
struct PauseCase {
  const char* name;
  const char* requestOn;
  int acknowledgedAt;  // index of the acknowledging pause among all pauses; -1: none
};

TEST(PatchRun, PauseRequestedDuringRewriteWaitsForNextRow) {
  const PauseCase cases[] = {
      {"during the first rewrite", "Updating Varnok\\Part.bin...", 5},
      {"during the checking pass", "Checking Varnok\\Part.bin...", 1},
      {"during the last rewrite", "Updating Varnok\\Other.bin...", -1},
  };
  const PatchEntry first = makeRow(kPath, "Part.pat", 10000, 10000, kOldSum, kNewSum);
  const PatchEntry second = makeRow(kOtherPath, "Other.pat", 10000, 10000, kOldSum, kNewSum);
  for (const PauseCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedInstallDir dir;
    RunRig rig;
    setUpOldTargets(rig, {first, second});
    rig.sink.requestPauseOnStatus = c.requestOn;
    ASSERT_TRUE(rig.run());

    std::vector<const SinkEvent*> pauses;
    for (const SinkEvent& e : rig.sink.events) {
      if (e.kind == SinkEvent::Pause) pauses.push_back(&e);
    }
    ASSERT_EQ(pauses.size(), 10u);  // per row: its start and four checking reads
    for (int i = 0; i < 10; ++i) {
      EXPECT_EQ(pauses[i]->acknowledged, i == c.acknowledgedAt) << "pause " << i;
      EXPECT_EQ(pauses[i]->openStreams, i % 5 == 0 ? 0 : 1) << "pause " << i;
    }
    EXPECT_EQ(rig.sink.events.back().kind, SinkEvent::Finish);
  }
}

// Stopping at each pause point in turn: the run returns at once, without finishRun, with
// nothing open, and touches no file after the stop.
TEST(PatchRun, StopAtAnyPausePointReleasesEverything) {
  const PatchEntry first = makeRow(kPath, "Part.pat", 10000, 10500, kOldSum, kNewSum);
  const PatchEntry second = makeRow(kOtherPath, "Other.pat", 10000, 10500, kOldSum, kNewSum);
  for (int stop = 1; stop <= 10; ++stop) {
    SCOPED_TRACE(stop);
    ScopedInstallDir dir;
    RunRig rig;
    setUpOldTargets(rig, {first, second});
    rig.sink.stopAtPause = stop;

    EXPECT_FALSE(rig.run());
    EXPECT_EQ(rig.sink.countOf(SinkEvent::Finish), 0);
    EXPECT_EQ(rig.sink.events.back().kind, SinkEvent::Pause);
    EXPECT_EQ(rig.io.openStreams(), 0);
    const size_t callsAtStop = rig.sink.events.back().ioCalls;
    for (size_t i = callsAtStop; i < rig.io.events.size(); ++i) {
      EXPECT_EQ(rig.io.events[i].call, IoCall::Close);
    }
    const int rowsDone = (stop - 1) / 5;
    EXPECT_EQ(rig.results.rowsDone, rowsDone);
    const std::string log = rig.log();
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2 + rowsDone);
    Bytes firstExpected = rowsDone >= 1 ? newContent(first) : oldContent(first);
    EXPECT_EQ(readFile(kPath), firstExpected);
    EXPECT_EQ(readFile(kOtherPath), oldContent(second));
  }
}

// A read-only target is made writable before it is opened for update, and stays writable,
// also when the open then fails.
TEST(PatchRun, ReadOnlyTargetIsMadeWritable) {
  struct Case {
    const char* name;
    int failOpen;
    RowOutcome outcome;
  } cases[] = {{"patched", 0, RowOutcome::Patched}, {"open fails", 1, RowOutcome::OpenFailed}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedInstallDir dir;
    RunRig rig;
    setUpOldTargets(rig, {kGrowing});
    const std::string native = "Varnok/Part.bin";
    ASSERT_EQ(chmod(native.c_str(), 0444), 0);
    if (c.failOpen != 0) rig.io.failNth(IoCall::OpenUpdate, c.failOpen);
    ASSERT_TRUE(rig.run());
    EXPECT_EQ(rig.results.outcomes[0], c.outcome);
    struct stat info {};
    ASSERT_EQ(stat(native.c_str(), &info), 0);
    EXPECT_NE(info.st_mode & S_IWUSR, 0u);
    const auto calls = describeAll(rig.io.events);
    const auto writable = std::find(calls.begin(), calls.end(), "writable Varnok\\Part.bin");
    const auto open = std::find(calls.begin(), calls.end(), "open r+b Varnok\\Part.bin");
    ASSERT_NE(writable, calls.end());
    EXPECT_LT(writable - calls.begin(), open - calls.begin());
  }
}

// Texts longer than the buffers are cut: a line at 1023 characters, the log at 4095, and both
// stay terminated.
TEST(PatchRun, LongTextsAreCutAtTheBufferEnds) {
  ScopedInstallDir dir;
  const std::string longText = "*** %s " + std::string(1500, 'x');
  const CatalogueEntry catalogue[] = {{8, longText.c_str()}, {12, "Patch results:"}};
  RunRig rig;
  rig.messages = CatalogueMessages(catalogue, 2);
  PatchTable table{};
  for (int i = 0; i < kMaxPatchRows; ++i) table.rows[table.rowCount++] = kGrowing;
  rig.table = table;
  rig.progressTotal = 8 * 20500;
  std::fill(std::begin(rig.results.log), std::end(rig.results.log), 'z');  // no old terminator

  ASSERT_TRUE(rig.run());
  const std::string log = rig.log();
  ASSERT_EQ(log.size(), kResultsLogSize - 1);
  const std::string line = "*** Varnok\\Part.bin " + std::string(1023 - 20, 'x');
  EXPECT_EQ(log.substr(0, 18 + line.size() + 2), std::string(kHeading) + line + "\r\n");
  EXPECT_EQ(rig.results.rowsDone, kMaxPatchRows);
}

TEST(ProgressPercent, TruncatesWithWideIntermediate) {
  struct Case {
    int64_t counter;
    int32_t total;
    int32_t percent;
  } cases[] = {
      {267776, 6064513, 4},      // 4.4
      {539136, 6064513, 8},      // 8.9
      {6064513, 6064513, 100},   //
      {6069072, 6064513, 100},   // above the total
      {5792182, 5792174, 100},   //
      {30000000, 6064513, 494},  // 3e9 would overflow 32 bits
      {0, 6064513, 0},           //
  };
  for (const Case& c : cases) {
    EXPECT_EQ(progressPercent(c.counter, c.total), c.percent) << c.counter;
  }
}

}  // namespace
