#pragma once
// Files the program keeps in its own folder between runs.
#include <optional>
#include <string>

#include "scene/scene_state.h"

namespace kestrova {

constexpr const char* kStartMarkerFile = "Flag.txt";

// Where the program's assets are: "../share/kestrova" from an installed
// executable's folder, else that folder itself (the build's program folder).
std::string FindDataFolder(const std::string& executableFolder);

// The first 8 bytes of "Flag.txt" in `folder`, or nothing when it is missing.
std::optional<std::string> ReadStartMarker(const std::string& folder);

// Creates or truncates "Flag.txt" with exactly `text` (no line end).
bool WriteStartMarker(const std::string& folder, const std::string& text);

// Lists the Sequences folder of `programFolder`, and the user's own presets
// in `userSequences` when one is named, into scene.sequenceNames: entry 0
// "Nothing Selected", then the names whose extension is exactly "TSMR",
// sorted byte-wise so the end marker comes last, at most 1023 of them.
// Leaves the Sequences folder as the current directory. Returns sequenceCount.
int ListSequences(const std::string& programFolder, SceneState& scene, const std::string& userSequences = {});

// The file of listed entry `index`: the user's preset when there is one of
// that name, else "Sequences/<name>" from the program folder.
std::string SequencePath(const SceneState& scene, int index, const std::string& userSequences = {});

}  // namespace kestrova
