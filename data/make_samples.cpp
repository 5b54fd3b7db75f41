// Writes the sample animations of the Sequences folder with the project
// writer: the first thing a new user sees, played one after the other by the
// introduction, and the presets of the control panel. "zzzzzzzzz.TSMR" ends
// the list and is itself a short closing animation.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "shot/project_io.h"
#include "animation/keyframes.h"
#include "scene/product_styles.h"

using namespace kestrova;

namespace {

struct Pose {
  Vec3 rotation;
  Vec3 pan{0, 0, 0};
  Vec3 spot{0, 0, 60};
};

class Sample {
 public:
  Sample(const std::string& page) : scene_(std::make_unique<SceneState>()) {
    SceneState& s = *scene_;
    const struct {
      TextureNameIndex name;
      TextureNameLengthIndex length;
      const char* file;
    } images[] = {
        {kNameBookFront, kLengthBookFront, "Books/standard-book-front.jpg"},
        {kNameBookBack, kLengthBookBack, "Books/standard-book-back.jpg"},
        {kNameBookSpine, kLengthBookSpine, "Books/standard-book-left.jpg"},
        {kNameMug, kLengthMug, "Mug/MugTexture.jpg"},
        {kNameBoxFront, kLengthBoxFront, "Boxes/standard-box-front.jpg"},
        {kNameBoxBack, kLengthBoxBack, "Boxes/standard-box-back.jpg"},
        {kNameBoxLeft, kLengthBoxLeft, "Boxes/standard-box-left.jpg"},
        {kNameBoxRight, kLengthBoxRight, "Boxes/standard-box-right.jpg"},
        {kNameBoxTop, kLengthBoxTop, "Boxes/standard-box-top.jpg"},
        {kNameBoxBottom, kLengthBoxBottom, "Boxes/standard-box-bottom.jpg"},
    };
    for (const auto& image : images) setImage(image.name, image.length, image.file);
    s.websiteLink() = "http://www.kestrova.example/samples/" + page + ".html";
    s.backgroundColor = {1, 1, 1};
    s.viewWidth = 1024;
    s.viewHeight = 680;
  }

  SceneState& scene() { return *scene_; }

  void setImage(TextureNameIndex name, TextureNameLengthIndex length, const std::string& file) {
    scene_->textureName[name] = file;
    scene_->textureNameLength[length] = static_cast<float>(file.size());
  }

  void box(int style) {
    scene_->productKind = kProductBox;
    ApplyBoxStyle(*scene_, style);
  }

  // The pose the shot starts from, then one key per later pose.
  void start(const Pose& pose) {
    key(0, pose);
    last_ = pose;
    lastFrame_ = 0;
  }

  // From the last pose to `pose` at `frame`, easing in and out: keys are
  // straight lines, so a few keys along a smooth curve stand in for it.
  void glide(int frame, const Pose& pose, int steps = 4) {
    for (int s = 1; s <= steps; ++s) {
      const float t = static_cast<float>(s) / static_cast<float>(steps);
      const float eased = t * t * (3.0f - 2.0f * t);
      Pose between;
      for (size_t c = 0; c < 3; ++c) {
        between.rotation[c] = last_.rotation[c] + (pose.rotation[c] - last_.rotation[c]) * eased;
        between.pan[c] = last_.pan[c] + (pose.pan[c] - last_.pan[c]) * eased;
        between.spot[c] = last_.spot[c] + (pose.spot[c] - last_.spot[c]) * eased;
      }
      key(lastFrame_ + static_cast<int>(static_cast<float>(frame - lastFrame_) * t + 0.5f), s == steps ? pose : between);
    }
    last_ = pose;
    lastFrame_ = frame;
  }
  void key(int frame, const Pose& pose) {
    KeyValues values{};
    for (size_t c = 0; c < 3; ++c) {
      values[c] = pose.rotation[c];
      values[3 + c] = pose.pan[c];
      values[6 + c] = pose.spot[c];
      values[9 + c] = scene_->scale[c];
    }
    if (frame == 0) {
      // The still values are the start pose too, so the shot opens on it.
      scene_->rotation = pose.rotation;
      scene_->pan = pose.pan;
      scene_->spotLight = pose.spot;
      scene_->baseScale = scene_->scale;
    }
    AddKeyWithValues(*scene_, frame, values);
  }

  bool write(const std::filesystem::path& path) {
    const ProjectResult result = WriteProject(*scene_, path.string());
    if (!result.ok) std::fprintf(stderr, "make-samples: %s\n", result.error.c_str());
    return result.ok;
  }

 private:
  std::unique_ptr<SceneState> scene_;
  Pose last_;
  int lastFrame_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kestrova-make-samples PROGRAM_FOLDER\n");
    return 2;
  }
  const std::filesystem::path folder = std::filesystem::path(argv[1]) / "Sequences";
  std::filesystem::create_directories(folder);
  bool ok = true;

