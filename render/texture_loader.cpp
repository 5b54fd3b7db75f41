#include "texture_loader.h"

#include <GL/gl.h>
#include <sys/stat.h>

#include <deque>
#include <memory>
#include <mutex>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include "pictures/picture.h"
#include "res/builtin_bitmap.h"

namespace kestrova {

namespace fs = std::filesystem;

// The helper draws at most this side; a texture of it is 256 MB.
constexpr int kMaxDrawingTexture = 8192;

// Every kind the program reads in one entry first, so a cover in any
// format shows without changing the filter; then one entry a kind.
const char* const kImageFilter =
    "All pictures (*.jpg;*.jpeg;*.bmp;*.gif;*.wmf;*.ico;*.emf;*.png;*.webp;*.tif;*.tiff;*.svg;*.pdf;*.psd;*.psb)|"
    "*.jpg;*.jpeg;*.bmp;*.gif;*.wmf;*.ico;*.emf;*.png;*.webp;*.tif;*.tiff;*.svg;*.pdf;*.psd;*.psb|"
    "Jpg Texture Files (*.jpg)|*.jpg|Jpeg Texture Files (*.jpeg)|*.jpeg|BMP Texture Files "
    "(*.bmp)|*.bmp|Gif Texture Files (*.gif)|*.gif|WMF Files (*.wmf)|*.wmf|ICON Files "
    "(*.ico)|*.ico|EMF Files (*.emf)|*.emf|PNG Files (*.png)|*.png|WebP Files (*.webp)|*.webp|TIFF Files "
    "(*.tif;*.tiff)|*.tif;*.tiff|SVG Drawings (*.svg)|*.svg|PDF Documents (*.pdf)|*.pdf|Photoshop Files "
    "(*.psd;*.psb)|*.psd;*.psb|All files (*.*)|*.*||";

namespace {

struct FaceDialog {
  FaceRequest face;
  const char* title;
  const char* prefix;
  int nameIndex;    // -1: the face has no stored name
  int lengthIndex;  // -1: no stored length
  TextureSlot slot;
};

constexpr FaceDialog kFaceDialogs[] = {
    {FaceRequest::BoxFront, "Select Back Texture", "Boxes/", kNameBoxFront, kLengthBoxFront, kSlotBoxFront},
    {FaceRequest::BoxBack, "Select Back Texture", "Boxes/", kNameBoxBack, kLengthBoxBack, kSlotBoxBack},
    {FaceRequest::BoxLeft, "Select Back Texture", "Boxes/", kNameBoxLeft, kLengthBoxLeft, kSlotBoxLeft},
    {FaceRequest::BoxRight, "Select Back Texture", "Boxes/", kNameBoxRight, kLengthBoxRight, kSlotBoxRight},
    {FaceRequest::BoxTop, "Select Back Texture", "Boxes/", kNameBoxTop, kLengthBoxTop, kSlotBoxTop},
    {FaceRequest::BoxBottom, "Select Back Texture", "Boxes/", kNameBoxBottom, kLengthBoxBottom, kSlotBoxBottom},
    {FaceRequest::BookFront, "Select Back Texture", "Books/", kNameBookFront, kLengthBookFront, kSlotBookFront},
    {FaceRequest::BookBack, "Select Back Texture", "Books/", kNameBookBack, kLengthBookBack, kSlotBookBack},
    {FaceRequest::BookSpine, "Select Left Texture", "Books/", kNameBookSpine, kLengthBookSpine, kSlotBookSpine},
    // The paperback's page faces have a slot but no stored name.
    {FaceRequest::BookRight, "Select Page Texture", "Books/", -1, -1, kSlotBookPage1},
    {FaceRequest::BookTop, "Select Page Texture", "Books/", -1, -1, kSlotBookPage2},
    {FaceRequest::BookBottom, "Select Page Texture", "Books/", -1, -1, kSlotBookPage3},
    {FaceRequest::Mug, "Select Left Texture", "Mug/", kNameMug, kLengthMug, kSlotMug},
};

const FaceDialog& dialogFor(FaceRequest face) {
  for (const FaceDialog& dialog : kFaceDialogs) {
    if (dialog.face == face) return dialog;
  }
  return kFaceDialogs[0];
}

void replaceSlot(uint32_t& slot, GLuint name) {
  // Replaced texture names are released, not leaked.
  if (slot != 0 && glIsTexture(slot)) {
    const GLuint old = slot;
    glDeleteTextures(1, &old);
  }
  slot = name;
}

}  // namespace

bool BoundTextureSize(uint32_t texture, int* width, int* height) {
  if (texture == 0 || !glIsTexture(texture)) return false;
  glBindTexture(GL_TEXTURE_2D, texture);
  GLint w = 0, h = 0;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
  if (w < 1 || h < 1) return false;
  *width = w;
  *height = h;
  return true;
}

int TextureDimension(int pixels, int maxTextureSize) { return NearestPowerOfTwo(pixels, maxTextureSize); }

std::vector<uint8_t> TexturePixels(RgbaImage&& stretched) {
  std::vector<uint8_t> out = std::move(stretched.pixels);
  // The GL's first row is the picture's bottom.
  FlipRowsInPlace(out.data(), static_cast<size_t>(stretched.width) * 4, stretched.height);
  for (size_t i = 0; i < out.size(); i += 4) {
    out[i + 3] = (out[i] == 0 && out[i + 1] == 0 && out[i + 2] == 0) ? 0 : 255;
  }
  return out;
}

std::vector<uint8_t> TexturePixels(const RgbaImage& stretched) { return TexturePixels(RgbaImage(stretched)); }

namespace {

// The GL's largest texture, at least 64 (the smallest every GL takes).
GLint glTextureLimit() {
  GLint maxSize = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
  return std::max<GLint>(maxSize, 64);
}

}  // namespace

int DrawingTextureLimit() { return std::min<GLint>(glTextureLimit(), kMaxDrawingTexture); }

// The pixel budget of one face: larger pictures are drawn smaller, so a
// tiny file claiming a huge picture costs no more than a real cover.
int FaceTextureLimit() { return std::min<GLint>(glTextureLimit(), kMaxFaceTexture); }

namespace {

struct KeptTexture {
  std::string key;
  std::shared_ptr<const PreparedTexture> texture;
};

// Pictures are prepared on two threads at once: the keeper has a lock.
struct TextureKeeper {
  std::mutex lock;
  size_t budget = 0;
  size_t used = 0;
  std::deque<KeptTexture> kept;  // least recently used first

