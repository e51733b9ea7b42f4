// The start-up flow against a scripted Host: every exit, the switches, the screen-saver repair.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "engine/file_io.h"
#include "engine/mask.h"
#include "engine/messages.h"
#include "engine/patch_run.h"
#include "engine/patch_table.h"
#include "shell/host.h"
#include "shell/startup_flow.h"
#include "shell/switches.h"
#include "test_files.h"

namespace {

// ---------------------------------------------------------------------------------------------
// Switches

struct SwitchCase {
  const char* commandLine;
  bool quiet;
  bool verbose;
};

TEST(Switches, RecognisedAnywhereIgnoringCase) {
  const SwitchCase cases[] = {
      {"", false, false},
      {"q", false, false},
      {"/", false, false},
      {"/q", true, false},
      {"/v", false, true},
      {"/q /v", true, true},
      {"/Q", true, false},
      {"/V", false, true},
      {"/Quick", true, false},
      {"/verbose", false, true},
      {"C:/Video/x", false, true},
      {"x/q", true, false},
      {"/quiet/verbose", true, true},
      {"abc/", false, false},
      {"-q -v", false, false},
      {"\\q \\v", false, false},
  };
  for (const SwitchCase& c : cases) {
    const Switches found = parseSwitches(c.commandLine);
    EXPECT_EQ(found.quiet, c.quiet) << '"' << c.commandLine << '"';
    EXPECT_EQ(found.verbose, c.verbose) << '"' << c.commandLine << '"';
  }
  EXPECT_FALSE(parseSwitches(nullptr).quiet);
}

// ---------------------------------------------------------------------------------------------
// A scripted Host

// Every message's text is "#<number>", so a recorded box names the message it shows.
const CatalogueEntry kTestCatalogue[] = {
    {1, "title"}, {4, "error"}, {5, "#5"},   {6, "#6"},   {7, "#7"},   {17, "#17"}, {18, "#18"},
    {22, "#22"},  {23, "#23"},  {24, "#24"}, {25, "#25"}, {26, "#26"}, {27, "#27"}, {29, "#29"},
};

struct NoPayloads final : PayloadLookup {
  bool find(const char*, PayloadBytes*) const override { return false; }
};

// One row; what the flow sees of the installation depends only on this file's fingerprint.
const PatchTable kTable = {1, {{"Menu.exe", "Menu.pat", 8, 10, 100, 200}}};
constexpr int32_t kProgressTotal = 18;

struct Box {
  void* owner;
  std::string text;
  std::string caption;
  unsigned type;
};

std::string describe(const Box& box) {
  return box.text + "|" + box.caption + "|" + std::to_string(box.type) +
         (box.owner != nullptr ? "|owned" : "");
}

class ScriptedHost final : public Host {
 public:
  // The script.
  bool profileEntry = false;
  std::string profileValue;
  bool keyOpens = true;
  bool pathReads = true;
  std::string installPath = "C:\\Games\\Varnok";
  bool directoryExists = true;
  std::deque<int> answers;  // for the questions, in order
  int progressResult = kRunCompleted;
  int32_t runProblem = 0;

  // The record.
  std::vector<std::string> events;
  std::vector<Box> boxes;
  PatchTable tableAtRun{};
  RunInputs inputsAtRun{};

