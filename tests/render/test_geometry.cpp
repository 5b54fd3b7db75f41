// Where the faces land, read back through the GL's own feedback mode.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "render/classic/render_frame.h"
#include "render/scene_initialiser.h"
#include "scene/product_styles.h"
#include "tests/support/headless_fixture.h"

using namespace kestrova;

namespace {

struct Box3 {
  float min[3] = {1e30f, 1e30f, 1e30f};
  float max[3] = {-1e30f, -1e30f, -1e30f};
  void add(const float p[3]) {
    for (int i = 0; i < 3; ++i) {
      min[i] = std::min(min[i], p[i]);
      max[i] = std::max(max[i], p[i]);
    }
  }
};

class Geometry : public test::HeadlessGL {
 protected:
  void SetUp() override {
    HeadlessGL::SetUp();
    scene_ = std::make_unique<SceneState>();
    InitialiseSceneDefaults(*scene_);
    scene_->rotation = {0, 0, 0};
    scene_->startupFrameCount = 2;
  }

  // Draws one frame in feedback mode and returns the bounding box of each
  // group of `faces` faces, in the product's own units before the camera's
  // step back of 100. An orthographic projection of +-50 units onto 1000
  // pixels makes window coordinates a plain scaling of eye coordinates.
  std::vector<Box3> faceBounds(int faces) {
    glViewport(0, 0, 1000, 1000);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-50, 50, -50, 50, 0, 200);
    glMatrixMode(GL_MODELVIEW);
    std::vector<GLfloat> buffer(8u << 20);
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D, buffer.data());
    glRenderMode(GL_FEEDBACK);
    RenderHost host;
    RenderFrame(*scene_, host);
    const GLint used = glRenderMode(GL_RENDER);
    EXPECT_GT(used, 0) << "feedback buffer overflow or nothing drawn";

    std::vector<std::vector<float>> polygons;
    for (GLint i = 0; i < used;) {
      // Each face marks the picture it shows; the marks are not geometry.
      if (buffer[static_cast<size_t>(i)] == GL_PASS_THROUGH_TOKEN) {
        i += 2;
        continue;
      }
      EXPECT_EQ(buffer[static_cast<size_t>(i)], GL_POLYGON_TOKEN);
      const int n = static_cast<int>(buffer[static_cast<size_t>(i) + 1]);
      polygons.emplace_back(buffer.begin() + i + 2, buffer.begin() + i + 2 + n * 3);
      i += 2 + n * 3;
    }
    std::vector<Box3> boxes(static_cast<size_t>(faces));
    if (polygons.size() % static_cast<size_t>(faces) != 0) {
      ADD_FAILURE() << polygons.size() << " polygons do not split into " << faces << " faces";
      return boxes;
    }
    const size_t perFace = polygons.size() / static_cast<size_t>(faces);
    for (size_t p = 0; p < polygons.size(); ++p) {
      for (size_t v = 0; v + 2 < polygons[p].size(); v += 3) {
        const float window[3] = {polygons[p][v], polygons[p][v + 1], polygons[p][v + 2]};
        const float object[3] = {window[0] / 10 - 50, window[1] / 10 - 50, -200 * window[2] + 100};
        boxes[p / perFace].add(object);
      }
    }
    return boxes;
  }

  std::unique_ptr<SceneState> scene_;
};

constexpr float kTol = 0.01f;

}  // namespace