  void trim() {
    while (used > budget && !kept.empty()) {
      used -= kept.front().texture->pixels.size();
      kept.pop_front();
    }
  }
};

TextureKeeper& keeper() {
  static TextureKeeper instance;
  return instance;
}

// Name, size, modification time and the size asked for: a picture saved
// again is a new picture.
std::string keepKey(const std::string& path, int maxSize, int drawingSide) {
  struct stat info {};
  if (IsWebPictureName(path) || ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
  return path + '\n' + std::to_string(info.st_size) + '\n' + std::to_string(info.st_mtim.tv_sec) + '.' +
         std::to_string(info.st_mtim.tv_nsec) + '\n' + std::to_string(maxSize) + '\n' +
         std::to_string(drawingSide);
}

PreparedTexture prepareFresh(const std::string& path, int maxSize, int drawingSide);

}  // namespace

void KeepPreparedTextures(size_t budgetBytes) {
  TextureKeeper& k = keeper();
  const std::lock_guard<std::mutex> hold(k.lock);
  k.budget = budgetBytes;
  k.trim();
}

std::shared_ptr<const PreparedTexture> PrepareTextureShared(const std::string& path, int maxSize, int drawingSide) {
  TextureKeeper& k = keeper();
  std::string key;
  {
    const std::lock_guard<std::mutex> hold(k.lock);
    if (k.budget > 0) key = keepKey(path, maxSize, drawingSide);
    for (auto it = k.kept.begin(); !key.empty() && it != k.kept.end(); ++it) {
      if (it->key != key) continue;
      // Least recently used goes first: a cover every row uses stays.
      KeptTexture found = *it;
      k.kept.erase(it);
      k.kept.push_back(found);
      return found.texture;
    }
  }
  auto prepared = std::make_shared<const PreparedTexture>(prepareFresh(path, maxSize, drawingSide));
  if (!key.empty() && !prepared->pixels.empty()) {
    const std::lock_guard<std::mutex> hold(k.lock);
    if (prepared->pixels.size() <= k.budget) {
      k.kept.push_back({key, prepared});
      k.used += prepared->pixels.size();
      k.trim();
    }
  }
  return prepared;
}

PreparedTexture PrepareTexture(const std::string& path, int maxSize, int drawingSide) {
  return *PrepareTextureShared(path, maxSize, drawingSide);
}

namespace {

PreparedTexture prepareFresh(const std::string& path, int maxSize, int drawingSide) {
  PreparedTexture prepared;
  prepared.path = path;
  // A drawing is drawn at the size asked for, its shape kept: the longer
  // side at drawingSide, the other in proportion.
  const int side = TextureDimension(std::max(drawingSide, 1), kMaxDrawingTexture);
  PictureResult decoded = LoadPicture(path, side);
  if (!decoded.picture) {
    prepared.error = decoded.error;
    return prepared;
  }
  const Picture& picture = *decoded.picture;
  int width = TextureDimension(HimetricToPixels(picture.himetricWidth()), maxSize);
  int height = TextureDimension(HimetricToPixels(picture.himetricHeight()), maxSize);
  if (picture.scalable()) {
    FitDrawing(picture.himetricWidth(), picture.himetricHeight(), side, &width, &height);
    prepared.scalable = true;
  }
  RgbaImage stretched = picture.render(width, height);
  if (stretched.width != width || stretched.height != height) {
    prepared.error = path + " could not be drawn at " + std::to_string(width) + " x " + std::to_string(height) +
                     " pixels.";
    return prepared;
  }
  prepared.himetricWidth = picture.himetricWidth();
  prepared.himetricHeight = picture.himetricHeight();
  decoded.picture.reset();  // its pixels are no longer needed: the peak is one picture, not two
  prepared.width = width;
  prepared.height = height;
  prepared.pixels = TexturePixels(std::move(stretched));
  return prepared;
}

}  // namespace

bool UploadTexture(SceneState& scene, const PreparedTexture& prepared, uint32_t& slot, std::string* error) {
  if (prepared.pixels.empty()) {
    if (error) *error = prepared.error;
    return false;
  }
  GLuint texture = 0;
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, prepared.width, prepared.height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
               prepared.pixels.data());
  if (glGetError() != GL_NO_ERROR) {
    glDeleteTextures(1, &texture);
    if (error) *error = "The graphics driver refused a " + std::to_string(prepared.width) + " x " +
                        std::to_string(prepared.height) + " texture for " + prepared.path + ".";
    return false;
  }
  replaceSlot(slot, texture);
  scene.pictureWidth[0] = prepared.himetricWidth;
  scene.pictureHeight[0] = prepared.himetricHeight;
  const auto index = &slot - scene.textureSlot.data();
  if (index >= 0 && index < kTextureSlotCount) {
    scene.artwork[static_cast<size_t>(index)] = {prepared.path, HimetricToPixels(prepared.himetricWidth),
                                                 HimetricToPixels(prepared.himetricHeight), prepared.scalable,
                                                 prepared.width, prepared.height};
  }
  return true;
}

namespace {

TextureLoadObserver& loadObserver() {
  static TextureLoadObserver observer;
  return observer;
}

}  // namespace

void ObserveTextureLoads(TextureLoadObserver observer) { loadObserver() = std::move(observer); }

bool LoadTexture(SceneState& scene, const std::string& name, uint32_t& slot, std::string* error, int drawingSide) {
  std::string path;
  if (scene.imagePathIsAbsolute >= 2.0f || IsWebPictureName(name)) {
    path = name;
  } else {
    // Joined as text: a stored "/x/y.jpg" stays under the current directory
    // (path's operator/ would make it absolute).
    std::error_code ignored;
    path = fs::current_path(ignored).string() + "/" + name;
  }
  const bool loaded =
      UploadTexture(scene, *PrepareTextureShared(path, FaceTextureLimit(), std::min(drawingSide, DrawingTextureLimit())),
                    slot, error);
  const auto index = &slot - scene.textureSlot.data();
  if (loaded && loadObserver() && index >= 0 && index < kTextureSlotCount && !IsWebPictureName(path)) {
    loadObserver()(scene, static_cast<int>(index), path);
  }
  return loaded;
}

void SharpenDrawings(SceneState& scene, const std::array<int, kTextureSlotCount>& needs) {
  const int limit = DrawingTextureLimit();
  for (size_t slot = 0; slot < scene.artwork.size(); ++slot) {
    const FaceArtwork artwork = scene.artwork[slot];
    if (!artwork.scalable || artwork.path.empty() || needs[slot] <= 0) continue;
    const int side = TextureDimension(std::min(needs[slot], limit), limit);
    if (side <= std::max(artwork.textureWidth, artwork.textureHeight)) continue;
    // Drawn again from the file it came from; a failure keeps the picture it has.
    const int32_t keptWidth = scene.pictureWidth[0];
    const int32_t keptHeight = scene.pictureHeight[0];
    if (!UploadTexture(scene, *PrepareTextureShared(artwork.path, FaceTextureLimit(), side), scene.textureSlot[slot])) {
      scene.artwork[slot].stuck = true;  // the artwork check reports it at the size it has
    }
    scene.pictureWidth[0] = keptWidth;
    scene.pictureHeight[0] = keptHeight;
  }
}

bool LoadBitmapTexture(uint32_t& slot) {
  const std::vector<uint8_t> bgr = BuiltinBitmapBgr();
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  GLuint texture = 0;
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  gluBuild2DMipmaps(GL_TEXTURE_2D, 3, kBuiltinBitmapSize, kBuiltinBitmapSize, GL_BGR_EXT,
                    GL_UNSIGNED_BYTE, bgr.data());
  replaceSlot(slot, texture);
  return true;
}

bool SelectFaceImage(SceneState& scene, FaceRequest face, const AskForImage& ask, std::string* error) {
  const FaceDialog& dialog = dialogFor(face);
  const std::optional<std::string> chosen = ask({dialog.title, kImageFilter, "jpg"});
  if (!chosen || chosen->empty()) return true;  // cancelled: nothing changes

  const std::string fileName = fs::path(*chosen).filename().string();
  // The previous values stay if the file cannot be loaded: a failed pick must
  // not leave a project pointing at an image that never showed.
  const float previousAbsolute = scene.imagePathIsAbsolute;
  scene.imagePathIsAbsolute = 2.0f;
  uint32_t& slot = scene.textureSlot[static_cast<size_t>(dialog.slot)];
  if (!LoadTexture(scene, *chosen, slot, error)) {
    scene.imagePathIsAbsolute = previousAbsolute;
    return false;
  }
  if (dialog.nameIndex >= 0) {
    scene.textureName[static_cast<size_t>(dialog.nameIndex)] = dialog.prefix + fileName;
  }
  if (dialog.lengthIndex >= 0) {
    scene.textureNameLength[static_cast<size_t>(dialog.lengthIndex)] =
        static_cast<float>(chosen->size());
  }
  return true;
}

void LoadDefaultBoxTextures(SceneState& scene) {
  static const std::pair<const char*, TextureSlot> kDefaults[] = {
      {"Boxes/standard-box-front.jpg", kSlotBoxFront},
      {"Boxes/standard-box-back.jpg", kSlotBoxBack},
      {"Boxes/standard-box-left.jpg", kSlotBoxLeft},
      {"Boxes/standard-box-right.jpg", kSlotBoxRight},
      {"Boxes/standard-box-top.jpg", kSlotBoxTop},
      {"Boxes/standard-box-bottom.jpg", kSlotBoxBottom},
  };
  for (const auto& [name, slot] : kDefaults) {
    LoadTexture(scene, name, scene.textureSlot[static_cast<size_t>(slot)]);
  }
}

const FaceArtwork* FullerArtwork(const SceneState& scene, uint32_t texture, int width, int height) {
  for (size_t slot = 0; slot < scene.textureSlot.size(); ++slot) {
    const FaceArtwork& a = scene.artwork[slot];
    if (scene.textureSlot[slot] != texture || a.path.empty() || a.scalable || IsWebPictureName(a.path)) continue;
    if (a.width > 0 && a.height > 0 && (a.width > width || a.height > height)) return &a;
  }
  return nullptr;
}

bool IsProgramPageEdges(const SceneState& scene, uint32_t texture) {
  if (texture == 0) return false;
  for (size_t slot = 0; slot < scene.textureSlot.size(); ++slot) {
    const std::string& path = scene.artwork[slot].path;
    if (scene.textureSlot[slot] != texture || path.empty()) continue;
    const std::string own = "Books/ePage.jpg";
    return path == own || (path.size() > own.size() && path.compare(path.size() - own.size() - 1, std::string::npos,
                                                                      "/" + own) == 0);
  }
  return false;
}

RgbaImage PageEdgeLines() {
  // A leaf every eight texels, 128 across the block: each leaf's edge a
  // shade of its own, the gap between two leaves darker, every eighth leaf
  // (a folded section) darker still, so lines still show once the picture
  // is shrunk. Nothing varies along the pages: that was the criss-cross of
  // the classic picture's grain.
  constexpr int kWidth = 1024, kHeight = 4, kLeaf = 8;
  RgbaImage image{kWidth, kHeight, std::vector<uint8_t>(static_cast<size_t>(kWidth) * kHeight * 4)};
  uint32_t seed = 20261209u;
  auto next = [&seed](int range) { return static_cast<int>(((seed = seed * 1664525u + 1013904223u) >> 16) % range); };
  std::vector<int> shade(kWidth);
  for (int leaf = 0; leaf * kLeaf < kWidth; ++leaf) {
    const int tone = next(7) - 3;
    for (int i = 0; i < kLeaf; ++i) shade[static_cast<size_t>(leaf * kLeaf + i)] = tone;
    const int gap = 18 + next(10) + (leaf % 8 == 0 ? 14 : 0);
    shade[static_cast<size_t>(leaf * kLeaf)] -= gap;
    shade[static_cast<size_t>(leaf * kLeaf + 1)] -= gap / 3;
  }
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      uint8_t* p = image.pixels.data() + (static_cast<size_t>(y) * kWidth + x) * 4;
      const int t = shade[static_cast<size_t>(x)];
      p[0] = static_cast<uint8_t>(std::clamp(246 + t, 0, 255));
      p[1] = static_cast<uint8_t>(std::clamp(240 + t, 0, 255));
      p[2] = static_cast<uint8_t>(std::clamp(226 + t, 0, 255));
      p[3] = 255;
    }
  }
  return image;
}

}  // namespace kestrova

