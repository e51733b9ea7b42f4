#include "payload_maker.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

struct FileCloser {
  void operator()(FILE* file) const {
    if (file != nullptr) std::fclose(file);
  }
};
using UniqueFile = std::unique_ptr<FILE, FileCloser>;

std::string describe(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

// Removes a temporary file on every path out unless it was handed over with release().
class TemporaryFile {
 public:
  explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
  ~TemporaryFile() {
    if (!path_.empty()) std::remove(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  void release() { path_.clear(); }

 private:
  std::string path_;
};

bool writeAll(int fd, const std::vector<unsigned char>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    done += static_cast<size_t>(written);
  }
  return true;
}

}  // namespace

std::vector<unsigned char> makeMask(const std::vector<unsigned char>& oldBytes,
                                    const std::vector<unsigned char>& newBytes) {
  const size_t length = oldBytes.size() > newBytes.size() ? oldBytes.size() : newBytes.size();
  std::vector<unsigned char> mask(length, 0);
  for (size_t i = 0; i < oldBytes.size(); ++i) mask[i] = oldBytes[i];
  for (size_t i = 0; i < newBytes.size(); ++i) mask[i] ^= newBytes[i];
  return mask;
}

bool compressMask(const std::vector<unsigned char>& mask, std::vector<unsigned char>* stream) {
  stream->clear();
  uLongf size = compressBound(static_cast<uLong>(mask.size()));
  std::vector<unsigned char> out(size);
  if (compress2(out.data(), &size, mask.data(), static_cast<uLong>(mask.size()), 9) != Z_OK) {
    return false;
  }
  out.resize(size);
  *stream = std::move(out);
  return true;
}

bool readWholeFile(const std::string& path, std::vector<unsigned char>* bytes, std::string* error) {
  bytes->clear();
  UniqueFile file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    *error = describe("cannot open", path);
    return false;
  }
  struct stat status {};
  if (::fstat(fileno(file.get()), &status) != 0) {
    *error = describe("cannot read", path);
    return false;
  }
  if (!S_ISREG(status.st_mode)) {
    *error = path + " is not a regular file";
    return false;
  }
  if (fseeko(file.get(), 0, SEEK_END) != 0) {
    *error = describe("cannot read", path);
    return false;
  }
  const off_t length = ftello(file.get());
  if (length < 0) {
    *error = describe("cannot read", path);
    return false;
  }
  if (length > kMaxPayloadFileLength) {
    *error = path + " is " + std::to_string(length) + " bytes long; at most " +
             std::to_string(kMaxPayloadFileLength) + " bytes are allowed";
    return false;
  }
  std::rewind(file.get());
  std::vector<unsigned char> content(static_cast<size_t>(length));
  errno = 0;
  const size_t got = std::fread(content.data(), 1, content.size(), file.get());
  // One more read must find the end: a file that changed length while being read is refused.
  unsigned char probe = 0;
  if (got != content.size() || std::ferror(file.get()) ||
      std::fread(&probe, 1, 1, file.get()) != 0) {
    *error = errno != 0 ? describe("cannot read", path) : "cannot read " + path + " completely";
    return false;
  }
  *bytes = std::move(content);
  return true;
}

bool makePayloadFile(const std::string& oldPath, const std::string& newPath,
                     const std::string& outPath, std::string* error) {
  std::vector<unsigned char> oldBytes;
  std::vector<unsigned char> newBytes;
  if (!readWholeFile(oldPath, &oldBytes, error) || !readWholeFile(newPath, &newBytes, error)) {
    return false;
  }
  std::vector<unsigned char> stream;
  if (!compressMask(makeMask(oldBytes, newBytes), &stream)) {
    *error = "zlib could not compress the mask of " + oldPath + " and " + newPath;
    return false;
  }

  std::string temporaryPath = outPath + ".tmp-XXXXXX";
  const int fd = mkstemp(temporaryPath.data());
  if (fd < 0) {
    *error = describe("cannot create a temporary file beside", outPath);
    return false;
  }
  TemporaryFile temporary(temporaryPath);
  // mkstemp makes the file readable by its owner only; a payload is ordinary build output.
  bool ok = writeAll(fd, stream) && ::fchmod(fd, 0644) == 0 && ::fsync(fd) == 0;
  int savedErrno = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    savedErrno = errno;
  }
  if (!ok) {
    errno = savedErrno;
    *error = describe("cannot write", temporaryPath);
    return false;
  }
  if (std::rename(temporaryPath.c_str(), outPath.c_str()) != 0) {
    *error = describe("cannot rename " + temporaryPath + " to", outPath);
    return false;
  }
  temporary.release();
  return true;
}
