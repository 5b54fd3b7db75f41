#include "shop_export.h"

#include <GL/gl.h>

#include <QBuffer>
#include <QByteArray>
#include <QImage>

#include <algorithm>
#include <cmath>
#include <map>

#include "pictures/picture.h"
#include "render/studio/studio_camera.h"
#include "render/studio/studio_mesh.h"
#include "render/studio/product_shapes.h"
#include "render/studio/studio_renderer.h"
#include "render/texture_loader.h"
#include "scene/product_styles.h"

namespace kestrova {

namespace {

// Heights of the products that have no style of their own, in metres: a
// mug of 350 ml, a board of a 40 x 30 cm print.
constexpr double kMugHeight = 0.095;
constexpr double kBoardHeight = 0.30;
// Pixels of its own edge around each picture in the atlas, so filtering at
// its border never takes a neighbour's colour.
constexpr int kGutter = 2;

struct Placed {
  int width = 0, height = 0;    // as stored in the atlas
  std::vector<uint8_t> pixels;  // RGBA, the GL's rows (bottom first), at its own size
  int ownWidth = 0, ownHeight = 0;
  int x = 0, y = 0;             // in the atlas, rows from the top
};

// Tallest first, each where it ends lowest on the skyline the pictures
// placed so far make (a picture may sit on a lower neighbour beside a tall
// one, where plain shelves waste the space), in a `width` x `height` atlas:
// false when they do not fit.
bool pack(std::vector<Placed*>& order, int width, int height) {
  struct Span {
    int x, y, width;
  };
  std::vector<Span> skyline = {{0, 0, width}};
  for (Placed* p : order) {
    const int w = p->width + 2 * kGutter, h = p->height + 2 * kGutter;
    int bestTop = height + 1, bestX = 0, bestY = 0;
    size_t bestAt = 0;
    for (size_t i = 0; i < skyline.size(); ++i) {
      const int x = skyline[i].x;
      if (x + w > width) break;
      int y = 0;
      for (size_t j = i; j < skyline.size() && skyline[j].x < x + w; ++j) y = std::max(y, skyline[j].y);
      if (y + h <= height && y + h < bestTop) bestTop = y + h, bestX = x, bestY = y, bestAt = i;
    }
    if (bestTop > height) return false;
    p->x = bestX + kGutter;
    p->y = bestY + kGutter;
    // The spans it covers give way to its top.
    std::vector<Span> next(skyline.begin(), skyline.begin() + static_cast<std::ptrdiff_t>(bestAt));
    next.push_back({bestX, bestTop, w});
    for (size_t j = bestAt; j < skyline.size(); ++j) {
      const int end = skyline[j].x + skyline[j].width;
      if (end <= bestX + w) continue;
      const int from = std::max(skyline[j].x, bestX + w);
      next.push_back({from, skyline[j].y, end - from});
    }
    skyline.clear();
    for (const Span& span : next) {
      if (!skyline.empty() && skyline.back().y == span.y) skyline.back().width += span.width;
      else skyline.push_back(span);
    }
  }
  return true;
}

// The picture at the size it is stored at, from its own pixels.
void shrink(Placed& p) {
  if (p.width == p.ownWidth && p.height == p.ownHeight) return;
  const QImage own(p.pixels.data(), p.ownWidth, p.ownHeight, p.ownWidth * 4, QImage::Format_RGBA8888);
  const QImage small = own.scaled(p.width, p.height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                           .convertToFormat(QImage::Format_RGBA8888);
  std::vector<uint8_t> pixels(static_cast<size_t>(p.width) * p.height * 4);
  for (int y = 0; y < p.height; ++y) {
    std::copy(small.constScanLine(y), small.constScanLine(y) + p.width * 4,
              pixels.begin() + static_cast<std::ptrdiff_t>(static_cast<size_t>(y) * p.width * 4));
  }
  p.pixels = std::move(pixels);
}

QByteArray encode(const QImage& image, const char* format, int quality) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format, quality);
  return bytes;
}

}  // namespace

double RealHeightMetres(const SceneState& scene) {
  if (scene.productKind == kProductMug) return kMugHeight;
  if (scene.productKind == kProductScreenShot) return kBoardHeight;
  if (scene.productKind <= 1.0f) {
    // The paperbacks keep the book style they were chosen over (both draw
    // as the flat book): their binding tells them from the hard back.
    for (int style = kBookStyleCount - 1; style >= 0; --style) {
      if (scene.bookBinding == kBookStyleBinding[style]) return kBookStyles[style].height;
    }
    return kBookStyles[std::clamp(scene.bookStyle, 0, kBookStyleCount - 1)].height;
  }
  return kBoxStyles[std::clamp(static_cast<int>(scene.boxStyle), 0, kBoxStyleCount - 1)].height;
}

