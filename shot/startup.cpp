#include "startup.h"

#include <cstdlib>
#include <filesystem>

#include "shot/program_folder.h"
#include "render/deferred_assets.h"
#include "render/texture_loader.h"
#include "render/scene_initialiser.h"

namespace kestrova {

StartupResult InitialiseScene(SceneState& scene, const std::string& programFolder,
                              int profileValue, const StartupHooks& hooks) {
  StartupResult result;
  std::error_code ignored;
  std::filesystem::current_path(programFolder, ignored);
  auto slot = [&](TextureSlot s) -> uint32_t& { return scene.textureSlot[static_cast<size_t>(s)]; };

  LoadBitmapTexture(slot(kSlotBuiltin));
  if (hooks.deferAssets) {
    DeferStartupAssets(scene, programFolder);
    SetInitialGLState();
  } else {
    LoadDefaultBoxTextures(scene);
    LoadTexture(scene, "Books/standard-book-front.jpg", slot(kSlotBookFront));
    LoadTexture(scene, "Books/standard-book-back.jpg", slot(kSlotBookBack));
    LoadTexture(scene, "Books/standard-book-left.jpg", slot(kSlotBookSpine));
    for (TextureSlot page : {kSlotBookPage1, kSlotBookPage2, kSlotBookPage3}) {
      LoadTexture(scene, "Books/ePage.jpg", slot(page));
    }
    SetInitialGLState();

    ProductModels& models = Models();
    auto load = [&](Model3DS& model, const char* path) {
      const ImportResult loaded = Import3DS(model, path);
      result.messages.insert(result.messages.end(), loaded.messages.begin(), loaded.messages.end());
    };
    load(models.frontCover, "Books/FrontCover1.3ds");
    load(models.backCover, "Books/BackCover1.3ds");
    load(models.binder, "Books/Binder1.3ds");
    load(models.pages, "Books/Page1.3ds");
    LoadTexture(scene, "Mug/Envroll.bmp", slot(kSlotMugEnvironment));
    LoadTexture(scene, "Mug/MugTexture.jpg", slot(kSlotMug));
    load(models.mug, "Mug/Coffee-Mug.3ds");
  }

  SetInitialSceneValues(scene);

  scene.websiteLink() = kDesignHelpLink;
  ListSequences(programFolder, scene, hooks.userSequences);
  scene.randomSequence = scene.sequenceCount > 0 ? 1 + std::rand() % scene.sequenceCount : 1;
  scene.selectedPreset = scene.randomSequence;
  std::filesystem::current_path(programFolder, ignored);
  scene.programFolder = programFolder;

  const auto marker = ReadStartMarker(hooks.markerFolder.empty() ? programFolder : hooks.markerFolder);
  if (!marker) {
    // The intro does not start; the program runs on with what is set up.
    scene.sequenceIndex = profileValue + 1;
    result.markerMissing = true;
    return result;
  }
  scene.sequenceIndex = IntroPositionAtStart(profileValue, *marker, scene);
  if (hooks.playSample && scene.sequenceCount > 0) hooks.playSample(scene, scene.sequenceIndex);
  return result;
}

}  // namespace kestrova
