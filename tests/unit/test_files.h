// Small file fixtures for the native tests: a temporary install directory that is the current
// directory while a test runs, and files of a chosen length and byte sum.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/file_io.h"

// Creates a fresh directory under the system's temporary folder, makes it current, and on
// destruction goes back and removes it with everything in it.
class ScopedInstallDir {
 public:
  ScopedInstallDir();
  ~ScopedInstallDir();
  ScopedInstallDir(const ScopedInstallDir&) = delete;
  ScopedInstallDir& operator=(const ScopedInstallDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string previous_;
};

// Bytes of exactly `length` bytes whose byte sum is `sum` (the sum must be reachable: at most
// 255 * length). Deterministic: the same arguments give the same bytes.
std::vector<unsigned char> bytesWithFingerprint(int64_t length, uint32_t sum);

// Writes `bytes` to `path`, given as the patch table spells it (backslashes allowed); creates
// missing parent directories.
void writeFile(const std::string& path, const std::vector<unsigned char>& bytes);
std::vector<unsigned char> readFile(const std::string& path);
bool fileExists(const std::string& path);
void removeFile(const std::string& path);

// A FileIo that forwards to the standard one and records every path it is asked to open.
class RecordingFileIo final : public FileIo {
 public:
  FileHandle* open(const char* path, const char* mode) override;
  size_t read(FileHandle* file, void* buffer, size_t count) override;
  size_t write(FileHandle* file, const void* buffer, size_t count) override;
  int seek(FileHandle* file, int64_t offset) override;
  void close(FileHandle* file) override;
  int clearReadOnly(const char* path) override;

  std::vector<std::string> opened;
};