namespace {

// A case's or a device's own size; else the style's real height.
double MetresPerUnit(const SceneState& scene, const studio::StudioMesh& mesh) {
  if (mesh.mmPerUnit > 0) return mesh.mmPerUnit / 1000;
  return RealHeightMetres(scene) / std::max(1e-9, mesh.max[1] - mesh.min[1]);
}

void cameraOf(const SceneState& scene, const studio::StudioMesh& mesh, int width, int height, ShopPageCamera* camera) {
  using studio::operator*;
  using studio::operator+;
  using studio::operator-;
  const studio::StudioCamera placed =
      studio::PlaceCamera(scene, mesh, static_cast<double>(width) / std::max(1, height), {});
  // The view is turning and moving only: its inverse is its rotation's
  // transpose. Rows of the rotation are the eye's axes in the floor's frame.
  const auto& m = placed.view.m;
  const studio::V3 row0{m[0], m[4], m[8]}, row1{m[1], m[5], m[9]}, row2{m[2], m[6], m[10]};
  const studio::V3 t{m[12], m[13], m[14]};
  const studio::V3 eye = (row0 * -t[0]) + (row1 * -t[1]) + (row2 * -t[2]);
  const studio::V3 forward = row2 * -1.0;
  // The floor's frame is the model's turned by the shot's Y about its base;
  // the model stands at that base, in metres.
  const studio::Mat4 back = studio::Mat4::Rotation(-scene.rotation[1], {0, 1, 0});
  const double scale = MetresPerUnit(scene, mesh);
  const studio::V3 from = back.direction(eye) * scale;
  const studio::V3 looking = studio::Normalized(back.direction(forward));
  // The target: the point of the line of sight nearest the model's middle.
  const studio::V3 middle{0, (mesh.max[1] - mesh.min[1]) * scale / 2, 0};
  const studio::V3 target = from + looking * studio::Dot(middle - from, looking);
  const studio::V3 v = from - target;
  const double radius = studio::Length(v);
  for (int a = 0; a < 3; ++a) camera->target[a] = target[a];
  camera->radius = radius;
  camera->theta = std::atan2(v[0], v[2]) * 180 / M_PI;
  camera->phi = std::acos(std::clamp(v[1] / std::max(1e-12, radius), -1.0, 1.0)) * 180 / M_PI;
  camera->fieldOfView = 2 * std::atan(placed.tanHalfY) * 180 / M_PI;
}

}  // namespace


