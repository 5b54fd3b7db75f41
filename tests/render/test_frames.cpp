// Whole frames drawn headless and compared with baselines a person looked at.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "render/classic/face_geometry.h"
#include "render/classic/render_frame.h"
#include "scene/scene_edits.h"
#include "render/render_to_image.h"
#include "render/scene_initialiser.h"
#include "scene/product_styles.h"
#include "tests/support/headless_fixture.h"
#include "tests/support/image_compare.h"
#include "tests/support/test_textures.h"

using namespace kestrova;

namespace {

struct RecordingHost : RenderHost {
  std::vector<FaceRequest> requests;
  std::vector<int> timeline;
  int introStarts = 0;
  int syncs = 0;
  void requestFaceImage(FaceRequest face) override { requests.push_back(face); }
  void showTimelineFrame(int frame) override { timeline.push_back(frame); }
  void enableIntroStart() override { ++introStarts; }
  void syncPanelControls() override { ++syncs; }
};

class Frames : public test::HeadlessGL {
 protected:
  void SetUp() override {
    HeadlessGL::SetUp();
    scene_ = std::make_unique<SceneState>();
    InitialiseSceneDefaults(*scene_);
    ApplyClearColor(*scene_);
    test::FillSlotsWithTestTextures(*scene_);
  }

  // A shot past the start-up frames, so the chosen product shows.
  void pastStartup() { scene_->startupFrameCount = 2; }

  RgbaImage draw() { return RenderToImage(*scene_, host_, kWidth, kHeight); }

  // A ten-frame animation turning Y from 0 to 90 and panning X.
  void loadTurningTracks() {
    for (int f = 0; f < 10; ++f) {
      const auto i = static_cast<size_t>(f);
      scene_->tweenRotation[0][i] = 20.0f;
      scene_->tweenRotation[1][i] = 10.0f * static_cast<float>(f);
      scene_->tweenPan[0][i] = 20.0f * static_cast<float>(f);
      scene_->tweenSpot[2][i] = 10.0f;
      scene_->tweenScale[0][i] = -20.0f;
      scene_->tweenScale[1][i] = -20.0f;
      scene_->tweenScale[2][i] = -45.0f;
    }
    scene_->animationLength = 10;
    scene_->bakedFrameCount = 10;
    scene_->playing = true;
    scene_->productKind = kProductBox;
    ApplyBoxStyle(*scene_, 0);
  }

  std::unique_ptr<SceneState> scene_;
  RecordingHost host_;
};

}  // namespace

TEST_F(Frames, DefaultBox) {
  // A fresh scene shows the box whatever kind was set before the first frames.
  scene_->productKind = kProductBook;
  ApplyBoxStyle(*scene_, 0);
  EXPECT_MATCHES_BASELINE(draw(), "default_box");
  EXPECT_EQ(scene_->productKind, kProductBox);
}

TEST_F(Frames, FirstTwoStillFramesForceTheBox) {
  scene_->productKind = kProductScreenShot;
  draw();
  EXPECT_EQ(scene_->productKind, kProductBox);
  scene_->productKind = kProductScreenShot;
  draw();
  EXPECT_EQ(scene_->productKind, kProductBox);
  scene_->productKind = kProductScreenShot;
  draw();
  EXPECT_EQ(scene_->productKind, kProductScreenShot);
  EXPECT_EQ(scene_->startupFrameCount, 3.0f);
}

TEST_F(Frames, EveryBoxStyle) {
  pastStartup();
  scene_->productKind = kProductBox;
  for (int style = 0; style < kBoxStyleCount; ++style) {
    ApplyBoxStyle(*scene_, style);
    EXPECT_MATCHES_BASELINE(draw(), "box_style_" + std::to_string(style));
  }
}

TEST_F(Frames, FlatPaperbackUsesTheBookSlots) {
  pastStartup();
  scene_->productKind = kProductBook;
  ApplyBookStyle(*scene_, 1);
  EXPECT_MATCHES_BASELINE(draw(), "flat_paperback");
  EXPECT_EQ(scene_->bookFlag, 0.0f);
}

TEST_F(Frames, BookWithAnUnknownBindingOrStyleDrawsNothing) {
  pastStartup();
  scene_->productKind = kProductBook;
  ApplyBookStyle(*scene_, 1);
  scene_->bookBinding = 1.5f;
  const RgbaImage empty = draw();
  for (size_t i = 0; i < empty.pixels.size(); i += 4) ASSERT_EQ(empty.pixels[i], 255);
  scene_->bookBinding = 1.0f;
  scene_->bookStyle = 2;
  const RgbaImage slim = draw();
  for (size_t i = 0; i < slim.pixels.size(); i += 4) ASSERT_EQ(slim.pixels[i], 255);
}