namespace kestrova {

RgbaImage TabWithTitle(const std::string& title, int width, int height) {
  QImage tab(width, height, QImage::Format_RGBA8888);
  tab.fill(Qt::white);
  if (!title.empty() && qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    // The font ships with the program's packages, the same on every
    // machine.
    static const QString family = [] {
      const int id = QFontDatabase::addApplicationFont("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
      const QStringList families = id >= 0 ? QFontDatabase::applicationFontFamilies(id) : QStringList();
      return families.isEmpty() ? QString("DejaVu Sans") : families.front();
    }();
    QPainter painter(&tab);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QFont font(family);
    font.setPixelSize(std::max(6, height * 4 / 10));
    painter.setFont(font);
    painter.setPen(QColor(0x20, 0x21, 0x24));
    const QRectF room(height * 0.4, 0, width - height * 0.8, height);
    const QString text = QFontMetricsF(font).elidedText(QString::fromStdString(title), Qt::ElideRight, room.width());
    painter.drawText(room, Qt::AlignVCenter | Qt::AlignLeft, text);
  }
  RgbaImage out;
  out.width = width;
  out.height = height;
  out.pixels.resize(static_cast<size_t>(width) * height * 4);
  for (int y = 0; y < height; ++y) std::copy(tab.constScanLine(y), tab.constScanLine(y) + width * 4, &out.pixels[static_cast<size_t>(y) * width * 4]);
  return out;
}

}  // namespace kestrova
