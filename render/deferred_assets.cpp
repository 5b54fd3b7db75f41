#include "deferred_assets.h"

#include <system_error>
#include <thread>
#include <vector>

#include "formats/model_3ds.h"
#include "pictures/picture.h"
#include "render/texture_loader.h"

namespace kestrova {

namespace {

struct DefaultPicture {
  TextureSlot slot;
  const char* name;
};

// In the order the full start-up loads them.
constexpr DefaultPicture kDefaults[] = {
    {kSlotBoxFront, "Boxes/standard-box-front.jpg"},   {kSlotBoxBack, "Boxes/standard-box-back.jpg"},
    {kSlotBoxLeft, "Boxes/standard-box-left.jpg"},     {kSlotBoxRight, "Boxes/standard-box-right.jpg"},
    {kSlotBoxTop, "Boxes/standard-box-top.jpg"},       {kSlotBoxBottom, "Boxes/standard-box-bottom.jpg"},
    {kSlotBookFront, "Books/standard-book-front.jpg"}, {kSlotBookBack, "Books/standard-book-back.jpg"},
    {kSlotBookSpine, "Books/standard-book-left.jpg"},  {kSlotBookPage1, "Books/ePage.jpg"},
    {kSlotBookPage2, "Books/ePage.jpg"},               {kSlotBookPage3, "Books/ePage.jpg"},
    {kSlotMugEnvironment, "Mug/Envroll.bmp"},          {kSlotMug, "Mug/MugTexture.jpg"},
};

constexpr uint32_t bit(TextureSlot slot) { return 1u << static_cast<unsigned>(slot); }

constexpr uint32_t kBoxSlots = bit(kSlotBoxFront) | bit(kSlotBoxBack) | bit(kSlotBoxLeft) | bit(kSlotBoxRight) |
                               bit(kSlotBoxTop) | bit(kSlotBoxBottom);
constexpr uint32_t kBookSlots = bit(kSlotBookFront) | bit(kSlotBookBack) | bit(kSlotBookSpine) |
                                bit(kSlotBookPage1) | bit(kSlotBookPage2) | bit(kSlotBookPage3);
constexpr uint32_t kMugSlots = bit(kSlotMug) | bit(kSlotMugEnvironment);

void loadModel(SceneState& scene, Model3DS& model, const char* name) {
  const ImportResult loaded = Import3DS(model, scene.deferred.folder + "/" + name);
  for (const LoaderMessage& message : loaded.messages) scene.deferred.messages.emplace_back(message.caption, message.text);
}

}  // namespace

std::optional<ShownProduct> ShownProductOf(float productKind) {
  // The frame's kind tests, "not less than, then not greater than": the
  // kinds of the style tables and of stored projects land where they
  // always did.
  auto isKind = [](float kind, float value) { return !(kind < value) && !(kind > value); };
  if (isKind(productKind, kProductBox)) return ShownProduct::Box;
  if (isKind(productKind, kProductScreenShot)) return ShownProduct::ScreenShot;
  if (isKind(productKind, kProductMug)) return ShownProduct::Mug;
  if (productKind <= 1.0f) return ShownProduct::Book;
  return std::nullopt;
}

void DeferStartupAssets(SceneState& scene, const std::string& programFolder) {
  scene.deferred.folder = programFolder;
  scene.deferred.pictures = kBoxSlots | kBookSlots | kMugSlots;
  scene.deferred.bookModels = true;
  scene.deferred.mugModel = true;
  int width = 0;
  int height = 0;
  if (ReadPictureSize(programFolder + "/Mug/MugTexture.jpg", &width, &height)) {
    scene.pictureWidth[0] = width;
    scene.pictureHeight[0] = height;
  }
}

void LoadAssetsFor(SceneState& scene, ShownProduct product) {
  SceneState::DeferredAssets& waiting = scene.deferred;
  if (waiting.pictures == 0 && !waiting.bookModels && !waiting.mugModel) return;
  uint32_t wanted = 0;
  bool book = false;
  bool mug = false;
  switch (product) {
    case ShownProduct::Box:
      wanted = kBoxSlots;
      break;
    case ShownProduct::ScreenShot:
      wanted = bit(kSlotBoxFront);
      break;
    case ShownProduct::Mug:
      wanted = kMugSlots;
      mug = true;
      break;
    case ShownProduct::Book:
      wanted = kBookSlots;
      book = true;
      break;
  }
  wanted &= waiting.pictures;
  if (wanted != 0) {
    // These load as if at start-up: the size the board takes from the last
    // picture loaded stays what the user's own loads made it.
    const int32_t width = scene.pictureWidth[0];
    const int32_t height = scene.pictureHeight[0];
    // Decoded two at a time (the machine's cores), uploaded here in order.
    std::vector<const DefaultPicture*> missing;
    for (const DefaultPicture& picture : kDefaults) {
      if ((wanted & bit(picture.slot)) != 0 && scene.textureSlot[static_cast<size_t>(picture.slot)] == 0) {
        missing.push_back(&picture);
      }
    }
    const int limit = FaceTextureLimit();
    std::vector<std::shared_ptr<const PreparedTexture>> prepared(missing.size());
    auto prepare = [&](size_t from, size_t step) {
      for (size_t i = from; i < missing.size(); i += step) {
        prepared[i] = PrepareTextureShared(waiting.folder + "/" + missing[i]->name, limit);
      }
    };
    std::thread helper;
    try {
      if (missing.size() > 1) helper = std::thread(prepare, size_t{1}, size_t{2});
    } catch (const std::system_error&) {
      // No second thread: this one does them all.
    }
    prepare(0, helper.joinable() ? 2 : 1);
    if (helper.joinable()) helper.join();
    for (size_t i = 0; i < missing.size(); ++i) {
      UploadTexture(scene, *prepared[i], scene.textureSlot[static_cast<size_t>(missing[i]->slot)]);
    }
    scene.pictureWidth[0] = width;
    scene.pictureHeight[0] = height;
    waiting.pictures &= ~wanted;
  }
  ProductModels& models = Models();
  if (book && waiting.bookModels) {
    waiting.bookModels = false;
    loadModel(scene, models.frontCover, "Books/FrontCover1.3ds");
    loadModel(scene, models.backCover, "Books/BackCover1.3ds");
    loadModel(scene, models.binder, "Books/Binder1.3ds");
    loadModel(scene, models.pages, "Books/Page1.3ds");
  }
  if (mug && waiting.mugModel) {
    waiting.mugModel = false;
    loadModel(scene, models.mug, "Mug/Coffee-Mug.3ds");
  }
}

}  // namespace kestrova