TEST_F(Frames, ScreenShotBoard) {
  pastStartup();
  scene_->productKind = kProductScreenShot;
  scene_->pictureWidth[0] = 8000;
  scene_->pictureHeight[0] = 6000;
  scene_->scale = {0, 0, 0};
  EXPECT_MATCHES_BASELINE(draw(), "screenshot_board");
}

TEST_F(Frames, LightingOffAndOnWithTheSpotMoved) {
  pastStartup();
  scene_->productKind = kProductBox;
  ApplyBoxStyle(*scene_, 0);
  EXPECT_MATCHES_BASELINE(draw(), "lighting_off");
  scene_->lightingMode = 2;
  EXPECT_MATCHES_BASELINE(draw(), "lighting_on");
  scene_->spotLight = {-40, 30, 60};
  EXPECT_MATCHES_BASELINE(draw(), "lighting_spot_moved");
}

TEST_F(Frames, LightingOffLeavesSpotEditing) {
  pastStartup();
  scene_->lightingMode = 0;
  scene_->panelSubMode = 2;
  draw();
  EXPECT_EQ(scene_->panelSubMode, 0.0f);
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  scene_->lightingMode = 2;
  scene_->panelSubMode = 2;
  draw();
  EXPECT_EQ(scene_->panelSubMode, 2.0f);
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
}

TEST_F(Frames, PlaybackStepsAndHoldsTheLastFrame) {
  loadTurningTracks();
  scene_->formatVersion = std::string(1, '\x05');
  EXPECT_MATCHES_BASELINE(draw(), "playback_frame_0");
  EXPECT_EQ(scene_->currentFrame, 1);
  EXPECT_EQ(host_.timeline, std::vector<int>{0});  // the frame just drawn
  for (int i = 1; i < 9; ++i) draw();
  EXPECT_EQ(scene_->currentFrame, 9);
  EXPECT_MATCHES_BASELINE(draw(), "playback_frame_9");
  EXPECT_MATCHES_BASELINE(draw(), "playback_frame_9");
  EXPECT_EQ(scene_->currentFrame, 9);
  EXPECT_FLOAT_EQ(scene_->rotation[1], 90.0f);
  EXPECT_FLOAT_EQ(scene_->pan[0], 180.0f);
  EXPECT_EQ(host_.syncs, 11);
}

TEST_F(Frames, ScaleTrackPlaysFromFormatThreeOn) {
  loadTurningTracks();
  scene_->formatVersion = std::string(1, '\x02');
  scene_->scale = {0, 0, 0};
  const RgbaImage older = draw();
  EXPECT_EQ(scene_->scale, (Vec3{0, 0, 0}));
  EXPECT_MATCHES_BASELINE(older, "scale_gate_version_2");

  scene_->currentFrame = 0;
  scene_->formatVersion = std::string(1, '\x03');
  const RgbaImage newer = draw();
  EXPECT_EQ(scene_->scale, (Vec3{-20, -20, -45}));
  EXPECT_MATCHES_BASELINE(newer, "scale_gate_version_3");

  // The Scale radio on a version-2 shot: its scale track plays from then on.
  scene_->currentFrame = 0;
  scene_->formatVersion = std::string(1, '\x02');
  scene_->scale = {0, 0, 0};
  SelectMovementMode(*scene_, 3);
  draw();
  EXPECT_EQ(scene_->scale, (Vec3{-20, -20, -45}));
}

TEST_F(Frames, OneFrameAnimationStaysOnFrameZero) {
  loadTurningTracks();
  scene_->animationLength = 1;
  draw();
  draw();
  EXPECT_EQ(scene_->currentFrame, 0);
}

TEST_F(Frames, EndMarkerResetsTheIntroPositionAndTheLastFrameEnablesStart) {
  loadTurningTracks();
  scene_->sequenceNames[3] = kEndMarker;
  scene_->sequenceIndex = 3;
  int dialog = 0;
  scene_->introDialog = reinterpret_cast<IntroDialog*>(&dialog);
  draw();
  EXPECT_EQ(scene_->sequenceIndex, 0);
  for (int i = 0; i < 9; ++i) draw();
  EXPECT_GE(host_.introStarts, 1);
  scene_->introDialog = nullptr;
}

TEST_F(Frames, RequestsAreClearedAndServedInOrderOnTheStillPathOnly) {
  pastStartup();
  scene_->productKind = kProductBox;
  scene_->boxTopLoadRequest = 2;
  scene_->boxFrontLoadRequest = 2;
  scene_->boxBackLoadRequest = 1;  // below 2: not pending
  draw();
  EXPECT_EQ(host_.requests, (std::vector<FaceRequest>{FaceRequest::BoxFront, FaceRequest::BoxTop}));
  EXPECT_EQ(scene_->boxFrontLoadRequest, 0.0f);
  EXPECT_EQ(scene_->boxBackLoadRequest, 1.0f);

  host_.requests.clear();
  loadTurningTracks();
  scene_->boxLeftLoadRequest = 2;
  draw();
  EXPECT_TRUE(host_.requests.empty()) << "a box request waits while playback runs";
  scene_->playing = false;
  draw();
  EXPECT_EQ(host_.requests, std::vector<FaceRequest>{FaceRequest::BoxLeft});
}

