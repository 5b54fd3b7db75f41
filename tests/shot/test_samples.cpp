// The shipped sample animations: each one loads, plays and looks right.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "shot/program_folder.h"
#include "shot/project_io.h"
#include "shot/startup.h"
#include "render/render_to_image.h"
#include "tests/support/artwork_fixture.h"
#include "tests/support/image_compare.h"

using namespace kestrova;
namespace fs = std::filesystem;

using Samples = test::ArtworkScene;

TEST_F(Samples, EveryListedSampleLoadsAndPlaysWithALink) {
  ASSERT_GE(scene_->sequenceCount, 6);
  EXPECT_EQ(scene_->sequenceNames[static_cast<size_t>(scene_->sequenceCount)], kEndMarker);
  for (int i = 1; i <= scene_->sequenceCount; ++i) {
    const ProjectResult loaded = LoadPreset(*scene_, i);
    ASSERT_TRUE(loaded.ok) << loaded.error;
    EXPECT_TRUE(scene_->playing) << scene_->sequenceNames[static_cast<size_t>(i)];
    EXPECT_GT(scene_->animationLength, 100);
    EXPECT_EQ(scene_->websiteLink().rfind("http://www.kestrova.example/", 0), 0u);
  }
}

TEST_F(Samples, RetailBoxAtItsStartMiddleAndEnd) {
  ASSERT_TRUE(ReadProject(*scene_, "Sequences/01 Retail Box.TSMR").ok);
  const int last = scene_->bakedFrameCount - 1;
  EXPECT_MATCHES_BASELINE(draw(0), "sample_retail_box_first");
  EXPECT_MATCHES_BASELINE(draw(last / 2), "sample_retail_box_middle");
  EXPECT_MATCHES_BASELINE(draw(last), "sample_retail_box_last");
}
