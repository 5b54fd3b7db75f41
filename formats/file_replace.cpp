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

// This machine's name as our temporaries record it: letters, digits, dots
// and dashes, so it reads back from a file name unchanged.
std::string hostTag() {
  char name[256] = {};
  ::gethostname(name, sizeof name - 1);
  std::string tag;
  for (const char* c = name; *c && tag.size() < 32; ++c) {
    const bool plain = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9') ||
                       *c == '.' || *c == '-';
    tag += plain ? *c : '_';
  }
  return tag.empty() ? "host" : tag;
}

bool isSuffixCharacter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

// The process that made `name`, when it is exactly one of our temporaries
// for `prefix`'s target made on this machine: prefix, pid, "@", this host,
// "-" and mkstemp's six characters. 0 for anything else: another host's
// process cannot be asked whether it still runs.
long ownerOf(const std::string& name, const std::string& prefix, const std::string& host) {
  if (name.compare(0, prefix.size(), prefix) != 0) return 0;
  size_t at = prefix.size();
  long pid = 0;
  const size_t digits = at;
  while (at < name.size() && name[at] >= '0' && name[at] <= '9' && at - digits < 9) pid = pid * 10 + (name[at++] - '0');
  if (at == digits || at >= name.size() || name[at] != '@') return 0;
  if (name.compare(at + 1, host.size(), host) != 0) return 0;
  at += 1 + host.size();
  if (name.size() != at + 7 || name[at] != '-') return 0;
  for (size_t i = at + 1; i < name.size(); ++i) {
    if (!isSuffixCharacter(name[i])) return 0;
  }
  return pid;
}

// Our temporaries for the same target left by processes that are gone (a
// crash, a power cut): a live one belongs to a save still under way.
void removeStale(const std::string& path) {
  const std::string folder = folderOf(path);
  const std::string prefix = PendingPrefix(path);
  const std::string host = hostTag();
  DIR* entries = ::opendir(folder.c_str());
  if (!entries) return;
  while (const dirent* entry = ::readdir(entries)) {
    const std::string name = entry->d_name;
    const long pid = ownerOf(name, prefix, host);
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

// A link another user planted in a folder anyone may write to but only
// owners may delete from (/tmp): followed, it would have us replace a file
// of our own that its maker could not touch. The kernel's
// protected_symlinks rule, kept whatever the machine's setting.
bool plantedLink(const std::string& link, const struct stat& info) {
  struct stat folder {};
  if (::stat(folderOf(link).c_str(), &folder) != 0) return false;
  const bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
  return shared && info.st_uid != ::geteuid() && info.st_uid != folder.st_uid;
}

// The file a name stands for: a symbolic link's target (followed to the
// end), so writing through a link replaces the file and leaves the link.
// Empty for a link that must not be followed.
std::string followLinks(const std::string& path) {
  std::string at = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info {};
    if (::lstat(at.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return at;
    if (plantedLink(at, info)) return {};
    std::string target(static_cast<size_t>(info.st_size > 0 ? info.st_size : 4096) + 1, '\0');
    const ssize_t n = ::readlink(at.c_str(), target.data(), target.size());
    if (n <= 0 || static_cast<size_t>(n) >= target.size()) return at;
    target.resize(static_cast<size_t>(n));
    at = target[0] == '/' ? target : folderOf(at) + "/" + target;
  }
  return at;
}

}  // namespace

PendingFile::~PendingFile() { discard(); }

// The process's file-creation mask, read without changing it: another
// thread may be creating files meanwhile.
namespace {

mode_t currentUmask() {
  if (FILE* status = std::fopen("/proc/self/status", "re")) {
    char line[256];
    while (std::fgets(line, sizeof line, status)) {
      unsigned mask = 0;
      if (std::sscanf(line, "Umask: %o", &mask) == 1) {
        std::fclose(status);
        return static_cast<mode_t>(mask & 0777);
      }
    }
    std::fclose(status);
  }
  return 022;  // no /proc: the usual mask, rather than a race
}

}  // namespace

bool PendingFile::open(const std::string& named, std::string* reason, bool followLink) {
  discard();
  const std::string path = followLink ? followLinks(named) : named;
  if (path.empty()) {
    if (reason) *reason = "it is a link another user made in a shared folder";
    return false;
  }
  // A name the user gave replaces only a plain file: a rename over a
  // device, a pipe or a socket would take the name from what others use.
  // (The program's own files, named by the program, replace whatever sits
  // at their name.)
  struct stat target {};
  if (followLink && ::stat(path.c_str(), &target) == 0 && !S_ISREG(target.st_mode)) {
    if (reason) *reason = S_ISDIR(target.st_mode) ? "it is a folder" : "it is not a plain file (a device, a pipe or a socket)";
    return false;
  }
  // A file the user may not write is refused, as the shell refuses it,
  // though the folder would let a new file take its name.
  if (::access(path.c_str(), F_OK) == 0 && ::access(path.c_str(), W_OK) != 0) {
    if (reason) *reason = std::strerror(errno);
    return false;
  }
  removeStale(path);
  const std::string folder = folderOf(path);
  std::string pattern = (folder == "." && path.find('/') == std::string::npos ? std::string() : folder + "/") +
                        PendingPrefix(path) + std::to_string(::getpid()) + "@" + hostTag() + "-XXXXXX";
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
    mode = 0666 & ~currentUmask();
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

bool ReplaceFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string* reason, bool followLink) {
  PendingFile file;
  if (!file.open(path, reason, followLink)) return false;
  const int fd = file.takeDescriptor();
  bool ok = writeAll(fd, bytes);
  int failure = ok ? 0 : errno;
  // A network file system may report a failed write only at close.
  if (::close(fd) != 0 && ok) {
    ok = false;
    failure = errno;
  }
  if (!ok) {
    if (reason) *reason = std::strerror(failure ? failure : EIO);
    return false;  // the temporary goes with `file`
  }
  return file.commit(reason);
}

}  // namespace kestrova