  void readProfileString(char* buffer, size_t capacity) override {
    events.push_back("profile.read");
    copyBounded(buffer, capacity, profileEntry ? profileValue.c_str() : "");
  }
  void deleteProfileString() override { events.push_back("profile.delete"); }
  bool openInstallKey() override {
    events.push_back("key.open");
    return keyOpens;
  }
  bool readInstallPath(char* buffer, size_t capacity) override {
    events.push_back("key.read");
    if (!pathReads) return false;
    copyBounded(buffer, capacity, installPath.c_str());
    return true;
  }
  void deleteInstallPath() override { events.push_back("key.delete"); }
  void closeInstallKey() override { events.push_back("key.close"); }
  bool setCurrentDirectory(const char* path) override {
    events.push_back(std::string("chdir ") + path);
    return directoryExists;
  }
  void closeMenuProgram() override { events.push_back("menu.close"); }
  int messageBox(void* owner, const char* text, const char* caption, unsigned type) override {
    events.push_back(std::string("box ") + text);
    boxes.push_back({owner, text, caption, type});
    if ((type & kBoxYesNo) == 0) return kAnswerOk;
    if (answers.empty()) {
      ADD_FAILURE() << "unscripted question " << text;
      return kAnswerNo;
    }
    const int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  int runProgressDialog(const RunInputs& inputs, RunResults& results) override {
    events.push_back("progress");
    inputsAtRun = inputs;
    tableAtRun = *inputs.table;
    results.problem = runProblem;
    return progressResult;
  }
  void showResultsDialog(const RunResults&) override { events.push_back("results"); }
  const MessageSource& messages() override { return messages_; }
  const PayloadLookup& payloads() override { return payloads_; }
  FileIo& fileIo() override { return standardFileIo(); }

 private:
  CatalogueMessages messages_{kTestCatalogue, static_cast<int>(std::size(kTestCatalogue))};
  NoPayloads payloads_;
};

enum class Install { Ready, AllPatched, Missing, Unrecognised };

void prepare(Install install) {
  switch (install) {
    case Install::Ready:
      writeFile("Menu.exe", bytesWithFingerprint(8, 100));
      break;
    case Install::AllPatched:
      writeFile("Menu.exe", bytesWithFingerprint(10, 200));
      break;
    case Install::Unrecognised:
      writeFile("Menu.exe", bytesWithFingerprint(8, 50));
      break;
    case Install::Missing:
      break;
  }
}

// Runs the flow over a fresh install directory; checks that it returns 0.
struct FlowRun {
  ScopedInstallDir dir;
  PatchTable table = kTable;
  RunResults results{};
  FlowExit exit{};

