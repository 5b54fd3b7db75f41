#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace kestrova {

// Writes `bytes` to `path` through a new temporary file in the same folder.
// The temporary is created exclusively under a unique name, so a link or
// file planted there is never followed. It takes the permissions of the file
// it replaces (or the usual ones for a new file), and it is flushed to disk,
// with its folder, before it takes the name: a power cut leaves the old file
// or the new one. On failure the old file is untouched and `reason` says why.
bool ReplaceFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string* reason);

}  // namespace kestrova
