#include "program_folder.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "formats/file_read.h"
#include "formats/file_replace.h"

namespace kestrova {

std::string FindDataFolder(const std::string& executableFolder) {
  std::error_code ignored;
  const std::filesystem::path installed =
      std::filesystem::path(executableFolder).parent_path() / "share" / "kestrova";
  if (std::filesystem::is_directory(installed / "Sequences", ignored)) {
    return std::filesystem::weakly_canonical(installed, ignored).string();
  }
  return executableFolder;
}

namespace fs = std::filesystem;

// The marker is the program's own: read only as a regular file, never
// through a link (a FIFO there would hang the window for good), and
// replaced whole.
std::optional<std::string> ReadStartMarker(const std::string& folder) {
  std::vector<uint8_t> bytes;
  if (!ReadStateFile((fs::path(folder) / kStartMarkerFile).string(), 4096, bytes, nullptr)) return std::nullopt;
  return std::string(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(bytes.size(), 8)));
}

bool WriteStartMarker(const std::string& folder, const std::string& text) {
  return ReplaceFile((fs::path(folder) / kStartMarkerFile).string(), {text.begin(), text.end()}, nullptr,
                     /*followLink=*/false);
}

int ListSequences(const std::string& programFolder, SceneState& scene, const std::string& userSequences) {
  std::vector<std::string> names;
  std::error_code error;
  for (const fs::path& folder : {fs::path(programFolder) / "Sequences", fs::path(userSequences)}) {
    if (folder.empty()) continue;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
      const fs::path& path = it->path();
      if (path.extension() == ".TSMR" && it->is_regular_file(error)) {
        names.push_back(path.filename().string());
      }
    }
    error.clear();
  }
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  const size_t count = std::min<size_t>(names.size(), kSequenceCapacity - 1);
  scene.sequenceNames[0] = kNothingSelected;
  for (size_t i = 0; i < count; ++i) scene.sequenceNames[i + 1] = names[i];
  for (size_t i = count + 1; i < kSequenceCapacity; ++i) scene.sequenceNames[i].clear();
  scene.sequenceCount = static_cast<int32_t>(count);
  // The listing leaves the current directory in the Sequences folder; whoever
  // plays a listed file goes back to the program folder first.
  fs::current_path(fs::path(programFolder) / "Sequences", error);
  return scene.sequenceCount;
}

std::string SequencePath(const SceneState& scene, int index, const std::string& userSequences) {
  if (index < 0 || index >= kSequenceCapacity) return {};
  const std::string& name = scene.sequenceNames[static_cast<size_t>(index)];
  std::error_code ignored;
  if (!userSequences.empty() && fs::is_regular_file(fs::path(userSequences) / name, ignored)) {
    return (fs::path(userSequences) / name).string();
  }
  return "Sequences/" + name;
}

}  // namespace kestrova
