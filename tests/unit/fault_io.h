// A FileIo for tests: forwards to the standard one, records every call, and can make the Nth
// call of a kind fail or make a write fall short, so that failing disks need no real disk.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/file_io.h"

enum class IoCall { OpenRead, OpenUpdate, Read, Write, Seek, Close, ClearReadOnly };

// One recorded call. `amount` is the count asked for (read, write) or the offset (seek);
// `result` is what the call returned (bytes, 0/-1, or 1/0 for an open that worked/failed).
struct IoEvent {
  IoCall call;
  std::string path;  // open and clearReadOnly only
  int64_t amount;
  int64_t result;
};

class FaultIo final : public FileIo {
 public:
  // Makes the nth call (counted from 1) of `call` fail: an open returns null, a read returns 0,
  // a write writes nothing and returns 0, a seek or clearReadOnly does nothing and returns -1.
  void failNth(IoCall call, int nth);
  // Makes the nth write (counted from 1) write only its first `keep` bytes and return `keep`.
  void shortenNthWrite(int nth, size_t keep);

  FileHandle* open(const char* path, const char* mode) override;
  size_t read(FileHandle* file, void* buffer, size_t count) override;
  size_t write(FileHandle* file, const void* buffer, size_t count) override;
  int seek(FileHandle* file, int64_t offset) override;
  void close(FileHandle* file) override;
  int clearReadOnly(const char* path) override;

  // Streams opened and not yet closed.
  int openStreams() const { return openStreams_; }
  // The calls of one kind, in order.
  std::vector<IoEvent> callsOf(IoCall call) const;

  std::vector<IoEvent> events;

 private:
  // Counts a call of `call`; true when this one is to fail.
  bool nextFails(IoCall call);

  struct Fault {
    IoCall call;
    int nth;
    bool shorten;
    size_t keep;
  };
  std::vector<Fault> faults_;
  int counts_[7] = {};
  int openStreams_ = 0;
};