  // Each sample fills most of the frame at its key poses and eases between
  // them; together they show the styles, the spot light, the modelled book,
  // the mug's glaze and the screen-shot board.
  {  // A retail box turning to show its front, its spine and its back.
    Sample s("retail-box");
    s.box(0);
    s.start({{8, -35, 0}, {0, 0, 6}});
    s.glide(100, {{10, 30, 0}, {0, 0, 10}});
    s.glide(190, {{6, 160, 0}, {0, 0, 4}});
    s.glide(300, {{10, 390, 0}, {0, 0, 10}});
    ok &= s.write(folder / "01 Retail Box.TSMR");
  }
  {  // A DVD case swinging in from the distance.
    Sample s("dvd-case");
    s.box(2);
    s.start({{0, -70, 0}, {0, 0, -30}});
    s.glide(150, {{14, 22, -4}, {0, 0, 34}});
    s.glide(260, {{12, 38, 0}, {0, 0, 38}});
    ok &= s.write(folder / "02 DVD Case.TSMR");
  }
  {  // A CD case under a moving spot light.
    Sample s("cd-case");
    s.box(4);
    s.scene().lightingMode = 2;
    s.start({{18, -25, 0}, {0, 0, 40}, {-40, 30, 90}});
    s.glide(150, {{20, 20, 0}, {0, 0, 46}, {30, -10, 90}});
    s.glide(280, {{16, 32, 0}, {0, 0, 46}, {5, 15, 90}});
    ok &= s.write(folder / "03 CD Case.TSMR");
  }
  {  // A cube tumbling over two axes and settling.
    Sample s("cube");
    s.box(7);
    s.start({{-20, 0, 0}, {0, 0, -24}});
    s.glide(110, {{40, 60, 10}, {0, 0, -4}});
    s.glide(220, {{25, 160, -8}, {0, 0, -6}});
    s.glide(330, {{22, 390, 0}, {0, 0, 0}});
    ok &= s.write(folder / "04 Cube.TSMR");
  }
  {  // A screen shot on a board; its last loaded picture sizes the board.
    Sample s("screen-shot");
    s.setImage(kNameBoxFront, kLengthBoxFront, "Boxes/kestrova-screenshot.jpg");
    s.setImage(kNameMug, kLengthMug, "Boxes/kestrova-screenshot.jpg");
    s.scene().productKind = kProductScreenShot;
    s.scene().scale = {0, 0, 0};
    s.start({{0, -45, 0}, {0, 0, -100}});
    s.glide(180, {{6, 18, 0}, {0, 0, -62}});
    s.glide(300, {{4, 26, 0}, {0, 0, -58}});
    ok &= s.write(folder / "05 Screen Shot.TSMR");
  }
  {  // The hard-back book turning to its back and round to the front again.
    Sample s("hard-back");
    s.scene().productKind = kProductBook;
    ApplyBookStyle(s.scene(), 0);
    s.start({{8, -40, 0}, {0, 0, 50}});
    s.glide(130, {{10, 40, 0}, {0, 0, 70}});
    s.glide(250, {{10, 175, 0}, {0, 0, 66}});
    s.glide(380, {{12, 385, 0}, {0, 0, 80}});
    ok &= s.write(folder / "06 Hard Back.TSMR");
  }
  {  // The coffee mug turning once round under the spot light, on a soft
     // blue backdrop so its white handle and rim read.
    Sample s("coffee-mug");
    s.scene().productKind = kProductMug;
    s.scene().scale = {0, 0, 0};
    s.scene().lightingMode = 2;
    s.scene().backgroundColor = {0.80f, 0.86f, 0.93f};
    s.scene().textureScroll = {0, 40};
    s.start({{22, -120, 0}, {0, 0, 60}, {-30, 40, 100}});
    s.glide(200, {{18, 20, 0}, {0, 0, 95}, {20, 30, 100}});
    s.glide(340, {{20, 240, 0}, {0, 0, 95}, {-10, 50, 100}});
    s.glide(420, {{20, 300, 0}, {0, 0, 105}, {0, 40, 100}});
    ok &= s.write(folder / "07 Coffee Mug.TSMR");
  }
  {  // The closing shot: the box comes forward and settles on the start pose.
    Sample s("kestrova");
    s.box(0);
    s.start({{10, -330, 0}, {0, 0, -160}});
    s.glide(200, {{12, 20, 0}, {0, 0, 4}});
    s.glide(280, {{10, 30, 0}, {0, 0, 8}});
    ok &= s.write(folder / "zzzzzzzzz.TSMR");
  }
  return ok ? 0 : 1;
}