TEST_F(Frames, BookAndMugRequestsAreServedDuringPlaybackToo) {
  loadTurningTracks();
  scene_->productKind = kProductBook;
  scene_->bookSpineLoadRequest = 2;
  scene_->bookFrontLoadRequest = 2;
  draw();
  EXPECT_EQ(host_.requests,
            (std::vector<FaceRequest>{FaceRequest::BookFront, FaceRequest::BookSpine}));
  host_.requests.clear();
  scene_->productKind = kProductMug;
  scene_->mugLoadRequest = 2;
  draw();
  EXPECT_EQ(host_.requests, std::vector<FaceRequest>{FaceRequest::Mug});
}

TEST_F(Frames, StrayCurrentFrameNeverReadsPastTheTracks) {
  loadTurningTracks();
  scene_->tweenRotation[1][kTrackFrames - 1] = 77.0f;
  scene_->currentFrame = 123456;
  scene_->animationLength = 10;
  draw();
  EXPECT_EQ(scene_->rotation[1], 77.0f) << "read at the last frame the tracks hold";
  scene_->currentFrame = -7;
  draw();
  EXPECT_EQ(scene_->rotation[1], 0.0f) << "read at frame 0";
  EXPECT_EQ(scene_->rotation[0], 20.0f);
}

namespace {

std::array<float, 4> light(GLenum what) {
  std::array<float, 4> v{};
  glGetLightfv(GL_LIGHT1, what, v.data());
  return v;
}

}  // namespace

// The spot and the lamp as the GL holds them after a frame, against the
// values the lighting table gives each product: divisor k of the position,
// exponent, cutoff 90, direction down the view; the lamp reset's ambient,
// diffuse and position.
TEST_F(Frames, TheSpotAndTheLampAreSetAsEachProductWantsThem) {
  pastStartup();
  scene_->lightingMode = 2;
  scene_->spotLight = {30, -60, 90};
  scene_->bookSpotInitialised = 4;  // past the book's first frame, which lifts the spot once
  const struct {
    const char* product;
    float kind, binding;
    float k, exponent;
  } cases[] = {
      {"box", kProductBox, 2, 3, 40},          // the last face drawn is a side
      {"paperback", kProductBook, 1, 3, 40},
      {"hard back", kProductBook, 2, 5, 40},
      {"screen shot", kProductScreenShot, 2, 1, 40},
  };
  for (const auto& c : cases) {
    scene_->productKind = c.kind;
    scene_->bookBinding = c.binding;
    draw();
    EXPECT_EQ(light(GL_SPOT_CUTOFF)[0], 90.0f) << c.product;
    EXPECT_EQ(light(GL_SPOT_EXPONENT)[0], c.exponent) << c.product;
    const auto position = light(GL_POSITION);
    EXPECT_FLOAT_EQ(position[0], 30.0f / c.k) << c.product;
    EXPECT_FLOAT_EQ(position[1], -60.0f / c.k) << c.product;
    EXPECT_FLOAT_EQ(position[2], 90.0f / c.k) << c.product;
    const auto direction = light(GL_SPOT_DIRECTION);
    EXPECT_EQ(direction[2], -1.0f) << c.product;
  }
  // The hard back resets the lamp before each model; with lighting off that
  // is what the GL keeps.
  scene_->lightingMode = 0;
  scene_->productKind = kProductBook;
  scene_->bookBinding = 2;
  draw();
  EXPECT_EQ(light(GL_AMBIENT), (std::array<float, 4>{0.5f, 0.5f, 0.5f, 1.0f}));
  EXPECT_EQ(light(GL_DIFFUSE), (std::array<float, 4>{1.0f, 1.0f, 1.0f, 1.0f}));
  EXPECT_EQ(light(GL_POSITION), (std::array<float, 4>{0.0f, 0.0f, 0.0f, 1.0f}));
}

TEST_F(Frames, VertexArraysDrawTheSamePixelsAsImmediateMode) {
  pastStartup();
  scene_->productKind = kProductBox;
  scene_->lightingMode = 2;
  for (int style : {0, 7}) {
    ApplyBoxStyle(*scene_, style);
    UseImmediateModeFaces(true);
    const RgbaImage immediate = draw();
    UseImmediateModeFaces(false);
    const RgbaImage arrays = draw();
    EXPECT_TRUE(immediate.pixels == arrays.pixels) << "style " << style;
  }
}
