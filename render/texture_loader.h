#pragma once
// Face images into GL textures. Needs the view's (or a headless) context
// current.
#include <cstdint>
#include <functional>
#include <optional>
#include <memory>
#include <string>
#include <vector>

#include "render/render_host.h"
#include "scene/rgba_image.h"
#include "scene/scene_state.h"

namespace kestrova {

// The largest side of a face texture, whatever the GL allows.
constexpr int kMaxFaceTexture = 4096;
// The longer side of a drawing's texture (SVG, PDF) unless a caller asks
// otherwise: sharp in any window up to that size.
constexpr int kDefaultDrawingSide = 2048;

// One texture dimension for a picture `pixels` wide: the nearest power of two
// on a log scale (300 -> 256, 400 -> 512), or the GL's maximum.
int TextureDimension(int pixels, int maxTextureSize);

// Binds `texture` to GL_TEXTURE_2D and reads its full size; false (the size
// left as it was) for no texture, a name that is none, or an empty one.
bool BoundTextureSize(uint32_t texture, int* width, int* height);

// The stretched picture as the GL wants it: rows bottom-up, RGBA, alpha 0 for
// pure black pixels (they become see-through) and 255 for every other.
std::vector<uint8_t> TexturePixels(const RgbaImage& stretched);
std::vector<uint8_t> TexturePixels(RgbaImage&& stretched);  // reuses the picture's memory

// The picture file a face's texture was shrunk from, when it has more
// pixels than the texture (`width` x `height`) kept: pictures of pixels
// only (drawings are drawn at the size shown already), never from the web.
// Null for none.
const FaceArtwork* FullerArtwork(const SceneState& scene, uint32_t texture, int width, int height);

// Whether `texture` holds the program's own page edges (Books/ePage.jpg).
bool IsProgramPageEdges(const SceneState& scene, uint32_t texture);

// The page edges as the studio look and the models draw them in place of
// the program's own (which the classic frame keeps): one line a leaf along
// the pages and nothing across them, rows top-down, RGBA. The picture's
// width runs across the block's thickness.
RgbaImage PageEdgeLines();

// A browser window's tab with `title` on it, width x height, rows from the
// top. Text needs a QGuiApplication (a command-line render makes one when
// there is a title to draw); without one the tab is plain.
RgbaImage TabWithTitle(const std::string& title, int width, int height);

// Loads a picture into `slot` (a new GL texture; the old one is deleted).
// Names holding "http://" or "https://" are fetched; others are taken from
// the current directory, or as they are when imagePathIsAbsolute >= 2. On
// success the picture's natural size goes to pictureWidth/Height[0]. On
// failure nothing changes, false is returned and `error` says why.
bool LoadTexture(SceneState& scene, const std::string& name, uint32_t& slot,
                 std::string* error = nullptr, int drawingSide = kDefaultDrawingSide);

// Draws every drawing of the shot (SVG, PDF) again where the faces
// `needs` asks for more pixels than its texture holds: `needs[slot]` is the
// longer side in pixels a slot's picture is shown at. Up to
// DrawingTextureLimit; pictures of pixels are left alone.
void SharpenDrawings(SceneState& scene, const std::array<int, kTextureSlotCount>& needs);

// Told of every picture LoadTexture puts into one of the scene's slots, with
// the file's full name: the window watches them for edits. Empty: no one.
using TextureLoadObserver = std::function<void(const SceneState& scene, int slot, const std::string& path)>;
void ObserveTextureLoads(TextureLoadObserver observer);

// LoadTexture in two steps, so pictures can be decoded on other threads
// while the GL is used on one: PrepareTexture reads, decodes and stretches
// a picture file (any thread; no GL), UploadTexture makes the texture.
struct PreparedTexture {
  std::string path;
  std::string error;  // when pixels is empty
  int width = 0;
  int height = 0;
  int himetricWidth = 0;
  int himetricHeight = 0;
  bool scalable = false;  // a drawing: `width` x `height` follow the drawing side asked for
  std::vector<uint8_t> pixels;  // as TexturePixels gives them
};
// The largest side a face texture may have here (needs the context).
int FaceTextureLimit();
// The largest side a drawing may be drawn at for a face (needs the context):
// past FaceTextureLimit, so vector artwork stays sharp in a large export.
int DrawingTextureLimit();
// `drawingSide`: the longer side a drawing (SVG, PDF) is drawn at, as a
// power of two; at most DrawingTextureLimit. Pictures of pixels ignore it.
PreparedTexture PrepareTexture(const std::string& path, int maxSize, int drawingSide = kDefaultDrawingSide);
// The same, shared: a kept picture is not copied.
std::shared_ptr<const PreparedTexture> PrepareTextureShared(const std::string& path, int maxSize,
                                                            int drawingSide = kDefaultDrawingSide);

// Keeps prepared pictures of local files, by name, size and modification
// time, up to `budgetBytes` of pixels (the least recently used go first), so
// a process drawing many shots decodes each picture once. 0 (the default)
// keeps none.
void KeepPreparedTextures(size_t budgetBytes);
bool UploadTexture(SceneState& scene, const PreparedTexture& prepared, uint32_t& slot, std::string* error = nullptr);

// The built-in 64 x 64 bitmap, mipmapped.
bool LoadBitmapTexture(uint32_t& slot);

// The image dialog a face request opens.
struct ImageDialogRequest {
  std::string title;
  std::string filter;
  std::string defaultExtension;
};
using AskForImage = std::function<std::optional<std::string>(const ImageDialogRequest&)>;

extern const char* const kImageFilter;

// Shows the face's dialog; on a chosen file stores the name (folder prefix +
// file name) and the full path's length, sets imagePathIsAbsolute to 2 and
// loads the file into the face's slot. Cancel changes nothing. Returns false
// (with `error`) only when a chosen file could not be loaded.
bool SelectFaceImage(SceneState& scene, FaceRequest face, const AskForImage& ask,
                     std::string* error = nullptr);

// The six default box images into the box slots (start-up and New).
void LoadDefaultBoxTextures(SceneState& scene);

}  // namespace kestrova
