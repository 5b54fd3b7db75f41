#include "render/print_export.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "formats/file_replace.h"
#include "formats/print_template.h"
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
  int w = 0, h = 0;
  if (!BoundTextureSize(texture, &w, &h)) return image;
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
