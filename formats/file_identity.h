#pragma once
// Which file a name stands for, however it is reached: what a run reads
// and what it writes are compared by this, never by their spelling.
#include <filesystem>
#include <string>

namespace kestrova {

// `path` made absolute with every link along it followed, the last one
// too, even where a link points at nothing yet (a write through it would
// create its target): the place a write to `path` lands.
std::filesystem::path ResolvedPath(const std::filesystem::path& path);

// Device and inode where the file exists; else the place it would be
// created (ResolvedPath). Two names with one identity are one file.
std::string FileIdentity(const std::filesystem::path& path);

// Whether `path`, resolved, lies in `folder` (resolved) or below it, part
// by part (a folder "sheet" does not hold "sheet-other").
bool LiesWithin(const std::filesystem::path& folder, const std::filesystem::path& path);

}  // namespace kestrova
