// The generated cases and devices, checked from their triangles alone: the
// sizes makers publish, faces that look the way their normals say, clear
// parts last, each side's picture the right way round, a screen shot
// never squeezed.
#include <gtest/gtest.h>

#include <cmath>

#include "render/studio/product_shapes.h"

using namespace kestrova;
using namespace kestrova::studio;

namespace {

// A slab as the classic frame hands it on: six sides of two triangles,
// side k showing texture 10 + k, its picture's (0, 0) at the bottom left
// as seen from outside, (1, 1) at the top right.
StudioMesh slab(double w, double h, double d) {
  StudioMesh mesh;
  const V3 half{w / 2, h / 2, d / 2};
  const V3 normal[6] = {{0, 0, 1}, {0, 0, -1}, {-1, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
  const V3 right[6] = {{1, 0, 0}, {-1, 0, 0}, {0, 0, 1}, {0, 0, -1}, {1, 0, 0}, {1, 0, 0}};
  const V3 up[6] = {{0, 1, 0}, {0, 1, 0}, {0, 1, 0}, {0, 1, 0}, {0, 0, -1}, {0, 0, 1}};
  auto extent = [&half](const V3& axis) {
    return std::fabs(axis[0]) * half[0] + std::fabs(axis[1]) * half[1] + std::fabs(axis[2]) * half[2];
  };
  for (int side = 0; side < 6; ++side) {
    MeshBatch batch{static_cast<uint32_t>(10 + side), static_cast<int>(mesh.vertices.size()), 6};
    const double corners[6][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 0}, {1, 1}, {0, 1}};
    for (const auto& c : corners) {
      const V3 p = normal[side] * extent(normal[side]) + right[side] * ((c[0] - 0.5) * 2 * extent(right[side])) +
                   up[side] * ((c[1] - 0.5) * 2 * extent(up[side]));
      MeshVertex v{};
      for (int a = 0; a < 3; ++a) v.position[a] = static_cast<float>(p[static_cast<size_t>(a)]);
      v.uv[0] = static_cast<float>(c[0]);
      v.uv[1] = static_cast<float>(c[1]);
      mesh.vertices.push_back(v);
    }
    mesh.batches.push_back(batch);
  }
  mesh.min = V3{0, 0, 0} - half;
  mesh.max = half;
  return mesh;
}

ShapeOptions optionsFor(Shape shape, double aspect = 16.0 / 9, bool cover = false) {
  ShapeOptions options;
  options.size = RealMeasures(shape, aspect > 1).value_or(ShapeMeasures{200, 200, 20});
  options.pictureAspect = aspect;
  options.cover = cover;
  return options;
}

const Shape kAll[] = {Shape::RoundedBox, Shape::KeepCase, Shape::SlimKeepCase, Shape::JewelCase, Shape::SlimJewelCase,
                      Shape::CassetteCase, Shape::Phone, Shape::Tablet, Shape::Laptop, Shape::Monitor, Shape::Browser};

}  // namespace

TEST(ProductShapes, EachIsItsPublishedSizeWoundAsItsNormalsSayWithItsClearPartsLast) {
  const StudioMesh captured = slab(2, 3, 0.5);
  const SidePictures pictures = PicturesOf(captured);
  for (const Shape shape : kAll) {
    SCOPED_TRACE(static_cast<int>(shape));
    const ShapeOptions options = optionsFor(shape);
    const StudioMesh mesh = BuildShape(shape, pictures, options);
    ASSERT_FALSE(mesh.empty());
    if (const std::optional<ShapeMeasures> real = RealMeasures(shape, true)) {
      EXPECT_NEAR(mesh.max[0] - mesh.min[0], real->width, real->width * 0.005);
      EXPECT_NEAR(mesh.max[1] - mesh.min[1], real->height, real->height * 0.005);
      EXPECT_NEAR(mesh.max[2] - mesh.min[2], real->depth, real->depth * 0.005);
    }
    int wrong = 0;
    for (size_t i = 0; i + 2 < mesh.vertices.size(); i += 3) {
      V3 p[3], n{0, 0, 0};
      for (size_t k = 0; k < 3; ++k) {
        const MeshVertex& v = mesh.vertices[i + k];
        p[k] = {v.position[0], v.position[1], v.position[2]};
        n = n + V3{v.normal[0], v.normal[1], v.normal[2]};
      }
      wrong += Dot(Cross(p[1] - p[0], p[2] - p[0]), n) <= 0;
    }
    EXPECT_EQ(wrong, 0) << "triangles wound against their normals";
    bool seenClear = false;
    for (const MeshBatch& batch : mesh.batches) {
      if (SeeThrough(batch.surface) && !seenClear) {
        seenClear = true;
        EXPECT_EQ(mesh.solidCount(), batch.first);
      }
      EXPECT_EQ(SeeThrough(batch.surface), seenClear) << "a solid part after a clear one";
    }
    const bool clearExpected = shape != Shape::RoundedBox && shape != Shape::Browser;
    EXPECT_EQ(seenClear, clearExpected);
  }
}

// Each side's picture keeps its way round: on a keep case the front's top
// left shows the picture's top left, the back's too, the spine's.
TEST(ProductShapes, ACasesPrintShowsEachSidesPictureTheRightWayRound) {
  const SidePictures pictures = PicturesOf(slab(2, 3, 0.5));
  for (int side = 0; side < 6; ++side) EXPECT_TRUE(pictures.sides[side].found) << side;
  const StudioMesh mesh = BuildShape(Shape::KeepCase, pictures, optionsFor(Shape::KeepCase));
  // Front (10), back (11) and spine (12): which axis runs to their right,
  // seen from outside.
  const struct {
    uint32_t texture;
    int rightAxis, rightSign;
  } kSides[] = {{10, 0, 1}, {11, 0, -1}, {12, 2, 1}};
  for (const auto& side : kSides) {
    SCOPED_TRACE(side.texture);
    double low[2] = {1e30, 1e30}, high[2] = {-1e30, -1e30};
    std::vector<const MeshVertex*> shown;
    for (const MeshBatch& batch : mesh.batches) {
      if (batch.texture != side.texture) continue;
      for (int i = batch.first; i < batch.first + batch.count; ++i) {
        const MeshVertex* v = &mesh.vertices[static_cast<size_t>(i)];
        const double at[2] = {v->position[side.rightAxis] * side.rightSign, v->position[1]};
        for (int k = 0; k < 2; ++k) low[k] = std::min(low[k], at[k]), high[k] = std::max(high[k], at[k]);
        shown.push_back(v);
      }
    }
    ASSERT_FALSE(shown.empty()) << "no part shows this side's picture";
    for (const MeshVertex* v : shown) {
      // Right of its middle, u past a half; above it, v past a half.
      EXPECT_EQ(v->position[side.rightAxis] * side.rightSign > (low[0] + high[0]) / 2, v->uv[0] > 0.5) << "u runs the wrong way";
      EXPECT_EQ(v->position[1] > (low[1] + high[1]) / 2, v->uv[1] > 0.5) << "v runs the wrong way";
    }
  }
}

// On every device, in either fit and at any picture's shape, a texel is as
// wide as it is high on the screen: circles stay round.
TEST(ProductShapes, AScreenShotIsNeverSqueezedOnAnyDevice) {
  const SidePictures pictures = PicturesOf(slab(1.6, 0.9, 0.02));
  for (const Shape shape : {Shape::Phone, Shape::Tablet, Shape::Laptop, Shape::Monitor, Shape::Browser}) {
    for (const double aspect : {0.5, 1.0, 16.0 / 9, 2.5}) {
      for (const bool cover : {false, true}) {
        SCOPED_TRACE(std::to_string(static_cast<int>(shape)) + " aspect " + std::to_string(aspect) + (cover ? " cover" : " contain"));
        const StudioMesh mesh = BuildShape(shape, pictures, optionsFor(shape, aspect, cover));
        int checked = 0;
        for (const MeshBatch& batch : mesh.batches) {
          if (batch.surface != Surface::Screen || batch.texture != 10) continue;
          for (int i = batch.first; i + 2 < batch.first + batch.count; i += 3) {
            const MeshVertex* t = &mesh.vertices[static_cast<size_t>(i)];
            // The picture's plane: how far across and up the screen one
            // unit of u and of v goes.
            const double du1 = t[1].uv[0] - t[0].uv[0], dv1 = t[1].uv[1] - t[0].uv[1];
            const double du2 = t[2].uv[0] - t[0].uv[0], dv2 = t[2].uv[1] - t[0].uv[1];
            const double det = du1 * dv2 - du2 * dv1;
            if (std::fabs(det) < 1e-9) continue;
            auto along = [&](int axis) {
              const double d1 = t[1].position[axis] - t[0].position[axis], d2 = t[2].position[axis] - t[0].position[axis];
              return std::array<double, 2>{(d1 * dv2 - d2 * dv1) / det, (du1 * d2 - du2 * d1) / det};
            };
            const auto x = along(0), y = along(1), z = along(2);
            const double perU = std::sqrt(x[0] * x[0] + y[0] * y[0] + z[0] * z[0]);
            const double perV = std::sqrt(x[1] * x[1] + y[1] * y[1] + z[1] * z[1]);
            // One unit of u is the picture's width, of v its height.
            EXPECT_NEAR(perU / perV, aspect, aspect * 0.01);
            ++checked;
          }
        }
        EXPECT_GT(checked, 0) << "no screen shot on the screen";
      }
    }
  }
}
