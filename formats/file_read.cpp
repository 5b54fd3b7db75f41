#include "file_read.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrova {

RegularFile::~RegularFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool RegularFile::open(const std::string& path, uint64_t maxBytes, std::string* reason, Links links) {
  auto fail = [reason](const std::string& why) {
    if (reason) *reason = why;
    return false;
  };
  // Non-blocking, so opening a FIFO returns at once; the type is checked on
  // what was opened, not on the name, so nothing can be swapped in between.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | (links == Links::Refuse ? O_NOFOLLOW : 0));
  if (fd < 0) return fail(errno == ELOOP ? "a symbolic link" : std::strerror(errno));
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return fail("not a regular file");
  }
  if (static_cast<uint64_t>(info.st_size) > maxBytes) {
    ::close(fd);
    return fail("larger than " + std::to_string(maxBytes / (1024 * 1024)) + " MB");
  }
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
  size_ = static_cast<uint64_t>(info.st_size);
  return true;
}

bool ReadRegularFile(const std::string& path, uint64_t maxBytes, std::vector<uint8_t>& bytes, std::string* reason,
                     Links links) {
  RegularFile file;
  if (!file.open(path, maxBytes, reason, links)) return false;
  bytes.resize(static_cast<size_t>(file.size()));
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::read(file.descriptor(), bytes.data() + done, bytes.size() - done);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) break;  // shrunk while read: what was there
    done += static_cast<size_t>(n);
  }
  bytes.resize(done);
  return true;
}

}  // namespace kestrova
