// Fixtures for the patch-run tests: payloads made by the mask rule and served from memory, a
// sink that records what the run shows, and a rig that holds one run's inputs and results.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "editions/edition.h"
#include "engine/mask.h"
#include "engine/patch_run.h"
#include "fault_io.h"
#include "payload_files.h"

using Bytes = std::vector<unsigned char>;

// Content of exactly `length` bytes with byte sum `sum`, varied from byte to byte so that a
// byte put in the wrong place shows. The same fingerprint always gives the same bytes.
Bytes contentWithFingerprint(int64_t length, uint32_t sum);

// The mask of a step from `before` to `after`: the shorter extended with zeros, then XOR.
Bytes maskBetween(const Bytes& before, const Bytes& after);

// One zlib stream of `bytes` at the highest level.
Bytes compressed(const Bytes& bytes);


// One call the run made on its sink.
struct SinkEvent {
  enum Kind { Status, Progress, Pause, Finish } kind;
  std::string text = {};      // Status
  int32_t percent = 0;        // Progress
  bool acknowledged = false;  // Pause: a pause request was pending and is now acknowledged
  int openStreams = 0;        // Pause: streams the run held open at that moment
  size_t ioCalls = 0;         // Pause: file calls the run had made until then
  int rowsDone = 0;           // the run's rows logged when the call came
  int64_t counter = 0;        // the run's progress counter when the call came
};

// Records every call. Can stop the run at the nth pause point, and can raise a pause request
// when a given status text appears, which the next pause point acknowledges and clears.
class RecordingSink final : public ProgressSink {
 public:
  void showStatus(const char* text) override;
  void showProgress(int32_t percent) override;
  bool pausePoint() override;
  void finishRun() override;

  int countOf(SinkEvent::Kind kind) const;
  // The percentage of the last showProgress call.
  int32_t lastPercent() const;
  // The first showProgress call made once `rows` (at least 1) rows were logged: the report that
  // ends row `rows` - 1.
  const SinkEvent* rowEnd(int rows) const;

  std::vector<SinkEvent> events;
  int stopAtPause = 0;                  // counted from 1; 0 never stops
  std::string requestPauseOnStatus;     // raises the pause request when shown
  const FaultIo* io = nullptr;          // when set, pauses record its open streams and calls
  const RunResults* results = nullptr;  // when set, every event records rows done and counter

 private:
  void record(SinkEvent event);

  bool pauseRequested_ = false;
  int pauses_ = 0;
};

// A run's inputs, with the North American catalogue unless told otherwise, and its results.
struct RunRig {
  PatchTable table{};
  int32_t progressTotal = 0;
  CatalogueMessages messages{kEditionNa.catalogue, kEditionNa.catalogueCount};
  MemoryPayloads payloads;
  FaultIo io;
  RecordingSink sink;
  RunResults results{};

  bool run();
  // The results log as a string.
  std::string log() const { return results.log; }
};

// Fills `row` (path and payload name as given, sizes and sums).
PatchEntry makeRow(const char* path, const char* payload, int32_t oldSize, int32_t newSize,
                   uint32_t oldSum, uint32_t newSum);

// The row's two contents, by their fingerprints.
Bytes oldContent(const PatchEntry& row);
Bytes newContent(const PatchEntry& row);

// Adds the row's payload, made from its old and new contents by the mask rule.
void addPayloadFor(MemoryPayloads& payloads, const PatchEntry& row);

// Gives `rig` a table of `rows` with their payloads, the sum of their sizes as progress total,
// and every target in its old state.
void setUpOldTargets(RunRig& rig, std::initializer_list<PatchEntry> rows);
