#include "fault_io.h"

#include <cstring>

void FaultIo::failNth(IoCall call, int nth) { faults_.push_back({call, nth, false, 0}); }

void FaultIo::shortenNthWrite(int nth, size_t keep) {
  faults_.push_back({IoCall::Write, nth, true, keep});
}

bool FaultIo::nextFails(IoCall call) {
  const int nth = ++counts_[static_cast<int>(call)];
  for (const Fault& fault : faults_) {
    if (fault.call == call && fault.nth == nth && !fault.shorten) return true;
  }
  return false;
}

FileHandle* FaultIo::open(const char* path, const char* mode) {
  const IoCall call = std::strcmp(mode, "rb") == 0 ? IoCall::OpenRead : IoCall::OpenUpdate;
  FileHandle* file = nextFails(call) ? nullptr : standardFileIo().open(path, mode);
  if (file != nullptr) ++openStreams_;
  events.push_back({call, path, 0, file != nullptr ? 1 : 0});
  return file;
}

size_t FaultIo::read(FileHandle* file, void* buffer, size_t count) {
  const size_t got = nextFails(IoCall::Read) ? 0 : standardFileIo().read(file, buffer, count);
  events.push_back({IoCall::Read, {}, static_cast<int64_t>(count), static_cast<int64_t>(got)});
  return got;
}

size_t FaultIo::write(FileHandle* file, const void* buffer, size_t count) {
  size_t allowed = count;
  if (nextFails(IoCall::Write)) allowed = 0;
  const int nth = counts_[static_cast<int>(IoCall::Write)];
  for (const Fault& fault : faults_) {
    if (fault.shorten && fault.nth == nth && fault.keep < allowed) allowed = fault.keep;
  }
  const size_t written = allowed == 0 ? 0 : standardFileIo().write(file, buffer, allowed);
  events.push_back({IoCall::Write, {}, static_cast<int64_t>(count), static_cast<int64_t>(written)});
  return written;
}

int FaultIo::seek(FileHandle* file, int64_t offset) {
  const int result = nextFails(IoCall::Seek) ? -1 : standardFileIo().seek(file, offset);
  events.push_back({IoCall::Seek, {}, offset, result});
  return result;
}

void FaultIo::close(FileHandle* file) {
  --openStreams_;
  events.push_back({IoCall::Close, {}, 0, 0});
  standardFileIo().close(file);
}

int FaultIo::clearReadOnly(const char* path) {
  const int result = nextFails(IoCall::ClearReadOnly) ? -1 : standardFileIo().clearReadOnly(path);
  events.push_back({IoCall::ClearReadOnly, path, 0, result});
  return result;
}

std::vector<IoEvent> FaultIo::callsOf(IoCall call) const {
  std::vector<IoEvent> found;
  for (const IoEvent& event : events) {
    if (event.call == call) found.push_back(event);
  }
  return found;
}
