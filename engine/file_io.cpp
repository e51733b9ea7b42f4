#include "file_io.h"

#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#endif

namespace {

constexpr size_t kMaxPath = 1024;

// Copies `path` into `out`, turning backslashes into the platform's separator. Returns false
// when the path does not fit.
bool nativePath(const char* path, char (&out)[kMaxPath]) {
  size_t length = std::strlen(path);
  if (length >= kMaxPath) return false;
  for (size_t i = 0; i <= length; ++i) {
#ifdef _WIN32
    out[i] = path[i];
#else
    out[i] = path[i] == '\\' ? '/' : path[i];
#endif
  }
  return true;
}

FILE* stream(FileHandle* file) { return reinterpret_cast<FILE*>(file); }

class StandardFileIo final : public FileIo {
 public:
  FileHandle* open(const char* path, const char* mode) override {
    char native[kMaxPath];
    if (!nativePath(path, native)) return nullptr;
    return reinterpret_cast<FileHandle*>(std::fopen(native, mode));
  }

  size_t read(FileHandle* file, void* buffer, size_t count) override {
    return std::fread(buffer, 1, count, stream(file));
  }

  size_t write(FileHandle* file, const void* buffer, size_t count) override {
    return std::fwrite(buffer, 1, count, stream(file));
  }

  int seek(FileHandle* file, int64_t offset) override {
#ifdef _WIN32
    return _fseeki64(stream(file), offset, SEEK_SET);
#else
    return fseeko(stream(file), static_cast<off_t>(offset), SEEK_SET);
#endif
  }

  void close(FileHandle* file) override { std::fclose(stream(file)); }

  int clearReadOnly(const char* path) override {
    char native[kMaxPath];
    if (!nativePath(path, native)) return -1;
#ifdef _WIN32
    return _chmod(native, _S_IWRITE);
#else
    struct stat info {};
    if (stat(native, &info) != 0) return -1;
    return chmod(native, (info.st_mode & 07777) | S_IWUSR);
#endif
  }
};

}  // namespace

FileIo& standardFileIo() {
  static StandardFileIo io;
  return io;
}
