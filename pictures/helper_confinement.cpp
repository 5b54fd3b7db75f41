#include "helper_confinement.h"

#include <fcntl.h>
#include <linux/landlock.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace kestrova {

namespace {

// The rights of later kernels than the headers this is built with know.
constexpr uint64_t kTruncate = 1ull << 14;  // version 3
constexpr uint64_t kIoctlDevice = 1ull << 15;  // version 5
constexpr uint64_t kBindTcp = 1ull << 0;  // version 4, network rights
constexpr uint64_t kConnectTcp = 1ull << 1;
constexpr uint64_t kScopeAbstractSocket = 1ull << 0;  // version 6
constexpr uint64_t kScopeSignal = 1ull << 1;

// The ruleset as version 6 spells it; older kernels are given the part
// they know by its size.
struct Ruleset {
  uint64_t handledFs = 0;
  uint64_t handledNet = 0;
  uint64_t scoped = 0;
};

struct __attribute__((packed)) PathBeneath {
  uint64_t allowed = 0;
  int32_t parentFd = -1;
};

constexpr uint64_t kReadFile = LANDLOCK_ACCESS_FS_READ_FILE;
constexpr uint64_t kReadFolder = LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR;

// Where the helper's libraries and their data live: the system's
// libraries, Qt's plugins, fonts and their configuration and caches,
// Poppler's character maps, ImageMagick's configuration.
const char* const kReadable[] = {
    "/usr/lib",  "/usr/lib64", "/lib", "/lib64", "/usr/local/lib", "/usr/share/fonts", "/usr/local/share/fonts",
    "/usr/share/fontconfig", "/etc/fonts", "/var/cache/fontconfig", "/usr/share/poppler",
    "/usr/share/ImageMagick-6", "/etc/ImageMagick-6", "/usr/share/color/icc", "/usr/share/X11/locale", "/usr/share/icu",
    "/etc/ld.so.cache", "/usr/share/zoneinfo", "/etc/localtime",
};

long version() { return ::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION); }

bool allow(int ruleset, const char* path, uint64_t handled) {
  const int fd = ::open(path, O_PATH | O_CLOEXEC);
  if (fd < 0) return false;  // not on this machine: nothing to allow
  struct stat info {};
  const bool folder = ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
  PathBeneath rule;
  rule.allowed = (folder ? kReadFolder : kReadFile) & handled;
  rule.parentFd = fd;
  const long done = ::syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &rule, 0);
  ::close(fd);
  return done == 0;
}

}  // namespace

Confinement ConfineToLibraries(const std::string& ownFolder) {
  Confinement result;
  const long abi = version();
  if (abi < 1) {
    result.said = "not confined: this kernel offers no Landlock (" + std::string(errno == ENOSYS ? "not built in"
                                                                                                   : "switched off") +
                  ")";
    return result;
  }
  result.abi = static_cast<int>(abi);
  Ruleset ruleset;
  // Every right the kernel knows is handled, so only what is allowed below
  // remains: reading the listed folders.
  ruleset.handledFs = (LANDLOCK_ACCESS_FS_REFER << 1) - 1;
  if (abi < 2) ruleset.handledFs &= ~static_cast<uint64_t>(LANDLOCK_ACCESS_FS_REFER);
  if (abi >= 3) ruleset.handledFs |= kTruncate;
  if (abi >= 5) ruleset.handledFs |= kIoctlDevice;
  size_t size = sizeof ruleset.handledFs;
  if (abi >= 4) {
    ruleset.handledNet = kBindTcp | kConnectTcp;
    size += sizeof ruleset.handledNet;
  }
  if (abi >= 6) {
    ruleset.scoped = kScopeAbstractSocket | kScopeSignal;
    size += sizeof ruleset.scoped;
  }
  const int fd = static_cast<int>(::syscall(SYS_landlock_create_ruleset, &ruleset, size, 0));
  if (fd < 0) {
    result.said = "not confined: Landlock refused the rules (errno " + std::to_string(errno) + ")";
    return result;
  }
  for (const char* path : kReadable) allow(fd, path, ruleset.handledFs);
  if (!ownFolder.empty()) allow(fd, ownFolder.c_str(), ruleset.handledFs);
  if (const char* home = std::getenv("HOME")) {
    allow(fd, (std::string(home) + "/.cache/fontconfig").c_str(), ruleset.handledFs);
    allow(fd, (std::string(home) + "/.local/share/fonts").c_str(), ruleset.handledFs);
    allow(fd, (std::string(home) + "/.fonts").c_str(), ruleset.handledFs);
  }
  if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || ::syscall(SYS_landlock_restrict_self, fd, 0) != 0) {
    result.said = "not confined: Landlock could not be applied (errno " + std::to_string(errno) + ")";
    ::close(fd);
    return result;
  }
  ::close(fd);
  result.confined = true;
  result.said = "confined by Landlock (version " + std::to_string(abi) +
                "): reads only its libraries, fonts and players' data";
  return result;
}

}  // namespace kestrova
