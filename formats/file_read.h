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
bool ReadRegularFile(const std::string& path, uint64_t maxBytes, std::vector<uint8_t>& bytes, std::string* reason);

// Project files are a few kilobytes; nothing near this is a project.
constexpr uint64_t kMaxProjectFileBytes = 64ull * 1024 * 1024;

}  // namespace kestrova
