// File access for the engine: the one seam through which every target is read and rewritten.
//
// The engine never calls the C runtime's stream functions directly. It goes through a FileIo,
// so that tests can make any call fail (the Nth open, read, write or seek) and so that the
// native build can map the table's backslash paths onto a POSIX file system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

struct FileHandle;  // opaque; owned by the FileIo that opened it

class FileIo {
 public:
  virtual ~FileIo() = default;

  // Opens `path` (relative, backslash-separated as the patch table spells it) with a C-runtime
  // stream mode: "rb" to read, "r+b" to rewrite in place (never creates, never truncates).
  // Returns null when the file cannot be opened.
  virtual FileHandle* open(const char* path, const char* mode) = 0;

  // Reads up to `count` bytes; returns the number read (0 at end of file or on error).
  virtual size_t read(FileHandle* file, void* buffer, size_t count) = 0;

  // Writes `count` bytes; returns the number written (fewer on error).
  virtual size_t write(FileHandle* file, const void* buffer, size_t count) = 0;

  // Positions the stream at `offset` bytes from the start; returns 0 on success.
  virtual int seek(FileHandle* file, int64_t offset) = 0;

  // Closes the stream and releases the handle. Never fails from the caller's point of view.
  virtual void close(FileHandle* file) = 0;

  // Clears the read-only attribute of `path` (on POSIX: adds the owner's write permission).
  // Returns 0 on success. Callers may ignore the result.
  virtual int clearReadOnly(const char* path) = 0;
};

// The process-wide FileIo over buffered C-runtime streams in binary mode. On POSIX builds the
// backslashes of a path are turned into slashes before the file is opened.
FileIo& standardFileIo();

// Closes a FileHandle through the FileIo that opened it; for std::unique_ptr.
struct FileCloser {
  FileIo* io = nullptr;
  void operator()(FileHandle* file) const {
    if (file != nullptr) io->close(file);
  }
};
using UniqueFile = std::unique_ptr<FileHandle, FileCloser>;

// Opens `path` with `mode` and wraps the handle so that it is closed on every path out.
inline UniqueFile openFile(FileIo& io, const char* path, const char* mode) {
  return UniqueFile(io.open(path, mode), FileCloser{&io});
}
