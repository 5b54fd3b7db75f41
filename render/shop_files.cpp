#include "render/shop_files.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "formats/file_replace.h"
#include "formats/shop_model.h"
#include "formats/shop_page.h"
#include "render/export_image.h"
#include "render/render_host.h"

namespace fs = std::filesystem;

namespace kestrova {

namespace {

// The viewer a product page carries, and its licences, from the program's
// folder. False with `why` when they are not there.
bool readViewer(const fs::path& programFolder, std::string* script, std::string* licences, std::string* why) {
  const fs::path folder = programFolder / "Web" / "model-viewer";
  auto read = [](const fs::path& file, std::string* text) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    text->assign(std::istreambuf_iterator<char>(in), {});
    return true;
  };
  if (!read(folder / "model-viewer.min.js", script)) {
    *why = "the page's viewer is missing from " + folder.string();
    return false;
  }
  // Every work the viewer bundles, with its own licence text.
  const std::pair<const char*, const char*> kLicences[] = {{"model-viewer", "LICENSE"},
                                                           {"three.js", "LICENSE.three"},
                                                           {"Lit", "LICENSE.lit"},
                                                           {"fflate (in three.js)", "LICENSE.fflate"},
                                                           {"gainmap-js", "LICENSE.gainmap"}};
  licences->clear();
  for (const auto& [work, file] : kLicences) {
    std::string text;
    if (!read(folder / file, &text)) {
      *why = "the licence of the page's viewer is missing: " + (folder / file).string();
      return false;
    }
    *licences += std::string(licences->empty() ? "" : "\n") + work + ":\n\n" + text;
  }
  return true;
}

// Per cent of the picture's side left round the product on a page.
constexpr int kPageMargin = 8;

// The studio look's picture of the shot, as --look studio draws it: a
// product page's poster and its turning pictures. Empty, with `why`, when
// it cannot be drawn.
RgbaImage studioPicture(SceneState& scene, int width, int height, std::string* why, bool turning = false) {
  const bool studio = scene.look.studio;
  const StudioFloor floor = scene.studioFloor;
  // A photographed product stands on its shadow.
  if (!studio && !floor.on()) scene.studioFloor.shadow = true;
  scene.look.studio = true;
  // Framed with a margin, whatever the shot's framing: a page shows the
  // whole product.
  const int fit = scene.look.fit;
  if (fit < 0) scene.look.fit = kPageMargin;
  scene.look.fitEveryTurn = turning;
  RenderHost host;
  ExportOptions o;
  o.width = width;
  o.height = height;
  RgbaImage picture = RenderExport(scene, host, o, why);
  scene.look.studio = studio;
  scene.look.fit = fit;
  scene.look.fitEveryTurn = false;
  scene.studioFloor = floor;
  return picture;
}

// A picture as PNG or JPEG bytes; empty for none.
std::vector<uint8_t> encoded(const RgbaImage& picture, const char* format, int quality) {
  if (picture.pixels.empty()) return {};
  const QImage image(picture.pixels.data(), picture.width, picture.height, picture.width * 4,
                     QImage::Format_RGBA8888);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  (std::string(format) == "JPEG" ? image.convertToFormat(QImage::Format_RGB32) : image).save(&buffer, format, quality);
  return {bytes.begin(), bytes.end()};
}

}  // namespace

std::string Megabytes(uint64_t bytes) {
  char size[32];
  std::snprintf(size, sizeof size, "%.1f", static_cast<double>(bytes) / (1 << 20));
  return size;
}

bool WriteShopFiles(SceneState& scene, const ShopFilesRequest& request, std::vector<std::string>* wrote,
                    std::string* error) {
  ShopModel model;
  ShopPageParts page;
  std::string why;
  // A page's camera is taken with the model, from the same triangles.
  if (!BuildShopModel(scene, request.model, &model, &why, request.html.empty() ? nullptr : &page.camera,
                      request.width, request.height)) {
    *error = "cannot make the 3D model: " + why;
    return false;
  }
  const std::vector<uint8_t> glb = WriteGlb(model);
  auto write = [&](const std::string& path, const std::vector<uint8_t>& bytes, bool limited) {
    if (limited && bytes.size() > request.limitBytes) {
      *error = request.tooLarge ? request.tooLarge(path, bytes.size())
                                : path + " would be " + Megabytes(bytes.size()) + " MB, more than the " +
                                      Megabytes(request.limitBytes) + " MB a shop page takes";
      return false;
    }
    if (!ReplaceFile(path, bytes, &why)) {
      *error = "cannot write " + path + ": " + why;
      return false;
    }
    char line[64];
    std::snprintf(line, sizeof line, " (%zu triangles, a %d x %d %s texture)", model.indices.size() / 3,
                  model.textureWidth, model.textureHeight, model.textureMime == "image/png" ? "PNG" : "JPEG");
    if (wrote) wrote->push_back(path + line);
    return true;
  };
  if (!request.glb.empty() && !write(request.glb, glb, true)) return false;
  if (!request.usdz.empty() && !write(request.usdz, WriteUsdz(model), true)) return false;
  if (request.html.empty()) return true;
  page.title = model.name;
  page.glb = glb;
  // The poster's floor (a product drawn without one stands on its shadow).
  const StudioFloor& floor = scene.studioFloor;
  const bool shadow = floor.shadow || (!scene.look.studio && !floor.on());
  page.shadowIntensity = shadow ? std::clamp(floor.shadowStrength, 0, 100) / 100.0 : 0.0;
  page.shadowSoftness = std::clamp(floor.softness, 0, 100) / 100.0;
  if (!readViewer(request.programFolder, &page.viewerScript, &page.licences, &why)) {
    *error = "cannot write the page " + request.html + ": " + why;
    return false;
  }
  // With turning pictures, the poster is framed as they are: the first of
  // them, not a closer picture.
  page.poster = encoded(studioPicture(scene, request.width, request.height, &why, request.turnPictures > 0), "PNG", -1);
  if (page.poster.empty()) {
    *error = "cannot draw the page's poster for " + request.html + ": " + why;
    return false;
  }
  if (!request.usdz.empty()) {
    // Quick Look's model beside the page, named from the page's folder.
    page.usdzName = fs::path(request.usdz).lexically_relative(fs::path(request.html).parent_path()).generic_string();
  }
  if (request.turnPictures > 0) {
    const int pictures = std::clamp(request.turnPictures, 4, 72);
    const float startY = scene.rotation[1];
    for (int i = 0; i < pictures; ++i) {
      scene.rotation[1] = TurntableAngle(startY, i, pictures);
      std::vector<uint8_t> picture = encoded(studioPicture(scene, request.width, request.height, &why, true), "JPEG", 85);
      if (picture.empty()) {
        scene.rotation[1] = startY;
        *error = "cannot draw the page's turning pictures for " + request.html + ": " + why;
        return false;
      }
      page.turntable.push_back(std::move(picture));
    }
    scene.rotation[1] = startY;
  }
  // The page is what a shop takes: its own size is held to the limit.
  const std::string text = WriteShopPage(page);
  return write(request.html, {text.begin(), text.end()}, true);
}

}  // namespace kestrova
