#include "file_replace.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrova {

namespace {

std::string folderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool writeAll(int fd, const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::string PendingPrefix(const std::string& path) {
  const size_t slash = path.rfind('/');
  return "." + (slash == std::string::npos ? path : path.substr(slash + 1)) + ".kestrova-";
}

namespace {

// Our temporaries for the same target left by processes that are gone (a
// crash, a power cut): a live one belongs to a save still under way.
void removeStale(const std::string& path) {
  const std::string folder = folderOf(path);
  const std::string prefix = PendingPrefix(path);
  DIR* entries = ::opendir(folder.c_str());
  if (!entries) return;
  while (const dirent* entry = ::readdir(entries)) {
    const std::string name = entry->d_name;
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    const long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
    if (pid <= 0 || pid == ::getpid()) continue;
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;  // still running
    const std::string full = folder + "/" + name;
    struct stat info {};
    if (::lstat(full.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid()) {
      ::unlink(full.c_str());
    }
  }
  ::closedir(entries);
}

}  // namespace

PendingFile::~PendingFile() { discard(); }

bool PendingFile::open(const std::string& path, std::string* reason) {
  discard();
  removeStale(path);
  const std::string folder = folderOf(path);
  std::string pattern = (folder == "." && path.find('/') == std::string::npos ? std::string() : folder + "/") +
                        PendingPrefix(path) + std::to_string(::getpid()) + "-XXXXXX";
  fd_ = ::mkstemp(pattern.data());
  if (fd_ < 0) {
    if (reason) *reason = std::strerror(errno);
    return false;
  }
  path_ = path;
  temporary_ = pattern;
  return true;
}

int PendingFile::takeDescriptor() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

bool PendingFile::commit(std::string* reason) {
  if (temporary_.empty()) {
    if (reason) *reason = "nothing was written";
    return false;
  }
  // mkstemp makes 0600; keep the replaced file's mode, or the usual one.
  struct stat existing {};
  mode_t mode = 0;
  if (::stat(path_.c_str(), &existing) == 0) {
    mode = existing.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  int fd = fd_;
  fd_ = -1;
  if (fd < 0) fd = ::open(temporary_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  bool ok = fd >= 0 && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
  int failure = ok ? 0 : errno;
  if (fd >= 0 && ::close(fd) != 0 && ok) {
    ok = false;
    failure = errno;
  }
  if (ok && ::rename(temporary_.c_str(), path_.c_str()) != 0) {
    ok = false;
    failure = errno;
  }
  if (!ok) {
    discard();
    if (reason) *reason = std::strerror(failure ? failure : EIO);
    return false;
  }
  temporary_.clear();
  // The new name must reach the disk too.
  const int folder = ::open(folderOf(path_).c_str(), O_RDONLY | O_DIRECTORY);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
  return true;
}

void PendingFile::discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  temporary_.clear();
}

bool ReplaceFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string* reason) {
  PendingFile file;
  if (!file.open(path, reason)) return false;
  const int fd = file.takeDescriptor();
  bool ok = writeAll(fd, bytes);
  const int failure = ok ? 0 : errno;
  ::close(fd);
  if (!ok) {
    if (reason) *reason = std::strerror(failure ? failure : EIO);
    return false;  // the temporary goes with `file`
  }
  return file.commit(reason);
}

}  // namespace kestrova
