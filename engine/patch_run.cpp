#include "patch_run.h"

#include <algorithm>
#include <cstring>

#include "file_io.h"
#include "mask.h"

int32_t progressPercent(int64_t counter, int32_t progressTotal) {
  if (progressTotal <= 0) return 0;
  return static_cast<int32_t>(counter * 100 / progressTotal);
}

int messageForOutcome(RowOutcome outcome) {
  switch (outcome) {
    case RowOutcome::NotFound:
      return kMsgNotFound;
    case RowOutcome::UpToDate:
    case RowOutcome::ChainedUpToDate:
      return kMsgUpToDate;
    case RowOutcome::NotRecognised:
      return kMsgNotRecognised;
    case RowOutcome::InternalError:
      return kMsgInternalError;
    case RowOutcome::OpenFailed:
      return kMsgOpenFailed;
    case RowOutcome::WriteFailed:
    case RowOutcome::ShortFile:
      return kMsgMayBeCorrupt;
    case RowOutcome::Patched:
      return kMsgPatched;
  }
  return kMsgInternalError;
}

bool outcomeIsProblem(RowOutcome outcome) {
  switch (outcome) {
    case RowOutcome::UpToDate:
    case RowOutcome::ChainedUpToDate:
    case RowOutcome::Patched:
      return false;
    default:
      return true;
  }
}

namespace {

constexpr char kLineEnd[] = "\r\n";

// What the checking pass makes of a target, before any update.
enum class Verdict { UpToDate, Update, ChainedUpToDate, NotRecognised };

// XORs `count` mask bytes into `bytes`, eight at a time where it can.
void xorInto(unsigned char* bytes, const unsigned char* mask, size_t count) {
  size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    uint64_t word;
    uint64_t key;
    std::memcpy(&word, bytes + i, sizeof word);
    std::memcpy(&key, mask + i, sizeof key);
    word ^= key;
    std::memcpy(bytes + i, &word, sizeof word);
  }
  for (; i < count; ++i) bytes[i] ^= mask[i];
}

// The state of one run: its inputs, its sink, its results and the chunk buffer that both
// passes share. Nothing of one row is kept here except the counter, the log and the flag.
class Run {
 public:
  Run(const RunInputs& inputs, ProgressSink& sink, RunResults& results)
      : in_(inputs), io_(*inputs.io), sink_(sink), results_(results) {}

  // Checks, classifies and updates row `index`, then logs it. Returns false when a pause
  // point asked the run to stop; the row then has no log line and nothing is left open.
  bool processRow(int index);

 private:
  bool checkAndUpdate(int index, RowOutcome* outcome);
  bool checkingPass(const PatchEntry& row, FileHandle* file, Measurement* out);
  Verdict classify(int index, const Measurement& measurement) const;
  RowOutcome update(const PatchEntry& row);
  RowOutcome rewrite(const PatchEntry& row, const unsigned char* mask, FileHandle* file);
  void logRow(int index, RowOutcome outcome);

  void count(int64_t bytes) { results_.progressCounter += bytes; }
  void reportProgress() {
    sink_.showProgress(progressPercent(results_.progressCounter, in_.progressTotal));
  }
  void showStatus(int message, const char* path);

  const RunInputs& in_;
  FileIo& io_;
  ProgressSink& sink_;
  RunResults& results_;
  unsigned char chunk_[kChunkSize];
};

bool Run::processRow(int index) {
  if (!sink_.pausePoint()) return false;
  RowOutcome outcome = RowOutcome::InternalError;
  if (!checkAndUpdate(index, &outcome)) return false;
  if (outcomeIsProblem(outcome)) results_.problem = 1;
  results_.outcomes[index] = outcome;
  logRow(index, outcome);
  results_.rowsDone = index + 1;
  reportProgress();
  return true;
}

bool Run::checkAndUpdate(int index, RowOutcome* outcome) {
  const PatchEntry& row = in_.table->rows[index];
  Measurement measurement{};
  {
    UniqueFile file = openFile(io_, row.targetPath, "rb");
    if (!file) {
      count(int64_t{row.oldSize} + row.newSize);
      *outcome = RowOutcome::NotFound;
      return true;
    }
    showStatus(kMsgChecking, row.targetPath);
    if (!checkingPass(row, file.get(), &measurement)) return false;
  }  // the checking stream is closed before anything else happens to the file

  switch (classify(index, measurement)) {
    case Verdict::UpToDate:
      count(row.newSize);
      *outcome = RowOutcome::UpToDate;
      break;
    case Verdict::ChainedUpToDate:
      count(row.newSize);
      *outcome = RowOutcome::ChainedUpToDate;
      break;
    case Verdict::NotRecognised:
      count(row.newSize);
      *outcome = RowOutcome::NotRecognised;
      break;
    case Verdict::Update:
      *outcome = update(row);
      break;
  }
  return true;
}

