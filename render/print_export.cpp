#include "render/print_export.h"

#include <GL/gl.h>

#include <QImage>

#include <algorithm>
#include <cmath>

#include "formats/file_replace.h"
#include "formats/print_template.h"
#include "pictures/cmyk_jpeg.h"
#include "pictures/metafile_helper.h"
#include "pictures/picture.h"
#include "render/shop_export.h"
#include "render/studio/product_shapes.h"
#include "render/studio/studio_mesh.h"
#include "render/texture_loader.h"
#include "scene/product_styles.h"

namespace kestrova {

namespace {

constexpr int kLargestSide = 4096;

bool endsWith(const std::string& path, const char* ending) {
  std::string lower = path;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const std::string e = ending;
  return lower.size() >= e.size() && lower.compare(lower.size() - e.size(), e.size(), e) == 0;
}

// A texture's picture in the GL's row order (its first row at t = 0), from
// the fuller file it was shrunk from where there is one.
RgbaImage sourceOf(const SceneState& scene, uint32_t texture) {
  RgbaImage image;
  if (texture == 0 || !glIsTexture(texture)) return image;
  glBindTexture(GL_TEXTURE_2D, texture);
  GLint w = 0, h = 0;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
  if (w < 1 || h < 1) return image;
  if (const FaceArtwork* fuller = FullerArtwork(scene, texture, w, h)) {
    const double shrink = std::min(1.0, static_cast<double>(kLargestSide) / std::max(fuller->width, fuller->height));
    const int fw = std::max(1, static_cast<int>(std::lround(fuller->width * shrink)));
    const int fh = std::max(1, static_cast<int>(std::lround(fuller->height * shrink)));
    const PictureResult decoded = LoadPicture(fuller->path);
    if (decoded.picture) {
      RgbaImage top = decoded.picture->render(fw, fh);
      if (top.width == fw && top.height == fh) {
        FlipRowsInPlace(top.pixels.data(), static_cast<size_t>(fw) * 4, fh);
        return top;
      }
    }
  }
  image.width = w;
  image.height = h;
  image.pixels.resize(static_cast<size_t>(w) * h * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, image.pixels.data());
  return image;
}

// The picture as the face shows it, upright, rows from the top: each pixel
// read where the face's texture coordinates put it.
RgbaImage upright(const RgbaImage& source, const studio::SidePictures::Side& frame) {
  RgbaImage out;
  if (source.width < 1 || source.height < 1) return out;
  const double sw = source.width, sh = source.height;
  out.width = std::max(1, static_cast<int>(std::lround(std::fabs(frame.across[0]) * sw + std::fabs(frame.across[1]) * sh)));
  out.height = std::max(1, static_cast<int>(std::lround(std::fabs(frame.up[0]) * sw + std::fabs(frame.up[1]) * sh)));
  out.pixels.resize(static_cast<size_t>(out.width) * out.height * 4);
  for (int y = 0; y < out.height; ++y) {
    const double b = 1 - (y + 0.5) / out.height;
    for (int x = 0; x < out.width; ++x) {
      const double a = (x + 0.5) / out.width;
      const double u = frame.origin[0] + a * frame.across[0] + b * frame.up[0];
      const double v = frame.origin[1] + a * frame.across[1] + b * frame.up[1];
      // Texture coordinates repeat, as the GL reads them.
      const double fu = u - std::floor(u), fv = v - std::floor(v);
      const int sx = std::clamp(static_cast<int>(fu * sw), 0, source.width - 1);
      const int sy = std::clamp(static_cast<int>(fv * sh), 0, source.height - 1);
      std::copy_n(source.at(sx, sy), 4, &out.pixels[(static_cast<size_t>(y) * out.width + x) * 4]);
    }
  }
  return out;
}

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

bool LayoutOfShot(SceneState& scene, const PrintTemplateRequest& request, PrintLayout* layout, std::string* error) {
  if (scene.productKind == kProductScreenShot) {
    *error = "a screen shot has no print template: choose a box, a book or the mug";
    return false;
  }
  const studio::StudioMesh mesh = studio::ProductMesh(scene);
  if (mesh.empty()) {
    *error = "the product has nothing to lay out";
    return false;
  }
  const double extent[3] = {mesh.max[0] - mesh.min[0], mesh.max[1] - mesh.min[1], mesh.max[2] - mesh.min[2]};
  const double mm = mesh.mmPerUnit > 0 ? mesh.mmPerUnit : RealHeightMetres(scene) * 1000 / std::max(1e-9, extent[1]);
  LayoutSize size{extent[0] * mm, extent[1] * mm, extent[2] * mm};
  if (request.dimensions[0] > 0) size.height = request.dimensions[0];
  if (request.dimensions[1] > 0) size.width = request.dimensions[1];
  if (request.dimensions[2] > 0) size.depth = request.dimensions[2];
  if (scene.productKind == kProductMug) {
    // Printed round the body, clear of the lip and the foot.
    const double diameter = std::min(size.width, size.depth);
    *layout = MugLayout(diameter, std::max(10.0, size.height - 15));
    return true;
  }
  if (scene.productKind <= 1.0f) {
    if (request.spine > 0 && request.dimensions[2] <= 0) size.depth = request.spine;
    *layout = BookWrapLayout(size, scene.bookBinding >= 2.0f);
    return true;
  }
  switch (studio::ShapeOf(scene)) {
    case studio::Shape::KeepCase:
    case studio::Shape::SlimKeepCase: *layout = DvdWrapLayout(size); break;
    case studio::Shape::JewelCase: *layout = CdLayout(size, false); break;
    case studio::Shape::SlimJewelCase: *layout = CdLayout(size, true); break;
    case studio::Shape::CassetteCase: *layout = CassetteLayout(size); break;
    default: *layout = CartonLayout(size); break;
  }
  return true;
}

bool ExportPrintTemplate(SceneState& scene, const PrintTemplateRequest& request, std::string* error) {
  const bool pdf = endsWith(request.path, ".pdf"), svg = endsWith(request.path, ".svg");
  if (!pdf && !svg) {
    *error = "a print template is written as .pdf or .svg, not as " + request.path;
    return false;
  }
  PrintLayout layout;
  if (!LayoutOfShot(scene, request, &layout, error)) return false;
  TemplateArtwork artwork;
  if (!request.blank) {
    studio::SidePictures::Side plain;
    plain.found = true;
    auto add = [&](LayoutPicture picture, uint32_t texture, const studio::SidePictures::Side& frame) {
      RgbaImage image = upright(sourceOf(scene, texture), frame);
      if (image.width > 0) artwork[picture] = std::move(image);
    };
    const auto& slot = scene.textureSlot;
    if (scene.productKind == kProductMug) {
      add(LayoutPicture::Wrap, slot[kSlotMug], plain);
    } else if (scene.productKind <= 1.0f) {
      add(LayoutPicture::Front, slot[kSlotBookFront], plain);
      add(LayoutPicture::Back, slot[kSlotBookBack], plain);
      add(LayoutPicture::Spine, slot[kSlotBookSpine], plain);
    } else {
      // A box's sides as the shot shows them, each the right way up.
      const studio::SidePictures sides = studio::PicturesOf(studio::CaptureProductMesh(scene));
      const LayoutPicture order[6] = {LayoutPicture::Front, LayoutPicture::Back,  LayoutPicture::Spine,
                                      LayoutPicture::Right, LayoutPicture::Top, LayoutPicture::Bottom};
      for (int side = 0; side < 6; ++side) {
        if (sides.sides[side].found) add(order[side], sides.sides[side].texture, sides.sides[side]);
      }
    }
    glBindTexture(GL_TEXTURE_2D, 0);
  }
  TemplateOptions options;
  options.bleed = request.bleed;
  options.safe = request.safe;
  std::vector<uint8_t> bytes;
  if (pdf) {
    bytes = WriteTemplatePdf(layout, artwork, options);
  } else {
    const std::string text = WriteTemplateSvg(layout, artwork, options);
    bytes.assign(text.begin(), text.end());
  }
  std::string why;
  if (!ReplaceFile(request.path, bytes, &why)) {
    *error = "cannot write " + request.path + ": " + why;
    return false;
  }
  return true;
}

}  // namespace kestrova

namespace kestrova {

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
  // A drawing (a PDF) at 300 dots an inch; a picture at its own pixels.
  int width = static_cast<int>(std::lround(decoded.picture->himetricWidth() * 96.0 / 2540));
  int height = static_cast<int>(std::lround(decoded.picture->himetricHeight() * 96.0 / 2540));
  if (decoded.picture->scalable() && width > 0 && height > 0) {
    const double scale = 300 / 25.4 * wide / width;
    width = static_cast<int>(std::lround(width * scale));
    height = static_cast<int>(std::lround(height * scale));
  }
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
  if (decoded.picture->scalable()) {
    // A drawing is drawn no larger than a drawn face may be (a 600 mm mug's
    // wrap at 300 dots an inch would take gigabytes): its faces are at most
    // kMaxFaceTexture across, and this leaves them that sharp.
    const double fits = std::min({1.0, static_cast<double>(kMaxDrawingSide) / std::max(width, height),
                                  std::sqrt(static_cast<double>(kMaxPictureMemory / 4) / (static_cast<double>(width) * height))});
    width = std::max(1, static_cast<int>(width * fits));
    height = std::max(1, static_cast<int>(height * fits));
  } else if (const std::string large = PictureTooLarge(picture, static_cast<uint64_t>(width), static_cast<uint64_t>(height));
             !large.empty()) {
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
