#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace kestrova {

// Reads a whole regular file of at most `maxBytes`. Names from files and
// presets are untrusted: a FIFO, a device or a folder is refused without
// being read (a FIFO would block, a device never end). On failure `reason`
// says why in a few words ("not a regular file", "larger than 64 MB",
// strerror).
// `links`: whether a symbolic link is followed. The program's own state
// files (Flag.txt) are read only as themselves (ReadStateFile).
enum class Links { Follow, Refuse };
bool ReadRegularFile(const std::string& path, uint64_t maxBytes, std::vector<uint8_t>& bytes, std::string* reason,
                     Links links = Links::Follow);
inline bool ReadStateFile(const std::string& path, uint64_t maxBytes, std::vector<uint8_t>& bytes,
                          std::string* reason) {
  return ReadRegularFile(path, maxBytes, bytes, reason, Links::Refuse);
}

// A regular file opened for reading, refused as ReadRegularFile refuses, for
// readers that take it a piece at a time.
class RegularFile {
 public:
  RegularFile() = default;
  ~RegularFile();
  RegularFile(const RegularFile&) = delete;
  RegularFile& operator=(const RegularFile&) = delete;
  bool open(const std::string& path, uint64_t maxBytes, std::string* reason, Links links = Links::Follow);
  int descriptor() const { return fd_; }
  uint64_t size() const { return size_; }

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
};

// Project files are a few kilobytes; nothing near this is a project.
constexpr uint64_t kMaxProjectFileBytes = 64ull * 1024 * 1024;

}  // namespace kestrova