  void run(ScriptedHost& host, const char* commandLine) {
    FlowInputs inputs{commandLine, &table, kProgressTotal, &results};
    EXPECT_EQ(runStartupFlow(host, inputs, &exit), 0);
  }
};

// ---------------------------------------------------------------------------------------------
// Every exit, in plain, quiet and verbose modes

enum Failure { kNone, kNoKey, kNoPath, kNoDirectory };

struct ExitCase {
  const char* name;
  const char* commandLine;
  Failure failure;
  Install install;
  std::vector<int> answers;
  int progressResult;
  int32_t problem;
  FlowExit exit;
  std::vector<std::string> boxes;  // text|caption|type, in order
  bool ran;                        // the progress dialog was shown
  bool results;                    // the results dialog was shown
};

const unsigned kError = kBoxIconError;
const std::string kAddQuestion = "#26|title|" + std::to_string(kBoxYesNo | kBoxIconQuestion);
const std::string kRemoveQuestion = "#25|title|" + std::to_string(kBoxYesNo | kBoxIconWarning);
const std::string kNotFound = "#5|error|" + std::to_string(kError);

// clang-format off
const ExitCase kExitCases[] = {
  // name                          switches  failure       installation          answers      dialog  problem  exit                        boxes                              ran    results
  {"E1 key",                       "",       kNoKey,       Install::Ready,        {},          6,  0, FlowExit::KeyNotOpened,    {kNotFound},                        false, false},
  {"E1 key quiet",                 "/q",     kNoKey,       Install::Ready,        {},          6,  0, FlowExit::KeyNotOpened,    {},                                 false, false},
  {"E2 path",                      "",       kNoPath,      Install::Ready,        {},          6,  0, FlowExit::PathNotRead,     {kNotFound},                        false, false},
  {"E2 path quiet",                "/q",     kNoPath,      Install::Ready,        {},          6,  0, FlowExit::PathNotRead,     {},                                 false, false},
  {"E3 directory",                 "",       kNoDirectory, Install::Ready,        {},          6,  0, FlowExit::DirectoryGone,   {"#17|title|16"},                   false, false},
  {"E3 directory quiet",           "/q",     kNoDirectory, Install::Ready,        {},          6,  0, FlowExit::DirectoryGone,   {},                                 false, false},
  {"E4 missing",                   "",       kNone,        Install::Missing,      {},          6,  0, FlowExit::NotInstalled,    {"#23|error|16"},                   false, false},
  {"E4 missing quiet",             "/q",     kNone,        Install::Missing,      {},          6,  0, FlowExit::NotInstalled,    {},                                 false, false},
  {"E5 unrecognised",              "",       kNone,        Install::Unrecognised, {},          6,  0, FlowExit::Unrecognised,    {"#24|error|16"},                   false, false},
  {"E5 unrecognised quiet",        "/q",     kNone,        Install::Unrecognised, {},          6,  0, FlowExit::Unrecognised,    {},                                 false, false},
  {"E6 removal declined",          "",       kNone,        Install::AllPatched,   {kAnswerNo}, 6,  0, FlowExit::RemoveDeclined,  {kRemoveQuestion},                  false, false},
  {"E6 quiet declines unasked",    "/q /v",  kNone,        Install::AllPatched,   {},          6,  0, FlowExit::RemoveDeclined,  {},                                 false, false},
  {"E7 add declined",              "",       kNone,        Install::Ready,        {kAnswerNo}, 6,  0, FlowExit::AddDeclined,     {kAddQuestion},                     false, false},
  {"E7 asked in quiet mode",       "/q",     kNone,        Install::Ready,        {kAnswerNo}, 6,  0, FlowExit::AddDeclined,     {kAddQuestion},                     false, false},
  {"E8 cancelled",                 "",       kNone,        Install::Ready,        {kAnswerYes}, 7, 0, FlowExit::RunNotCompleted, {kAddQuestion},                     true,  false},
  {"E8 dialog failed",             "/v",     kNone,        Install::Ready,        {kAnswerYes}, -1, 1, FlowExit::RunNotCompleted, {kAddQuestion},                    true,  false},
  {"E9 problem",                   "",       kNone,        Install::Ready,        {kAnswerYes}, 6, 1, FlowExit::ResultsShown,    {kAddQuestion},                     true,  true},
  {"E9 problem quiet",             "/q",     kNone,        Install::Ready,        {kAnswerYes}, 6, 1, FlowExit::ResultsShown,    {kAddQuestion},                     true,  true},
  {"E9 verbose",                   "/v",     kNone,        Install::Ready,        {kAnswerYes}, 6, 0, FlowExit::ResultsShown,    {kAddQuestion},                     true,  true},
  {"E9 quiet and verbose",         "/q /v",  kNone,        Install::Ready,        {kAnswerYes}, 6, 0, FlowExit::ResultsShown,    {kAddQuestion},                     true,  true},
  {"E10 added",                    "",       kNone,        Install::Ready,        {kAnswerYes}, 6, 0, FlowExit::Completed,       {kAddQuestion, "#27|title|0"},      true,  false},
  {"E10 removed",                  "",       kNone,        Install::AllPatched,   {kAnswerYes}, 6, 0, FlowExit::Completed,       {kRemoveQuestion, "#29|title|0"},   true,  false},
  {"E10 quiet",                    "/q",     kNone,        Install::Ready,        {kAnswerYes}, 6, 0, FlowExit::Completed,       {kAddQuestion},                     true,  false},
  {"E10 any answer but No goes on", "",      kNone,        Install::Ready,        {kAnswerOk},  6, 0, FlowExit::Completed,       {kAddQuestion, "#27|title|0"},      true,  false},
};
// clang-format on

TEST(StartupFlow, EveryExitShowsItsBoxesAndReturnsZero) {
  for (const ExitCase& c : kExitCases) {
    SCOPED_TRACE(c.name);
    FlowRun flow;
    prepare(c.install);
    ScriptedHost host;
    host.keyOpens = c.failure != kNoKey;
    host.pathReads = c.failure != kNoPath;
    host.directoryExists = c.failure != kNoDirectory;
    host.answers.assign(c.answers.begin(), c.answers.end());
    host.progressResult = c.progressResult;
    host.runProblem = c.problem;
    flow.run(host, c.commandLine);

    EXPECT_EQ(flow.exit, c.exit);
    std::vector<std::string> shown;
    for (const Box& box : host.boxes) shown.push_back(describe(box));
    EXPECT_EQ(shown, c.boxes);
    EXPECT_TRUE(host.answers.empty()) << "a scripted answer was not asked for";
    const auto has = [&](const char* event) {
      return std::find(host.events.begin(), host.events.end(), event) != host.events.end();
    };
    EXPECT_EQ(has("progress"), c.ran);
    EXPECT_EQ(has("results"), c.results);
  }
}

// The key is open only inside the registry step and closed on every way out of it; the stale
// value is deleted (in quiet mode too) before the key is closed; the menu program is closed
// only once the install directory is current.
TEST(StartupFlow, RegistryStepClosesTheKeyOnEveryPath) {
  struct Case {
    Failure failure;
    const char* commandLine;
    std::vector<std::string> events;
  };
  const Case cases[] = {
      {kNoKey, "", {"profile.read", "key.open", "box #5"}},
      {kNoPath, "", {"profile.read", "key.open", "key.read", "key.close", "box #5"}},
      {kNoDirectory,
       "/q",
       {"profile.read", "key.open", "key.read", "chdir C:\\Games\\Varnok", "key.delete",
        "key.close"}},
      {kNone,
       "",
       {"profile.read", "key.open", "key.read", "chdir C:\\Games\\Varnok", "key.close",
        "menu.close", "box #23"}},
  };
  for (const Case& c : cases) {
    FlowRun flow;
    ScriptedHost host;
    host.keyOpens = c.failure != kNoKey;
    host.pathReads = c.failure != kNoPath;
    host.directoryExists = c.failure != kNoDirectory;
    flow.run(host, c.commandLine);
    EXPECT_EQ(host.events, c.events) << static_cast<int>(c.failure);
  }
}

// Removal: the table reaches the run in its removal form; adding: as compiled. The run gets
// the edition's progress total either way.
TEST(StartupFlow, RemovalInvertsTheTableBeforeTheRun) {
  PatchTable inverted = kTable;
  invertTable(inverted);
  for (bool removing : {false, true}) {
    FlowRun flow;
    prepare(removing ? Install::AllPatched : Install::Ready);
    ScriptedHost host;
    host.answers = {kAnswerYes};
    flow.run(host, "");
    const PatchTable& expected = removing ? inverted : kTable;
    EXPECT_EQ(std::memcmp(&host.tableAtRun, &expected, sizeof expected), 0) << removing;
    EXPECT_EQ(host.inputsAtRun.table, &flow.table);
    EXPECT_EQ(host.inputsAtRun.progressTotal, kProgressTotal);
  }
  // Declined or quiet: the table stays as compiled.
  for (const char* commandLine : {"", "/q"}) {
    FlowRun flow;
    prepare(Install::AllPatched);
    ScriptedHost host;
    if (commandLine[0] == '\0') host.answers = {kAnswerNo};
    flow.run(host, commandLine);
    EXPECT_EQ(std::memcmp(&flow.table, &kTable, sizeof kTable), 0) << commandLine;
  }
}

TEST(StartupFlow, NoBoxHasAnOwner) {
  FlowRun flow;
  prepare(Install::Ready);
  ScriptedHost host;
  host.profileEntry = true;
  host.profileValue = "x.ttf";
  host.answers = {kAnswerYes};
  flow.run(host, "");
  ASSERT_EQ(host.boxes.size(), 3u);
  for (const Box& box : host.boxes) EXPECT_EQ(box.owner, nullptr) << box.text;
}

// ---------------------------------------------------------------------------------------------
// Screen-saver repair

TEST(StartupFlow, ScreenSaverEntryNamingAFontIsDeletedFirst) {
  struct Case {
    bool entry;
    const char* value;
    bool repaired;
  };
  const Case cases[] = {
      {true, "C:\\FONTS\\X.TTF", true},
      {true, "x.ttf", true},
      {true, ".TtF", true},
      {true, "ttf", false},
      {true, ".tt", false},
      {true, "", false},
      {false, "", false},
      {true, "x.ttf ", false},
      {true, "scrnsave.scr", false},
      {true, "x.ttfx", false},
  };
  for (const Case& c : cases) {
    for (const char* commandLine : {"", "/q"}) {
      SCOPED_TRACE(std::string(c.value) + " " + commandLine);
      FlowRun flow;
      ScriptedHost host;
      host.profileEntry = c.entry;
      host.profileValue = c.value;
      host.keyOpens = false;  // the game is not installed: message 5 follows
      flow.run(host, commandLine);
      std::vector<std::string> expected = {"profile.read"};
      if (c.repaired) expected.insert(expected.end(), {"profile.delete", "box #18"});
      expected.push_back("key.open");
      if (commandLine[0] == '\0') expected.push_back("box #5");
      EXPECT_EQ(host.events, expected);
      if (c.repaired) {
        EXPECT_EQ(describe(host.boxes.at(0)), "#18|title|" + std::to_string(kBoxIconInformation));
      }
    }
  }
}

}  // namespace