// Reads the whole file, chunk by chunk, for its length and byte sum. Only bytes below oldSize
// count as progress. A pause point follows every read, the final empty one included.
bool Run::checkingPass(const PatchEntry& row, FileHandle* file, Measurement* out) {
  int64_t length = 0;
  uint32_t sum = 0;
  for (;;) {
    const size_t n = io_.read(file, chunk_, sizeof chunk_);
    if (length < row.oldSize) {
      count(std::min(static_cast<int64_t>(n), row.oldSize - length));
      reportProgress();
    }
    length += static_cast<int64_t>(n);
    sum = addToByteSum(sum, chunk_, n);
    if (!sink_.pausePoint()) return false;
    if (n == 0) break;
  }
  *out = Measurement{length, sum};
  return true;
}

// Either length is accepted with either sum: a shrinking row leaves its file at oldSize, and
// after inversion that same file has the swapped row's newSize. The new state is tested first,
// so a row whose two sums are equal is never rewritten.
Verdict Run::classify(int index, const Measurement& measurement) const {
  const PatchEntry& row = in_.table->rows[index];
  const bool knownLength = measurement.length == row.oldSize || measurement.length == row.newSize;
  if (knownLength && measurement.sum == row.newSum) return Verdict::UpToDate;
  if (knownLength && measurement.sum == row.oldSum) return Verdict::Update;
  // With chained entries the menu program may already be past row 0 (row 1 judges it).
  if (index == 0 && hasChainedEntries(*in_.table)) return Verdict::ChainedUpToDate;
  return Verdict::NotRecognised;
}

// Loads the mask, opens the target for update and rewrites it. The file is untouched unless
// the rewrite starts. The mask and the update stream are released on every way out.
RowOutcome Run::update(const PatchEntry& row) {
  showStatus(kMsgUpdating, row.targetPath);
  MaskBuffer mask = loadMask(row, *in_.payloads);
  if (!mask) return RowOutcome::InternalError;
  io_.clearReadOnly(row.targetPath);  // a failure here shows up as OpenFailed just below
  UniqueFile file = openFile(io_, row.targetPath, "r+b");
  if (!file) return RowOutcome::OpenFailed;
  return rewrite(row, mask.get(), file.get());
}

// XORs the first oldSize bytes with the mask in place, then, for a growing row, writes the
// mask's tail after them. Never reads at or beyond oldSize, never truncates.
RowOutcome Run::rewrite(const PatchEntry& row, const unsigned char* mask, FileHandle* file) {
  const int64_t oldSize = row.oldSize;
  int64_t offset = 0;
  io_.seek(file, 0);
  for (;;) {
    const int64_t wanted = std::min(static_cast<int64_t>(kChunkSize), oldSize - offset);
    const size_t got = wanted > 0 ? io_.read(file, chunk_, static_cast<size_t>(wanted)) : 0;
    xorInto(chunk_, mask + offset, got);
    io_.seek(file, offset);
    if (got != 0 && io_.write(file, chunk_, got) != got) return RowOutcome::WriteFailed;
    offset += static_cast<int64_t>(got);
    count(static_cast<int64_t>(got));
    reportProgress();
    if (got == 0) break;
    io_.seek(file, offset);  // a stream switching from writing to reading needs a positioning
  }

  if (offset != oldSize) {
    count(row.newSize - offset);
    return RowOutcome::ShortFile;
  }
  if (row.newSize > row.oldSize) {
    // The last chunk's positioning call left the stream at oldSize.
    const size_t tail = static_cast<size_t>(row.newSize - row.oldSize);
    if (io_.write(file, mask + oldSize, tail) != tail) return RowOutcome::WriteFailed;
    count(static_cast<int64_t>(tail));
  }
  return RowOutcome::Patched;
}

// Appends the row's line: its message with the path, the pass number for the chained rows,
// and the line end. Every append is cut at the log's end.
void Run::logRow(int index, RowOutcome outcome) {
  char format[kMessageBufferSize];
  char line[kMessageBufferSize];
  in_.messages->load(messageForOutcome(outcome), format, sizeof format);
  formatWithPath(line, sizeof line, format, in_.table->rows[index].targetPath);
  appendBounded(results_.log, sizeof results_.log, line);
  if (index <= 1 && hasChainedEntries(*in_.table)) {
    in_.messages->load(kMsgPass, format, sizeof format);
    formatWithNumber(line, sizeof line, format, index + 1);
    appendBounded(results_.log, sizeof results_.log, line);
  }
  appendBounded(results_.log, sizeof results_.log, kLineEnd);
}

void Run::showStatus(int message, const char* path) {
  char format[kMessageBufferSize];
  char line[kMessageBufferSize];
  in_.messages->load(message, format, sizeof format);
  formatWithPath(line, sizeof line, format, path);
  sink_.showStatus(line);
}

}  // namespace

bool runPatch(const RunInputs& inputs, ProgressSink& sink, RunResults& results) {
  inputs.messages->load(kMsgResultsHeading, results.log, sizeof results.log);
  appendBounded(results.log, sizeof results.log, "\r\n\r\n");
  results.progressCounter = 0;
  results.rowsDone = 0;

  const int rowCount = std::clamp(inputs.table->rowCount, 0, kMaxPatchRows);
  Run run(inputs, sink, results);
  for (int index = 0; index < rowCount; ++index) {
    if (!run.processRow(index)) return false;
  }
  sink.finishRun();
  return true;
}