bool BuildShopModel(SceneState& scene, const ShopExportOptions& options, ShopModel* model, std::string* error,
                    ShopPageCamera* camera, int width, int height) {
  const studio::StudioMesh mesh = studio::ProductMesh(scene);
  if (mesh.empty()) {
    *error = "the product has nothing to write";
    return false;
  }
  // The page's camera comes from the same triangles: captured once.
  if (camera) cameraOf(scene, mesh, width, height, camera);
  // Each face's picture, as the GL holds it; a part without one (a case's
  // moulding) as a patch of its colour.
  std::map<uint64_t, Placed> pictures;
  auto keyOf = [](const studio::MeshBatch& batch) {
    if (batch.surface == studio::Surface::Title) return uint64_t{2} << 32;
    return batch.texture != 0 ? batch.texture : (uint64_t{1} << 32) | batch.colour;
  };
  for (const studio::MeshBatch& batch : mesh.batches) {
    if (SeeThrough(batch.surface) || pictures.count(keyOf(batch))) continue;
    Placed& p = pictures[keyOf(batch)];
    if (batch.surface == studio::Surface::Title) {
      RgbaImage tab = TabWithTitle(scene.look.title, studio::kTabWidth, studio::kTabHeight);
      p.width = tab.width;
      p.height = tab.height;
      p.pixels = std::move(tab.pixels);
      continue;
    }
    if (batch.texture == 0) {
      p.width = p.height = 1;
      p.pixels = {static_cast<uint8_t>(batch.colour >> 16), static_cast<uint8_t>(batch.colour >> 8),
                  static_cast<uint8_t>(batch.colour), 255};
      continue;
    }
    if (!BoundTextureSize(batch.texture, &p.width, &p.height)) {
      p.width = p.height = 1;
      p.pixels = {255, 255, 255, 255};
      continue;
    }
    // The program's own page edges as the studio look draws them: lines
    // along the pages, without the classic picture's grain across them.
    if (IsProgramPageEdges(scene, batch.texture)) {
      RgbaImage lines = PageEdgeLines();
      p.width = lines.width;
      p.height = lines.height;
      p.pixels = TexturePixels(std::move(lines));
      continue;
    }
    // The picture at its own size where the classic frame shrank it (a
    // 1200-pixel cover kept at 512): a model is looked at as closely as a
    // shot. Up to the atlas's side; the packing halves what does not fit.
    if (const FaceArtwork* fuller = FullerArtwork(scene, batch.texture, p.width, p.height)) {
      const PictureResult decoded = LoadPicture(fuller->path);
      const int largest = std::max(16, options.textureSize);
      const double shrink = std::min(1.0, static_cast<double>(largest) / std::max(fuller->width, fuller->height));
      const int fw = std::max(1, static_cast<int>(std::lround(fuller->width * shrink)));
      const int fh = std::max(1, static_cast<int>(std::lround(fuller->height * shrink)));
      if (decoded.picture) {
        RgbaImage image = decoded.picture->render(fw, fh);
        if (image.width == fw && image.height == fh) {
          p.width = fw;
          p.height = fh;
          p.pixels = TexturePixels(std::move(image));
          continue;
        }
      }
    }
    p.pixels.resize(static_cast<size_t>(p.width) * p.height * 4);
    glBindTexture(GL_TEXTURE_2D, batch.texture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, p.pixels.data());
  }
  glBindTexture(GL_TEXTURE_2D, 0);
  if (glGetError() != GL_NO_ERROR) {
    *error = "the graphics driver did not give the faces' pictures back";
    return false;
  }
  // The smallest square power of two up to the limit that holds them all;
  // past the limit, every picture is halved until they fit.
  std::vector<Placed*> order;
  for (auto& [name, p] : pictures) order.push_back(&p);
  std::sort(order.begin(), order.end(), [](const Placed* a, const Placed* b) { return a->height > b->height; });
  // Every picture at its own size, in the smallest atlas of powers of two
  // up to the limit that holds them (a rectangle where that is smaller);
  // past the limit, all of them a tenth smaller at a time, from their own
  // pixels, until they fit. Then all grow together while they still fit:
  // the atlas's pixels are paid for anyway, and a box's faces fill most of
  // it.
  const int most = std::max(16, options.textureSize);
  int atlasWidth = 0, atlasHeight = 0;
  for (auto& [name, p] : pictures) p.ownWidth = p.width, p.ownHeight = p.height;
  auto sizeAt = [&order](double scale) {
    for (Placed* p : order) {
      p->width = std::max(1, static_cast<int>(std::lround(p->ownWidth * scale)));
      p->height = std::max(1, static_cast<int>(std::lround(p->ownHeight * scale)));
    }
    std::sort(order.begin(), order.end(), [](const Placed* a, const Placed* b) { return a->height > b->height; });
  };
  double pictureScale = 1.0;
  for (;; pictureScale *= 0.9) {
    sizeAt(pictureScale);
    long long best = 0;
    for (int w = 16; w <= most; w *= 2) {
      for (int h = 16; h <= most; h *= 2) {
        const long long area = static_cast<long long>(w) * h;
        // Of two of one area, the squarer.
        const bool better = best == 0 || area < best || (area == best && std::abs(w - h) < std::abs(atlasWidth - atlasHeight));
        if (better && pack(order, w, h)) atlasWidth = w, atlasHeight = h, best = area;
      }
    }
    if (best > 0) break;
  }
  for (double grown = pictureScale * 1.03;; grown *= 1.03) {
    sizeAt(grown);
    if (!pack(order, atlasWidth, atlasHeight)) break;
    pictureScale = grown;
  }
  sizeAt(pictureScale);
  pack(order, atlasWidth, atlasHeight);
  for (Placed* p : order) shrink(*p);
  QImage atlas(atlasWidth, atlasHeight, QImage::Format_RGB32);
  atlas.fill(Qt::white);
  for (const Placed* p : order) {
    // The GL's rows run from the picture's bottom; the atlas's from its top.
    for (int y = -kGutter; y < p->height + kGutter; ++y) {
      const int sy = p->height - 1 - std::clamp(y, 0, p->height - 1);
      auto* row = reinterpret_cast<QRgb*>(atlas.scanLine(p->y + y));
      for (int x = -kGutter; x < p->width + kGutter; ++x) {
        const uint8_t* s = &p->pixels[(static_cast<size_t>(sy) * p->width + std::clamp(x, 0, p->width - 1)) * 4];
        row[p->x + x] = qRgb(s[0], s[1], s[2]);
      }
    }
  }

  // Metres: the product's drawn proportions at its real height, or the
  // dimensions asked; standing on the ground at the middle of its bottom.
  const double extent[3] = {std::max(1e-9, mesh.max[0] - mesh.min[0]), std::max(1e-9, mesh.max[1] - mesh.min[1]),
                            std::max(1e-9, mesh.max[2] - mesh.min[2])};
  double scale[3];
  const double uniform = MetresPerUnit(scene, mesh);
  scale[0] = options.dimensions[1] > 0 ? options.dimensions[1] / 1000.0 / extent[0] : uniform;
  scale[1] = options.dimensions[0] > 0 ? options.dimensions[0] / 1000.0 / extent[1] : uniform;
  scale[2] = options.dimensions[2] > 0 ? options.dimensions[2] / 1000.0 / extent[2] : uniform;
  const double centre[3] = {(mesh.min[0] + mesh.max[0]) / 2, mesh.min[1], (mesh.min[2] + mesh.max[2]) / 2};

  model->vertices.clear();
  model->indices.clear();
  model->clearCount = 0;
  // The clear parts come last in the mesh, and so in the model.
  for (const studio::MeshBatch& batch : mesh.batches) {
    if (SeeThrough(batch.surface)) model->clearCount += static_cast<size_t>(batch.count);
    const Placed& p = pictures[SeeThrough(batch.surface) ? keyOf(mesh.batches.front()) : keyOf(batch)];
    for (int i = batch.first; i < batch.first + batch.count; ++i) {
      const studio::MeshVertex& v = mesh.vertices[static_cast<size_t>(i)];
      ModelVertex out{};
      double normal[3];
      for (int a = 0; a < 3; ++a) {
        out.position[a] = static_cast<float>((v.position[a] - centre[a]) * scale[a]);
        // A normal follows the inverse of a stretch.
        normal[a] = v.normal[a] / scale[a];
      }
      const double length = std::sqrt(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2]);
      for (int a = 0; a < 3; ++a) out.normal[a] = length > 0 ? static_cast<float>(normal[a] / length) : (a == 1);
      const double u = std::clamp<double>(v.uv[0], 0, 1), t = std::clamp<double>(v.uv[1], 0, 1);
      out.uv[0] = static_cast<float>((p.x + u * p.width) / atlasWidth);
      out.uv[1] = static_cast<float>((p.y + (1 - t) * p.height) / atlasHeight);
      model->indices.push_back(static_cast<uint32_t>(model->vertices.size()));
      model->vertices.push_back(out);
    }
  }
  // Faces look outwards, as glTF and USD take them (counter-clockwise seen
  // from outside, normals out): the classic drawing winds some products the
  // other way round, which its own frame never shows. A product inside out
  // has a negative volume.
  double volume = 0;
  for (size_t i = 0; i + 2 < model->vertices.size(); i += 3) {
    const float* a = model->vertices[i].position;
    const float* b = model->vertices[i + 1].position;
    const float* c = model->vertices[i + 2].position;
    volume += a[0] * (b[1] * c[2] - b[2] * c[1]) + a[1] * (b[2] * c[0] - b[0] * c[2]) + a[2] * (b[0] * c[1] - b[1] * c[0]);
  }
  if (volume < 0 && !mesh.generated) {
    for (size_t i = 0; i + 2 < model->indices.size(); i += 3) std::swap(model->indices[i + 1], model->indices[i + 2]);
    for (ModelVertex& v : model->vertices) {
      for (float& n : v.normal) n = -n;
    }
  }
  const studio::SurfaceFinish finish = studio::FinishOf(scene, mesh.material == studio::Material::Ceramic);
  model->material.roughness = finish.roughness;
  model->material.metallic = 0;
  model->material.clearcoat = finish.coat;
  model->material.clearcoatRoughness = finish.coatRoughness;
  model->name = scene.productKind == kProductMug ? "Mug" : scene.productKind <= 1.0f ? "Book"
                : scene.productKind == kProductScreenShot ? "Board" : "Box";
  // Photographs as JPEG, flat artwork (few colours, sharp edges) as PNG:
  // whichever is smaller, PNG winning up to half as large again.
  const QByteArray jpeg = encode(atlas, "JPEG", 90);
  const QByteArray png = encode(atlas, "PNG", -1);
  const bool usePng = !png.isEmpty() && (jpeg.isEmpty() || png.size() <= jpeg.size() * 3 / 2);
  const QByteArray& chosen = usePng ? png : jpeg;
  model->texture.assign(chosen.begin(), chosen.end());
  model->textureMime = usePng ? "image/png" : "image/jpeg";
  model->textureWidth = atlasWidth;
  model->textureHeight = atlasHeight;
  return true;
}

}  // namespace kestrova
