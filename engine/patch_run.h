// The patch run: checks every row's target and rewrites those in their old state.
//
// runPatch goes through the table's rows in order. For each row it reads the target once
// (length and byte sum), decides what the file is, rewrites it in place with the row's mask
// when it is in the row's old state, and appends one line to the results log. A failed row
// sets the problem flag and the run goes on. The run talks to its window only through a
// ProgressSink.
#pragma once

#include <cstdint>

#include "messages.h"
#include "patch_table.h"

class FileIo;
class PayloadLookup;

// What the run needs from its window. Every call comes from the thread that runs runPatch.
class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  // Replaces the status line. The text (at most 1023 characters) is only valid during the call.
  virtual void showStatus(const char* text) = 0;
  // Moves the progress bar; `percent` is passed as computed, not clamped.
  virtual void showProgress(int32_t percent) = 0;
  // A safe place to stop: no target is open for writing. Parks while a pause is requested.
  // Returns true to go on, false to end the run at once (a confirmed Cancel); the run then
  // releases what it holds and returns without calling finishRun.
  virtual bool pausePoint() = 0;
  // Called once, as the run's last act, after the last row.
  virtual void finishRun() = 0;
};

enum class RowOutcome {
  NotFound,         // cannot be opened for reading                 message 8, problem
  UpToDate,         // already in the row's new state                message 9
  ChainedUpToDate,  // row 0 of chained entries, neither state       message 9
  NotRecognised,    // neither state                                 message 10, problem
  InternalError,    // payload missing or undecodable; untouched     message 15, problem
  OpenFailed,       // cannot be opened for update; untouched        message 21, problem
  WriteFailed,      // a write fell short; may be partly rewritten   message 16, problem
  ShortFile,        // ended before oldSize while rewriting          message 16, problem
  Patched,          // rewritten                                     message 11
};

// The log message of an outcome.
int messageForOutcome(RowOutcome outcome);
// True for the outcomes that set the problem flag.
bool outcomeIsProblem(RowOutcome outcome);

// Everything the run reads. The table is the current one (as compiled, or inverted).
struct RunInputs {
  const PatchTable* table;
  int32_t progressTotal;  // the edition's constant; the same for adding and removing
  const MessageSource* messages;
  const PayloadLookup* payloads;
  FileIo* io;
};

// Everything the run writes. The run starts the log, the counter and rowsDone afresh; it only
// ever sets the problem flag, so the caller starts it at 0.
struct RunResults {
  char log[kResultsLogSize];           // rebuilt from the start by every run; always NUL-terminated
  int32_t problem;                     // set to 1 by a failed row, never cleared by the run
  int64_t progressCounter;             // bytes counted so far (may end slightly above the total)
  int rowsDone;                        // rows that got their log line
  RowOutcome outcomes[kMaxPatchRows];  // valid for the first rowsDone rows
};

// progressCounter * 100 / progressTotal, truncated toward zero, with a 64-bit intermediate.
int32_t progressPercent(int64_t counter, int32_t progressTotal);

// Runs the patch over every row of inputs.table. Returns true after the last row, having
// called sink.finishRun(); returns false, without finishRun, when sink.pausePoint() asked it
// to stop. Either way every stream is closed and every mask released before it returns.
// pausePoint comes at the start of each row and after every read of the checking pass, never
// while a target is open for update and never after the last row. A tail write that falls
// short is a WriteFailed row, not a Patched one.
bool runPatch(const RunInputs& inputs, ProgressSink& sink, RunResults& results);
