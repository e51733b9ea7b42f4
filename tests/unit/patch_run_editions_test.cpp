// The patch run over each edition's real table, with targets of the real lengths and byte sums:
// the exact log, the progress counter and percentages, and the files an add run and the
// removal run after it leave behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "editions/edition.h"
#include "engine/patch_run.h"
#include "run_fixtures.h"
#include "test_files.h"

namespace {

using O = RowOutcome;

// The menu program's states for the North American table.
const PatchEntry& naOlder() { return kEditionNa.table.rows[0]; }
const PatchEntry& naPatch() { return kEditionNa.table.rows[1]; }
Bytes naRegular() { return newContent(naOlder()); }  // also row 1's old content
Bytes withZeroTail(Bytes bytes, size_t length) {
  bytes.resize(length, 0);
  return bytes;
}
// The patched menu program as a run leaves it: new content, old length, zero surplus.
Bytes patchedInPlace(const PatchEntry& row) {
  return withZeroTail(newContent(row), static_cast<size_t>(std::max(row.oldSize, row.newSize)));
}

// A rig for `edition`, its catalogue and a payload for every row (made from the row's two
// contents by the mask rule).
void setUpEdition(RunRig& rig, const EditionData& edition) {
  rig.table = edition.table;
  rig.progressTotal = edition.progressTotal;
  rig.messages = CatalogueMessages(edition.catalogue, edition.catalogueCount);
  for (int i = 0; i < edition.table.rowCount; ++i)
    addPayloadFor(rig.payloads, edition.table.rows[i]);
}

// The first row of `edition` that is not the menu program: where the bitmaps start.
int firstBitmap(const EditionData& edition) { return hasChainedEntries(edition.table) ? 2 : 1; }

void writeBitmaps(const EditionData& edition, bool patched) {
  for (int i = firstBitmap(edition); i < edition.table.rowCount; ++i) {
    const PatchEntry& row = edition.table.rows[i];
    writeFile(row.targetPath, patched ? patchedInPlace(row) : oldContent(row));
  }
}

void expectBitmaps(const EditionData& edition, bool patched) {
  for (int i = firstBitmap(edition); i < edition.table.rowCount; ++i) {
    const PatchEntry& row = edition.table.rows[i];
    EXPECT_EQ(readFile(row.targetPath), patched ? patchedInPlace(row) : oldContent(row))
        << row.targetPath;
  }
}

std::vector<RowOutcome> outcomes(const RunResults& results) {
  return {results.outcomes, results.outcomes + results.rowsDone};
}

TEST(EditionRun, NorthAmericanAddOnOlderRelease) {
  ScopedInstallDir dir;
  RunRig rig;
  setUpEdition(rig, kEditionNa);
  writeFile("Varnok.exe", oldContent(naOlder()));
  writeBitmaps(kEditionNa, false);

  ASSERT_TRUE(rig.run());
  EXPECT_EQ(rig.log(),
            "Patch results:\r\n\r\n"
            "     Varnok.exe was successfully patched (pass 1)\r\n"
            "     Varnok.exe was successfully patched (pass 2)\r\n"
            "     Varnok\\Classic.bmp was successfully patched\r\n"
            "     Varnok\\Enhanced.bmp was successfully patched\r\n"
            "     Varnok\\Text.bmp was successfully patched\r\n");
  EXPECT_EQ(rig.results.problem, 0);
  EXPECT_EQ(rig.results.progressCounter, 6069072);
  EXPECT_EQ(rig.sink.rowEnd(1)->counter, 267776);
  EXPECT_EQ(rig.sink.rowEnd(1)->percent, 4);
  EXPECT_EQ(rig.sink.rowEnd(2)->percent, 8);
  EXPECT_EQ(rig.sink.lastPercent(), 100);
  for (const SinkEvent& e : rig.sink.events) {
    if (e.kind == SinkEvent::Progress) {
      EXPECT_LE(e.percent, 100);
    }
  }

  const Bytes menu = readFile("Varnok.exe");
  ASSERT_EQ(menu.size(), 135680u);
  EXPECT_TRUE(std::all_of(menu.end() - 4559, menu.end(), [](unsigned char b) { return b == 0; }));
  EXPECT_EQ(menu, patchedInPlace(naPatch()));
  expectBitmaps(kEditionNa, true);
}

// Add, then remove with the inverted table, from each accepted starting state.
struct RoundTripCase {
  const char* name;
  const EditionData& edition;
  Bytes (*menuStart)();
  std::vector<RowOutcome> addOutcomes;
  int64_t addCounter;
  std::vector<RowOutcome> removeOutcomes;
  int64_t removeCounter;
  Bytes (*menuEnd)();  // after the removal
};

Bytes naOlderStart() { return oldContent(naOlder()); }
Bytes naPatchedMenu() { return patchedInPlace(naPatch()); }
Bytes ukMenu() { return oldContent(kEditionUk.table.rows[0]); }
Bytes deMenu() { return oldContent(kEditionDe.table.rows[0]); }

// clang-format off
const RoundTripCase kRoundTrips[] = {
    {"NorthAmericanOlderRelease", kEditionNa, naOlderStart,
     {O::Patched, O::Patched, O::Patched, O::Patched, O::Patched}, 6069072,
     {O::ChainedUpToDate, O::Patched, O::Patched, O::Patched, O::Patched}, 6068097, naRegular},
    {"NorthAmericanRegularRelease", kEditionNa, naRegular,
     {O::UpToDate, O::Patched, O::Patched, O::Patched, O::Patched}, 6069072,
     {O::ChainedUpToDate, O::Patched, O::Patched, O::Patched, O::Patched}, 6068097, naRegular},
    {"NorthAmericanMenuAlreadyPatched", kEditionNa, naPatchedMenu,
     {O::ChainedUpToDate, O::UpToDate, O::Patched, O::Patched, O::Patched}, 6064513,
     {O::ChainedUpToDate, O::Patched, O::Patched, O::Patched, O::Patched}, 6068097, naRegular},
    {"British", kEditionUk, ukMenu, {O::Patched, O::Patched, O::Patched, O::Patched},
     5796738 + 4558, {O::Patched, O::Patched, O::Patched, O::Patched}, 5796738, ukMenu},
    {"German", kEditionDe, deMenu, {O::Patched, O::Patched, O::Patched, O::Patched},
     5792174 + 8, {O::Patched, O::Patched, O::Patched, O::Patched}, 5792174, deMenu},
};
// clang-format on

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const RoundTripCase& c, std::ostream* os) { *os << c.name; }

