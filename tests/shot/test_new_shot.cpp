// New with and without the control panel open, after a drag.
#include <gtest/gtest.h>

#include <memory>

#include "scene/scene_edits.h"
#include "shot/new_shot.h"
#include "tests/support/headless_fixture.h"

using namespace kestrova;

using NewShotTest = test::HeadlessGL;

TEST_F(NewShotTest, WithThePanelOpenTheLastDragStepTurnsTheFreshShot) {
  for (bool panelOpen : {false, true}) {
    auto scene = std::make_unique<SceneState>();
    BeginDrag(*scene, false, 100, 100);
    DragTo(*scene, 106, 110, false, panelOpen);  // horizontal step 3, vertical 5
    scene->animationLength = 1;
    NewShot(*scene, panelOpen);
    // The vertical step turns about X, the horizontal one about Y.
    const Vec3 expected = panelOpen ? Vec3{35, 33, 0} : Vec3{30, 30, 0};
    EXPECT_EQ(scene->rotation, expected) << panelOpen;
    EXPECT_EQ(scene->baseRotation, expected) << "the animation starts from the new pose";
    EXPECT_EQ(scene->productKind, kProductBook);
    EXPECT_EQ(scene->scale, (Vec3{0, 14, -45}));
  }
}