TEST_F(Geometry, StandardRetailBoxFacesLieOnTheBoxSurface) {
  ApplyBoxStyle(*scene_, 0);
  scene_->productKind = kProductBox;
  const auto faces = faceBounds(6);
  const Box3& front = faces[0];
  EXPECT_NEAR(front.min[0], -23.4f, kTol);
  EXPECT_NEAR(front.max[0], 22.36f, kTol);
  EXPECT_NEAR(front.min[1], -29.7f, kTol);
  EXPECT_NEAR(front.max[1], 28.38f, kTol);
  EXPECT_NEAR(front.min[2], 3.0975f, kTol);
  EXPECT_NEAR(front.max[2], 3.0975f, kTol);

  const Box3& back = faces[1];
  EXPECT_NEAR(back.min[2], -2.835f, kTol);
  EXPECT_NEAR(back.max[2], -2.835f, kTol);
  EXPECT_NEAR(back.min[0], -23.4f, kTol);
  EXPECT_NEAR(back.max[0], 22.36f, kTol);

  EXPECT_NEAR(faces[2].min[0], -23.31f, kTol);  // left
  EXPECT_NEAR(faces[2].max[0], -23.31f, kTol);
  EXPECT_NEAR(faces[3].min[0], 22.26f, kTol);  // right
  EXPECT_NEAR(faces[3].max[0], 22.26f, kTol);
  for (int side : {2, 3}) {
    EXPECT_NEAR(faces[side].min[2], -3.05f, 0.02f) << side;
    EXPECT_NEAR(faces[side].max[2], 3.11f, 0.02f) << side;
  }
  EXPECT_NEAR(faces[4].min[1], 28.36f, 0.02f);  // top
  EXPECT_NEAR(faces[4].max[1], 28.36f, 0.02f);
  EXPECT_NEAR(faces[5].min[1], -29.6f, 0.02f);  // bottom
}

TEST_F(Geometry, CubeScalesEveryFaceAlike) {
  ApplyBoxStyle(*scene_, 7);
  scene_->productKind = kProductBox;
  const auto faces = faceBounds(6);
  // 5.2 x 5.2 over the 8.8-unit grid from -4.5, at 0.07 x 330 from the centre.
  EXPECT_NEAR(faces[0].min[0], -23.4f, kTol);
  EXPECT_NEAR(faces[0].max[0], 22.36f, kTol);
  EXPECT_NEAR(faces[0].min[1], -23.4f, kTol);
  EXPECT_NEAR(faces[0].max[1], 22.36f, kTol);
  EXPECT_NEAR(faces[0].max[2], 23.1f, kTol);
  const float distances[6] = {faces[0].max[2], -faces[1].min[2], -faces[2].min[0],
                              faces[3].max[0], faces[4].max[1], -faces[5].min[1]};
  for (float distance : distances) {
    EXPECT_GE(distance, 22.26f - kTol);
    EXPECT_LE(distance, 23.31f + kTol);
  }
}

TEST_F(Geometry, StoredBoxSizeNeverReachesTheDrawing) {
  ApplyBoxStyle(*scene_, 0);
  scene_->productKind = kProductBox;
  const auto before = faceBounds(6);
  scene_->boxSize = {1.0f, 2.0f, 3.0f};
  const auto after = faceBounds(6);
  EXPECT_FLOAT_EQ(before[0].max[0], after[0].max[0]);
  EXPECT_FLOAT_EQ(before[0].max[2], after[0].max[2]);
  EXPECT_FLOAT_EQ(scene_->boxSize[1], 0.26f);
}

TEST_F(Geometry, ScreenShotBoardFollowsThePicturesNaturalSize) {
  scene_->productKind = kProductScreenShot;
  scene_->pictureWidth[0] = 8000;  // 8 cm
  scene_->pictureHeight[0] = 6000;  // 6 cm
  scene_->scale = {0, 0, 0};
  const auto faces = faceBounds(2);
  EXPECT_NEAR(faces[0].max[0] - faces[0].min[0], 70.4f, kTol);
  EXPECT_NEAR(faces[0].max[1] - faces[0].min[1], 52.8f, kTol);
  EXPECT_NEAR(faces[1].max[0] - faces[1].min[0], 70.4f, kTol);
  EXPECT_FLOAT_EQ(scene_->screenShotSize[0], 8000.0f);
  EXPECT_FLOAT_EQ(scene_->screenShotSize[1], 6000.0f);
}

TEST_F(Geometry, PanMovesByAFiftiethAndZoomStepsBack) {
  ApplyBoxStyle(*scene_, 7);
  scene_->productKind = kProductBox;
  const auto still = faceBounds(6);
  scene_->pan = {100, -50, 10};
  const auto moved = faceBounds(6);
  EXPECT_NEAR(moved[0].min[0] - still[0].min[0], 2.0f, kTol);
  EXPECT_NEAR(moved[0].min[1] - still[0].min[1], -1.0f, kTol);
  EXPECT_NEAR(moved[0].max[2] - still[0].max[2], 10.0f, kTol);
}
