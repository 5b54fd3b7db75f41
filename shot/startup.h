#pragma once
// The scene initialiser: default images, GL state, start-up values and the
// introduction position. Needs the view's context current.
#include <functional>
#include <string>
#include <vector>

#include "formats/model_3ds.h"
#include "scene/scene_state.h"

namespace kestrova {

// The product's design-help page, where websiteLink starts.
constexpr const char* kDesignHelpLink = "http://www.kestrova.example/design-help.html";

struct StartupHooks {
  // Loads and plays sample `index` of sequenceNames.
  std::function<void(SceneState&, int)> playSample;
  // Where "Flag.txt" is read when it is not the program folder's own.
  std::string markerFolder;
  // The user's own presets, listed with the shipped samples.
  std::string userSequences;
  // Leave the products' pictures and models until a product that shows
  // them is drawn (render/deferred_assets.h); model messages then wait in
  // scene.deferred.messages.
  bool deferAssets = false;
};

struct StartupResult {
  bool markerMissing = false;  // "Flag.txt" could not be read: the intro did not start
  std::vector<LoaderMessage> messages;  // from the model loader, for the user
};

// `profileValue` is the stored intro position (1 when none is stored). Makes
// `programFolder` the current directory, as relative image names need.
StartupResult InitialiseScene(SceneState& scene, const std::string& programFolder,
                              int profileValue, const StartupHooks& hooks = {});

}  // namespace kestrova
