#include "render/cover_cut.h"

#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "pictures/cover_size.h"
#include "pictures/picture.h"
#include "render/studio/product_shapes.h"
#include "render/studio/studio_mesh.h"

namespace kestrova {

namespace {

// The face's picture as its texture holds it, from the picture as it shows:
// each texel from where the face's coordinates put it. Rows from the top,
// as a file holds them.
RgbaImage asTexture(const RgbaImage& shown, const studio::SidePictures::Side& frame) {
  const double det = frame.across[0] * frame.up[1] - frame.up[0] * frame.across[1];
  if (std::fabs(det) < 1e-12 || shown.width < 1) return shown;
  RgbaImage out;
  out.width = std::max(1, static_cast<int>(std::lround(std::fabs(frame.across[0]) * shown.width + std::fabs(frame.up[0]) * shown.height)));
  out.height = std::max(1, static_cast<int>(std::lround(std::fabs(frame.across[1]) * shown.width + std::fabs(frame.up[1]) * shown.height)));
  out.pixels.resize(static_cast<size_t>(out.width) * out.height * 4);
  for (int y = 0; y < out.height; ++y) {
    const double v = 1 - (y + 0.5) / out.height - frame.origin[1];
    for (int x = 0; x < out.width; ++x) {
      const double u = (x + 0.5) / out.width - frame.origin[0];
      const double a = (u * frame.up[1] - frame.up[0] * v) / det, b = (frame.across[0] * v - u * frame.across[1]) / det;
      const int sx = std::clamp(static_cast<int>(a * shown.width), 0, shown.width - 1);
      const int sy = std::clamp(static_cast<int>((1 - b) * shown.height), 0, shown.height - 1);
      std::copy_n(shown.at(sx, sy), 4, &out.pixels[(static_cast<size_t>(y) * out.width + x) * 4]);
    }
  }
  return out;
}

}  // namespace

bool CutWrap(SceneState& scene, const PrintTemplateRequest& request, const std::string& picture, const std::string& folder,
             std::vector<std::pair<TextureSlot, std::string>>* faces, std::string* error) {
  PrintLayout layout;
  if (!LayoutOfShot(scene, request, &layout, error)) return false;
  PictureResult decoded = LoadPicture(picture);
  if (!decoded.picture) {
    *error = "cannot read the cover " + picture + ": " + decoded.error;
    return false;
  }
  const double b = request.bleed, wide = layout.width + 2 * b, high = layout.height + 2 * b;
  int width = 0, height = 0;
  CoverPixels(*decoded.picture, wide, &width, &height);
  if (width < 1 || height < 1) {
    *error = "the cover " + picture + " has no size";
    return false;
  }
  const double asked = wide / high, own = static_cast<double>(width) / height;
  if (std::fabs(own / asked - 1) > 0.01) {
    char text[400];
    std::snprintf(text, sizeof text,
                  "the cover %s is %d x %d pixels, but the %s's template with its %.4g mm bleed is %.1f x %.1f mm: at %d "
                  "pixels wide it should be %ld high (at 300 dots an inch, %ld x %ld)",
                  picture.c_str(), width, height, layout.name.c_str(), b, wide, high, width, std::lround(width / asked),
                  std::lround(wide / 25.4 * 300), std::lround(high / 25.4 * 300));
    *error = text;
    return false;
  }
  if (const std::string large = BoundCoverPixels(*decoded.picture, picture, &width, &height); !large.empty()) {
    *error = "cannot use the cover: " + large;
    return false;
  }
  const RgbaImage whole = decoded.picture->render(width, height);
  if (whole.width != width || whole.height != height) {
    *error = "cannot draw the cover " + picture;
    return false;
  }
  const double perMm = width / wide;
  // The frames a box's sides show their pictures in; plain for the rest.
  studio::SidePictures sides;
  const bool box = scene.productKind == kProductBox;
  if (box) sides = studio::PicturesOf(studio::CaptureProductMesh(scene));
  studio::SidePictures::Side plain;
  plain.found = true;
  int written = 0;
  for (const LayoutPanel& panel : layout.panels) {
    if (panel.picture == LayoutPicture::None) continue;
    TextureSlot slot = kSlotBoxFront;
    const studio::SidePictures::Side* frame = &plain;
    switch (panel.picture) {
      case LayoutPicture::Front: slot = box ? kSlotBoxFront : kSlotBookFront, frame = box ? &sides.sides[0] : &plain; break;
      case LayoutPicture::Back: slot = box ? kSlotBoxBack : kSlotBookBack, frame = box ? &sides.sides[1] : &plain; break;
      case LayoutPicture::Spine: slot = box ? kSlotBoxLeft : kSlotBookSpine, frame = box ? &sides.sides[2] : &plain; break;
      case LayoutPicture::Right: slot = kSlotBoxRight, frame = &sides.sides[3]; break;
      case LayoutPicture::Top: slot = kSlotBoxTop, frame = &sides.sides[4]; break;
      case LayoutPicture::Bottom: slot = kSlotBoxBottom, frame = &sides.sides[5]; break;
      case LayoutPicture::Wrap: slot = kSlotMug; break;
      case LayoutPicture::None: continue;
    }
    if (!frame->found) continue;
    // The panel's pixels: its trim, rows from the top.
    const int x0 = std::clamp(static_cast<int>(std::lround((panel.x + b) * perMm)), 0, width - 1);
    const int x1 = std::clamp(static_cast<int>(std::lround((panel.x + panel.width + b) * perMm)), x0 + 1, width);
    const int y0 = std::clamp(static_cast<int>(std::lround((layout.height + b - panel.y - panel.height) * perMm)), 0, height - 1);
    const int y1 = std::clamp(static_cast<int>(std::lround((layout.height + b - panel.y) * perMm)), y0 + 1, height);
    RgbaImage shown;
    shown.width = x1 - x0;
    shown.height = y1 - y0;
    shown.pixels.resize(static_cast<size_t>(shown.width) * shown.height * 4);
    for (int y = 0; y < shown.height; ++y) {
      for (int x = 0; x < shown.width; ++x) {
        // A panel laid upside down (a carton's top) is turned back.
        const int sx = panel.turned ? x1 - 1 - x : x0 + x, sy = panel.turned ? y1 - 1 - y : y0 + y;
        std::copy_n(whole.at(sx, sy), 4, &shown.pixels[(static_cast<size_t>(y) * shown.width + x) * 4]);
      }
    }
    const RgbaImage texture = asTexture(shown, *frame);
    QImage file(texture.pixels.data(), texture.width, texture.height, texture.width * 4, QImage::Format_RGBA8888);
    const std::string path = folder + "/face" + std::to_string(written++) + ".png";
    if (!file.convertToFormat(QImage::Format_RGB32).save(QString::fromStdString(path))) {
      *error = "cannot write " + path;
      return false;
    }
    faces->emplace_back(slot, path);
  }
  return true;
}

}  // namespace kestrova
