#include "test_files.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

std::string posixPath(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

}  // namespace

ScopedInstallDir::ScopedInstallDir() {
  previous_ = fs::current_path().string();
  std::string pattern = (fs::temp_directory_path() / "patcher-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
  fs::current_path(path_);
}

ScopedInstallDir::~ScopedInstallDir() {
  std::error_code ignored;
  fs::current_path(previous_, ignored);
  fs::remove_all(path_, ignored);
}

std::vector<unsigned char> bytesWithFingerprint(int64_t length, uint32_t sum) {
  std::vector<unsigned char> bytes(static_cast<size_t>(length));
  if (length == 0) return bytes;
  const uint64_t base = sum / static_cast<uint64_t>(length);
  const uint64_t extra = sum % static_cast<uint64_t>(length);
  if (base > 255 || (base == 255 && extra > 0)) throw std::invalid_argument("sum not reachable");
  for (int64_t i = 0; i < length; ++i) {
    bytes[static_cast<size_t>(i)] =
        static_cast<unsigned char>(base + (static_cast<uint64_t>(i) < extra ? 1 : 0));
  }
  return bytes;
}

void writeFile(const std::string& path, const std::vector<unsigned char>& bytes) {
  fs::path target = posixPath(path);
  if (target.has_parent_path()) fs::create_directories(target.parent_path());
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::vector<unsigned char> readFile(const std::string& path) {
  std::ifstream in(posixPath(path), std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

bool fileExists(const std::string& path) { return fs::exists(posixPath(path)); }

void removeFile(const std::string& path) { fs::remove(posixPath(path)); }

FileHandle* RecordingFileIo::open(const char* path, const char* mode) {
  opened.emplace_back(path);
  return standardFileIo().open(path, mode);
}
size_t RecordingFileIo::read(FileHandle* file, void* buffer, size_t count) {
  return standardFileIo().read(file, buffer, count);
}
size_t RecordingFileIo::write(FileHandle* file, const void* buffer, size_t count) {
  return standardFileIo().write(file, buffer, count);
}
int RecordingFileIo::seek(FileHandle* file, int64_t offset) {
  return standardFileIo().seek(file, offset);
}
void RecordingFileIo::close(FileHandle* file) { standardFileIo().close(file); }
int RecordingFileIo::clearReadOnly(const char* path) { return standardFileIo().clearReadOnly(path); }
