#include "shop_export.h"

#include <GL/gl.h>

#include <QBuffer>
#include <QByteArray>
#include <QImage>

#include <algorithm>
#include <cmath>
#include <map>

#include "render/studio/studio_camera.h"
#include "render/studio/studio_mesh.h"
#include "render/studio/studio_renderer.h"
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
  int width = 0, height = 0;
  std::vector<uint8_t> pixels;  // RGBA, the GL's rows (bottom first)
  int x = 0, y = 0;             // in the atlas, rows from the top
};

// Shelves, tallest first, in a square of `side`: false when they do not fit.
bool pack(std::vector<Placed*>& order, int side) {
  int x = 0, y = 0, shelf = 0;
  for (Placed* p : order) {
    const int w = p->width + 2 * kGutter, h = p->height + 2 * kGutter;
    if (w > side || h > side) return false;
    if (x + w > side) {
      x = 0;
      y += shelf;
      shelf = 0;
    }
    if (y + h > side) return false;
    p->x = x + kGutter;
    p->y = y + kGutter;
    x += w;
    shelf = std::max(shelf, h);
  }
  return true;
}

// Halves a picture (box filter).
void halve(Placed& p) {
  const int w = std::max(1, p.width / 2), h = std::max(1, p.height / 2);
  std::vector<uint8_t> out(static_cast<size_t>(w) * h * 4);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      for (int c = 0; c < 4; ++c) {
        int sum = 0;
        for (int dy = 0; dy < 2; ++dy) {
          for (int dx = 0; dx < 2; ++dx) {
            const int sx = std::min(p.width - 1, 2 * x + dx), sy = std::min(p.height - 1, 2 * y + dy);
            sum += p.pixels[(static_cast<size_t>(sy) * p.width + sx) * 4 + c];
          }
        }
        out[(static_cast<size_t>(y) * w + x) * 4 + c] = static_cast<uint8_t>((sum + 2) / 4);
      }
    }
  }
  p.width = w;
  p.height = h;
  p.pixels = std::move(out);
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
  const double scale = RealHeightMetres(scene) / std::max(1e-9, mesh.max[1] - mesh.min[1]);
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
  const studio::StudioMesh mesh = studio::CaptureProductMesh(scene);
  if (mesh.empty()) {
    *error = "the product has nothing to write";
    return false;
  }
  // The page's camera comes from the same triangles: captured once.
  if (camera) cameraOf(scene, mesh, width, height, camera);
  // Each face's picture, as the GL holds it.
  std::map<uint32_t, Placed> pictures;
  for (const studio::MeshBatch& batch : mesh.batches) {
    if (pictures.count(batch.texture)) continue;
    Placed& p = pictures[batch.texture];
    if (batch.texture == 0) {
      p.width = p.height = 1;
      p.pixels = {255, 255, 255, 255};
      continue;
    }
    glBindTexture(GL_TEXTURE_2D, batch.texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &p.width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &p.height);
    if (p.width < 1 || p.height < 1) {
      p.width = p.height = 1;
      p.pixels = {255, 255, 255, 255};
      continue;
    }
    p.pixels.resize(static_cast<size_t>(p.width) * p.height * 4);
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
  const int most = std::max(16, options.textureSize);
  int side = 16;
  for (;;) {
    while (side < most && !pack(order, side)) side *= 2;
    if (pack(order, side)) break;
    for (Placed* p : order) halve(*p);
    std::sort(order.begin(), order.end(), [](const Placed* a, const Placed* b) { return a->height > b->height; });
  }
  QImage atlas(side, side, QImage::Format_RGB32);
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
  const double uniform = RealHeightMetres(scene) / extent[1];
  scale[0] = options.dimensions[1] > 0 ? options.dimensions[1] / 1000.0 / extent[0] : uniform;
  scale[1] = options.dimensions[0] > 0 ? options.dimensions[0] / 1000.0 / extent[1] : uniform;
  scale[2] = options.dimensions[2] > 0 ? options.dimensions[2] / 1000.0 / extent[2] : uniform;
  const double centre[3] = {(mesh.min[0] + mesh.max[0]) / 2, mesh.min[1], (mesh.min[2] + mesh.max[2]) / 2};

  model->vertices.clear();
  model->indices.clear();
  for (const studio::MeshBatch& batch : mesh.batches) {
    const Placed& p = pictures[batch.texture];
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
      out.uv[0] = static_cast<float>((p.x + u * p.width) / side);
      out.uv[1] = static_cast<float>((p.y + (1 - t) * p.height) / side);
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
  if (volume < 0) {
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
  model->textureWidth = side;
  model->textureHeight = side;
  return true;
}

}  // namespace kestrova