class RoundTripTest : public testing::TestWithParam<RoundTripCase> {};

TEST_P(RoundTripTest, AddThenRemove) {
  const RoundTripCase& c = GetParam();
  const bool chained = hasChainedEntries(c.edition.table);
  ScopedInstallDir dir;
  writeFile("Varnok.exe", c.menuStart());
  writeBitmaps(c.edition, false);

  RunRig add;
  setUpEdition(add, c.edition);
  ASSERT_TRUE(add.run());
  EXPECT_EQ(outcomes(add.results), c.addOutcomes);
  EXPECT_EQ(add.results.problem, 0);
  EXPECT_EQ(add.results.progressCounter, c.addCounter);
  EXPECT_EQ(add.sink.lastPercent(), 100);
  const std::string log = add.log();
  EXPECT_EQ(log.find(" (pass 1)") != std::string::npos, chained);
  EXPECT_EQ(log.find(" (pass 2)") != std::string::npos, chained);
  EXPECT_EQ(log.find("(Pass"), std::string::npos);
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2 + c.edition.table.rowCount);
  EXPECT_EQ(readFile("Varnok.exe"), patchedInPlace(c.edition.table.rows[chained ? 1 : 0]));
  expectBitmaps(c.edition, true);

  RunRig remove;
  setUpEdition(remove, c.edition);
  invertTable(remove.table);
  ASSERT_TRUE(remove.run());
  EXPECT_EQ(outcomes(remove.results), c.removeOutcomes);
  EXPECT_EQ(remove.results.problem, 0);
  EXPECT_EQ(remove.results.progressCounter, c.removeCounter);
  EXPECT_EQ(remove.sink.lastPercent(), 100);
  EXPECT_EQ(readFile("Varnok.exe"), c.menuEnd());
  expectBitmaps(c.edition, false);
}

INSTANTIATE_TEST_SUITE_P(Editions, RoundTripTest, testing::ValuesIn(kRoundTrips),
                         [](const auto& test) { return std::string(test.param.name); });

// The removal from a menu program of the new length (not patched in place) also ends at the
// regular release; row 0 counts the shorter file.
TEST(EditionRun, NorthAmericanRemovalFromNewLength) {
  ScopedInstallDir dir;
  writeFile("Varnok.exe", newContent(naPatch()));
  writeBitmaps(kEditionNa, true);
  RunRig rig;
  setUpEdition(rig, kEditionNa);
  invertTable(rig.table);
  ASSERT_TRUE(rig.run());
  EXPECT_EQ(rig.log(),
            "Patch results:\r\n\r\n"
            "     Varnok.exe was already up-to-date (pass 1)\r\n"
            "     Varnok.exe was successfully patched (pass 2)\r\n"
            "     Varnok\\Classic.bmp was successfully patched\r\n"
            "     Varnok\\Enhanced.bmp was successfully patched\r\n"
            "     Varnok\\Text.bmp was successfully patched\r\n");
  EXPECT_EQ(rig.results.problem, 0);
  EXPECT_EQ(rig.sink.rowEnd(1)->counter, 131121 + 135680);
  EXPECT_EQ(rig.results.progressCounter, 6063538);
  EXPECT_EQ(readFile("Varnok.exe"), naRegular());
  expectBitmaps(kEditionNa, false);
}

// A German run whose Varnok.exe is missing and whose first bitmap fails to update: the other
// rows still run, the log's lines say which failed, and the German texts are used.
TEST(EditionRun, GermanRunWithFailures) {
  ScopedInstallDir dir;
  writeBitmaps(kEditionDe, false);
  RunRig rig;
  setUpEdition(rig, kEditionDe);
  rig.io.failNth(IoCall::OpenUpdate, 1);
  ASSERT_TRUE(rig.run());
  EXPECT_EQ(rig.log(),
            "Update-Ergebnis:\r\n\r\n"
            "*** Varnok.exe war nicht von der Quintor Varnok Hits 1-CD-ROM installiert.\r\n"
            "*** Konnte Varnok\\Classic.bmp nicht zum Updaten öffnen.  Datei wird womöglich "
            "benutzt.\r\n"
            "     Varnok\\Enhanced.bmp: Update erfolgreich durchgeführt.\r\n"
            "     Varnok\\Text.bmp: Update erfolgreich durchgeführt.\r\n");
  EXPECT_EQ(rig.results.problem, 1);
  EXPECT_EQ(readFile("Varnok\\Classic.bmp"), oldContent(kEditionDe.table.rows[1]));
}

}  // namespace
