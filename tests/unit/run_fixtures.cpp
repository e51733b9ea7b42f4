#include "run_fixtures.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "test_files.h"

Bytes contentWithFingerprint(int64_t length, uint32_t sum) {
  Bytes bytes = bytesWithFingerprint(length, sum);
  // Move small amounts between neighbouring bytes: the sum stays, the bytes vary.
  uint32_t state = static_cast<uint32_t>(length) * 2654435761u ^ sum;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    state = state * 1664525u + 1013904223u;
    const unsigned shift = (state >> 24) % 48;
    if (bytes[i] + shift <= 255 && bytes[i + 1] >= shift) {
      bytes[i] = static_cast<unsigned char>(bytes[i] + shift);
      bytes[i + 1] = static_cast<unsigned char>(bytes[i + 1] - shift);
    }
  }
  return bytes;
}

Bytes maskBetween(const Bytes& before, const Bytes& after) {
  Bytes mask(std::max(before.size(), after.size()), 0);
  for (size_t i = 0; i < mask.size(); ++i) {
    const unsigned char b = i < before.size() ? before[i] : 0;
    const unsigned char a = i < after.size() ? after[i] : 0;
    mask[i] = static_cast<unsigned char>(b ^ a);
  }
  return mask;
}

Bytes compressed(const Bytes& bytes) {
  uLongf size = compressBound(static_cast<uLong>(bytes.size()));
  Bytes out(size);
  if (compress2(out.data(), &size, bytes.data(), static_cast<uLong>(bytes.size()), 9) != Z_OK) {
    throw std::runtime_error("compress2 failed");
  }
  out.resize(size);
  return out;
}

void RecordingSink::record(SinkEvent event) {
  if (results != nullptr) {
    event.rowsDone = results->rowsDone;
    event.counter = results->progressCounter;
  }
  events.push_back(std::move(event));
}

void RecordingSink::showStatus(const char* text) {
  record({SinkEvent::Status, text});
  if (!requestPauseOnStatus.empty() && requestPauseOnStatus == text) pauseRequested_ = true;
}

void RecordingSink::showProgress(int32_t percent) { record({SinkEvent::Progress, {}, percent}); }

bool RecordingSink::pausePoint() {
  SinkEvent event{SinkEvent::Pause};
  event.acknowledged = pauseRequested_;
  if (io != nullptr) {
    event.openStreams = io->openStreams();
    event.ioCalls = io->events.size();
  }
  pauseRequested_ = false;
  record(event);
  return ++pauses_ != stopAtPause;
}

void RecordingSink::finishRun() { record({SinkEvent::Finish}); }

int RecordingSink::countOf(SinkEvent::Kind kind) const {
  return static_cast<int>(std::count_if(events.begin(), events.end(),
                                        [kind](const SinkEvent& e) { return e.kind == kind; }));
}

int32_t RecordingSink::lastPercent() const {
  for (auto it = events.rbegin(); it != events.rend(); ++it) {
    if (it->kind == SinkEvent::Progress) return it->percent;
  }
  return -1;
}

const SinkEvent* RecordingSink::rowEnd(int rows) const {
  for (const SinkEvent& event : events) {
    if (event.kind == SinkEvent::Progress && event.rowsDone == rows) return &event;
  }
  return nullptr;
}

bool RunRig::run() {
  sink.io = &io;
  sink.results = &results;
  const RunInputs inputs{&table, progressTotal, &messages, &payloads, &io};
  return runPatch(inputs, sink, results);
}

PatchEntry makeRow(const char* path, const char* payload, int32_t oldSize, int32_t newSize,
                   uint32_t oldSum, uint32_t newSum) {
  PatchEntry row{};
  std::strncpy(row.targetPath, path, sizeof row.targetPath - 1);
  std::strncpy(row.payloadName, payload, sizeof row.payloadName - 1);
  row.oldSize = oldSize;
  row.newSize = newSize;
  row.oldSum = oldSum;
  row.newSum = newSum;
  return row;
}

Bytes oldContent(const PatchEntry& row) { return contentWithFingerprint(row.oldSize, row.oldSum); }
Bytes newContent(const PatchEntry& row) { return contentWithFingerprint(row.newSize, row.newSum); }

void addPayloadFor(MemoryPayloads& payloads, const PatchEntry& row) {
  payloads.add(row.payloadName, compressed(maskBetween(oldContent(row), newContent(row))));
}

void setUpOldTargets(RunRig& rig, std::initializer_list<PatchEntry> rows) {
  rig.table = PatchTable{};
  for (const PatchEntry& row : rows) {
    rig.table.rows[rig.table.rowCount++] = row;
    addPayloadFor(rig.payloads, row);
    writeFile(row.targetPath, oldContent(row));
  }
  rig.progressTotal = static_cast<int32_t>(sumOfSizes(rig.table));
}
