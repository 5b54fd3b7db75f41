#include "scene_state.h"

#include <cstring>

namespace kestrova {

SceneState::SceneState() { sequenceNames[0] = kNothingSelected; }

void BuildFaceGrid(SceneState& scene) {
  for (int p = 0; p < kGridSize; ++p) {
    for (int q = 0; q < kGridSize; ++q) {
      scene.faceGrid[p][q] = {static_cast<float>(p) / 5.0f - 4.5f,
                              static_cast<float>(q) / 5.0f - 4.5f, 0.0f};
    }
  }
}

bool FormatVersionAtLeast(const std::string& formatVersion, unsigned char code) {
  const char other[2] = {static_cast<char>(code), '\0'};
  // Byte-wise like strcmp: the empty string is below every one-character one.
  return std::strcmp(formatVersion.c_str(), other) >= 0;
}

int IntroPositionAtStart(int profileValue, const std::string& flagBytes,
                         const SceneState& scene) {
  long long index = static_cast<long long>(profileValue) + 1;
  // The marker is read into an 8-byte buffer: anything longer never equals "True".
  const std::string head = flagBytes.substr(0, 8);
  if (std::strcmp(head.c_str(), "True") == 0) index = 1;
  // Out of the list (a stale profile value, or the list shrank) wraps too, so
  // the intro never indexes past its names.
  if (index < 1 || index > scene.sequenceCount || index >= kSequenceCapacity ||
      scene.sequenceNames[static_cast<size_t>(index)] == kEndMarker) {
    index = 1;
  }
  return static_cast<int>(index);
}

}  // namespace kestrova

#include "model.h"

namespace kestrova {

ProductModels& Models() {
  static ProductModels models;
  return models;
}

}  // namespace kestrova
