#include "cli/render_job.h"

#include "cli/job_parts.h"
#include "formats/file_identity.h"
#include "pictures/picture.h"
#include "render/shop_export.h"
#include "render/cover_cut.h"
#include "render/print_export.h"
#include "render/shop_files.h"
#include "scene/paper.h"

#include <GL/gl.h>
#include <QCryptographicHash>
#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <algorithm>
#include <array>
#include <chrono>
#include <cctype>
#include <cmath>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <utility>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "formats/json_writer.h"
#include "cli/render_options.h"
#include "formats/bmp_export.h"
#include "formats/file_names.h"
#include "formats/file_read.h"
#include "formats/file_replace.h"
#include "formats/video_writer.h"
#include "formats/model_3ds.h"
#include "formats/png_writer.h"
#include "pictures/qimage_bridge.h"
#include "shot/program_folder.h"
#include "shot/project_io.h"
#include "shot/startup.h"
#include "render/texture_loader.h"
#include "render/deferred_assets.h"
#include "render/export_image.h"
#include "render/render_to_image.h"
#include "render/headless_context.h"
#include "render/preflight.h"
#include "render/scene_initialiser.h"
#include "render/studio/studio_mesh.h"
#include "render/studio/studio_renderer.h"
#include "render/studio/studio_setup.h"
#include "scene/product_styles.h"

namespace fs = std::filesystem;

namespace kestrova {

namespace job {

// Moves the classic camera back until the product, turned any way about its
// pivot, stays whole in a width x height picture.
void FrameWholeProduct(SceneState& scene, int width, int height) {
  const studio::StudioMesh mesh = studio::CaptureProductMesh(scene);
  double reach = 0;
  for (const studio::MeshVertex& v : mesh.vertices) {
    reach = std::max(reach, std::sqrt(double(v.position[0]) * v.position[0] + double(v.position[1]) * v.position[1] +
                                      double(v.position[2]) * v.position[2]));
  }
  if (reach <= 0) return;
  // The classic lens is 45 degrees high.
  const double halfHigh = 22.5 * M_PI / 180;
  const double halfWide = std::atan(std::tan(halfHigh) * width / std::max(1, height));
  const double distance = reach / std::sin(std::min(halfHigh, halfWide)) * 1.05;
  const double current = -studio::ProductPivot(scene)[2];
  scene.pan[2] += static_cast<float>(current - distance);
}

// Whether the product of the shot shows the picture of `slot`.
bool ShowsSlot(const SceneState& scene, TextureSlot slot) {
  switch (ShownProductOf(scene.productKind).value_or(ShownProduct::Box)) {
    case ShownProduct::Box: return slot >= kSlotBoxFront && slot <= kSlotBoxBottom;
    case ShownProduct::ScreenShot: return slot == kSlotBoxFront;
    case ShownProduct::Mug: return slot == kSlotMug;
    case ShownProduct::Book: return slot >= kSlotBookFront && slot <= kSlotBookPage3;
  }
  return false;
}

// The faces that carry a seller's artwork: a book's page edges are the
// product's own.
bool IsArtworkFace(const SceneState& scene, TextureSlot slot) {
  if (!ShowsSlot(scene, slot)) return false;
  return slot < kSlotBookPage1 || slot > kSlotBookPage3;
}

// Once a render names any face, the faces it leaves out show plain card of
// one colour, never the program's sample artwork: a seller's box must not
// carry someone else's name on its top.
bool blankFacesNotGiven(SceneState& scene, const std::vector<TextureSlot>& given, uint32_t colour, std::string* why) {
  PreparedTexture plain;
  plain.width = plain.height = 4;
  for (int i = 0; i < 16; ++i) {
    plain.pixels.insert(plain.pixels.end(), {static_cast<uint8_t>(colour >> 16), static_cast<uint8_t>(colour >> 8),
                                             static_cast<uint8_t>(colour), 255});
  }
  // The board and the box size themselves by the last picture loaded: a
  // plain face must not count as one.
  const auto width = scene.pictureWidth[0], height = scene.pictureHeight[0];
  for (int s = 0; s < kTextureSlotCount; ++s) {
    const auto slot = static_cast<TextureSlot>(s);
    if (!IsArtworkFace(scene, slot) || std::find(given.begin(), given.end(), slot) != given.end()) continue;
    if (!UploadTexture(scene, plain, scene.textureSlot[slot], why)) return false;
  }
  scene.pictureWidth[0] = width;
  scene.pictureHeight[0] = height;
  return true;
}

// The --face name of a slot.
const char* SlotFaceName(TextureSlot slot) {
  switch (slot) {
    case kSlotBoxFront: return "front";
    case kSlotBoxBack: return "back";
    case kSlotBoxLeft: return "left";
    case kSlotBoxRight: return "right";
    case kSlotBoxTop: return "top";
    case kSlotBoxBottom: return "bottom";
    case kSlotMug: return "mug";
    case kSlotBookFront: return "book-front";
    case kSlotBookBack: return "book-back";
    case kSlotBookSpine: return "book-spine";
    default: return "pages";
  }
}

}  // namespace job

using namespace job;

const char* const kStoppedWhenAsked = "stopped when asked";

void StopWhenSet(const volatile std::sig_atomic_t* flag) { stopFlag = flag; }

void PrintTimings(bool on) { phases().start(on); }

bool WritePng(const RgbaImage& image, const std::string& path, bool alpha, const FileText& text, std::string* error) {
  PngWriter png;
  return png.open(path, image.width, image.height, alpha, error, text) &&
         png.write(image.pixels.data(), image.height, error) && png.finish(error);
}

int RunJob(const RenderOptions& options, JobContext& context, std::string* failure) {
  if (!options.info.empty()) {
    if (EndsWithIgnoringCase(options.info, ".3ds")) return modelInfo(options.info);
    if (EndsWithIgnoringCase(options.info, ".tsmr")) return projectInfo(options.info);
    fail("--info reads a .3ds model or a .TSMR project");
  }
  if (!options.preflight && !options.shopCheck && options.video.empty() && !options.output.empty() &&
      !EndsWithIgnoringCase(options.output, ".png") &&
      !EndsWithIgnoringCase(options.output, ".bmp") &&
      !isJpeg(options.output)) {
    fail("the output file must end in .png, .jpg, .jpeg or .bmp");
  }


  // Pictures are drawn into off-screen framebuffers of their own size, in
  // tiles: the pbuffer itself only holds the context.
  phases().lap("options");
  if (!context.gl) context.gl = std::make_unique<HeadlessContext>(64, 64);
  if (!context.gl->isValid()) return failed(failure, "no headless OpenGL context: " + context.gl->error());
  phases().lap("context");
  // The default artwork lies beside the executable; the output name is taken
  // before the start-up makes that folder the current directory.
  std::error_code ignored;
  // Names are the user's, from the current folder or the batch's.
  const fs::path output = resolveOutput(options, options.output);
  const fs::path project = options.project.empty() ? fs::path() : resolve(options, options.project);
  if (options.transparent && options.video.empty() && !options.output.empty() &&
      !EndsWithIgnoringCase(options.output, ".png")) fail("--transparent writes PNG: name a .png output");
  std::optional<FramePattern> pattern;
  if (options.frames) {
    // Read from the name as given: the folder it lands in may hold a "%".
    pattern = ParseFramePattern(options.output);
    if (!pattern) fail("--frames wants an output name with one %d field (for example out_%04d.png)");
  }
  const fs::path programFolder = FindDataFolder(fs::read_symlink("/proc/self/exe", ignored).parent_path().string());
  auto scene = std::make_unique<SceneState>();
  // Jobs share the context: each gives its textures back when it ends.
  const struct TextureRelease {
    SceneState& shot;
    ~TextureRelease() {
      std::vector<GLuint> names(shot.textureSlot.begin(), shot.textureSlot.end());
      std::sort(names.begin(), names.end());
      names.erase(std::unique(names.begin(), names.end()), names.end());
      names.erase(std::remove(names.begin(), names.end(), 0u), names.end());
      glDeleteTextures(static_cast<GLsizei>(names.size()), names.data());
    }
  } release{*scene};
  // Only what the product drawn shows is decoded and read.
  StartupHooks lean;
  lean.deferAssets = true;
  InitialiseScene(*scene, programFolder.string(), 1, lean);
  scene->productKind = options.product;
  if (options.product <= 1.0f) {
    if (options.style >= kBookStyleCount) fail("a book style is a number from 0 to 2");
    // As the panel's list: only the hard back sets the style; the two
    // paperbacks keep it, so both draw as the flat book.
    const int32_t kept = scene->bookStyle;
    ApplyBookStyle(*scene, options.style);
    if (options.style != 0) scene->bookStyle = kept;
  } else {
    ApplyBoxStyle(*scene, options.style);
  }
  // The mug has no style: it keeps its own round shape, not a box style's
  // squeeze.
  if (options.product == kProductMug) scene->scale = {0, 0, 0};
  // The board as the panel's Screen Shot box sets it up.
  if (options.product == kProductScreenShot) scene->scale = {-179, 0, 0};
  scene->startupFrameCount = 2;  // past the start-up frames that force the box
  if (!options.project.empty()) {
    WebPictures web;
    web.allowed = options.allowWeb;
    const ProjectResult loaded = ReadProject(*scene, project.string(), nullptr, &web);
    if (!loaded.ok) {
      return failed(failure, loaded.error);
    }
    // A face of the product drawn that keeps another picture than its own
    // would be a wrong picture passed off as the shot.
    std::vector<std::string> shownMissing;
    for (const ProjectResult::MissingFace& face : loaded.missingFaces) {
      if (!ShowsSlot(*scene, face.slot)) continue;
      shownMissing.push_back("the " + std::string(SlotFaceName(face.slot)) + " picture " + face.name +
                             " was not loaded: " + face.reason +
                             (options.allowWeb || face.reason.find("web") == std::string::npos ? "" : " (see --allow-web)"));
    }
    if (!shownMissing.empty() && !options.allowMissing) {
      std::string why = project.string() + ": ";
      for (size_t i = 0; i < shownMissing.size(); ++i) why += (i ? "; " : "") + shownMissing[i];
      return failed(failure, why + " (--allow-missing draws the default picture instead)");
    }
    for (const std::string& face : shownMissing) {
      std::fprintf(stderr, "kestrova-render: %s; drew the default picture instead\n", Printable(face).c_str());
    }
  } else if (options.product == kProductScreenShot) {
    // The board takes its size from the last picture loaded: make that the
    // picture it shows, as picking it in the program would.
    LoadTexture(*scene, "Boxes/standard-box-front.jpg", scene->textureSlot[kSlotBoxFront]);
    FrameWholeProduct(*scene, options.width, options.height);
  }
  // This render's own pictures, over the project's or the defaults, by the
  // faces of the product drawn.
  std::vector<std::pair<TextureSlot, std::string>> faces;
  for (const auto& [face, image] : options.faces) {
    const std::optional<TextureSlot> slot = FaceSlot(face, scene->productKind);
    if (!slot) fail("--face " + face + ": this product's faces are " + FaceNames(scene->productKind));
    faces.emplace_back(*slot, resolve(options, image).string());
  }
  // A one-piece cover, cut into the faces it covers by the product's
  // template; the pieces live as long as this run.
  QTemporaryDir wrapPieces;
  std::vector<std::pair<std::string, std::string>> wrapNames;
  if (!options.wrap.empty()) {
    PrintTemplateRequest request;
    request.bleed = options.bleed;
    std::copy(options.dimensions, options.dimensions + 3, request.dimensions);
    if (options.pages > 0 && scene->productKind <= 1.0f) request.spine = SpineMm(*scene, options);
    std::vector<std::pair<TextureSlot, std::string>> pieces;
    std::string why;
    if (!wrapPieces.isValid() ||
        !CutWrap(*scene, request, resolve(options, options.wrap).string(), wrapPieces.path().toStdString(), &pieces, &why)) {
      return failed(failure, "cannot use the cover: " + why);
    }
    for (const auto& piece : pieces) {
      faces.insert(faces.begin() + static_cast<std::ptrdiff_t>(wrapNames.size()), piece);
      wrapNames.emplace_back("wrap", piece.second);
    }
  }
  std::vector<std::pair<std::string, std::string>> faceNames = wrapNames;
  faceNames.insert(faceNames.end(), options.faces.begin(), options.faces.end());
  std::vector<std::pair<std::string, std::string>> unreadable;  // face, why: the check reports them
  for (size_t i = 0; i < faces.size(); ++i) {
    const float absolute = scene->imagePathIsAbsolute;
    scene->imagePathIsAbsolute = 2;
    std::string why;
    const bool loaded = LoadTexture(*scene, faces[i].second, scene->textureSlot[faces[i].first], &why);
    scene->imagePathIsAbsolute = absolute;
    if (!loaded && options.preflight) {
      unreadable.emplace_back(faceNames[i].first, "cannot use " + faces[i].second + ": " + why);
      continue;
    }
    if (!loaded) {
      return failed(failure, "cannot use " + faces[i].second + " for --face " + faceNames[i].first + ": " + why);
    }
  }
  if (project.empty() && !faces.empty()) {
    std::vector<TextureSlot> given;
    for (const auto& face : faces) given.push_back(face.first);
    std::string why;
    if (!blankFacesNotGiven(*scene, given, options.blank, &why)) return failed(failure, "cannot draw the plain faces: " + why);
  }
  // Pictures that loaded, though not quite as they asked.
  for (const std::string& note : TakePictureNotes()) {
    std::fprintf(stderr, "kestrova-render: %s\n", Printable(note).c_str());
  }
  if (options.rotation) scene->rotation = *options.rotation;
  if (options.lighting) scene->lightingMode = 2;
  // The project's floor and look (or the defaults), with what the command
  // line names over them.
  StudioFloor& floor = scene->studioFloor;
  StudioLook& look = scene->look;
  const bool fromProject = floor.on() || look.studio;
  if (options.isNamed("--floor")) floor.shadow = options.floor.shadow, floor.reflection = options.floor.reflection;
  if (options.isNamed("--shadow")) floor.shadowStrength = options.floor.shadowStrength;
  if (options.isNamed("--reflection")) floor.reflectionStrength = options.floor.reflectionStrength;
  if (options.isNamed("--softness")) floor.softness = options.floor.softness;
  if (options.isNamed("--look")) look.studio = options.look.studio;
  if (options.isNamed("--studio")) look.setup = options.look.setup;
  if (options.isNamed("--lens")) look.lens = options.look.lens;
  if (options.isNamed("--fit")) look.fit = options.look.fit;
  if (options.isNamed("--gloss")) look.gloss = options.look.gloss;
  if (options.isNamed("--glaze")) look.glaze = options.glaze;
  if (options.isNamed("--radius")) look.radius = options.look.radius;
  if (options.isNamed("--device")) look.device = options.look.device;
  if (options.isNamed("--screen-fit")) look.screenCover = options.look.screenCover;
  if (options.isNamed("--title")) look.title = options.look.title;
  if (options.isNamed("--environment")) look.environment = resolve(options, options.look.environment).string();
  if (!look.environment.empty() && !options.isNamed("--environment") && !project.empty() &&
      fs::path(look.environment).is_relative()) {
    look.environment = (project.parent_path() / look.environment).string();
  }
  // A photographed product stands on its shadow.
  if (look.studio && !fromProject && !options.isNamed("--floor")) floor.shadow = true;
  // A set-up with a sweep of its own (the dark one) brings it, unless the
  // command line names a background.
  std::optional<Vec3> background = options.background;
  if (!background && look.studio && options.isNamed("--studio")) {
    if (const auto sweep = studio::SetupBackground(look.setup)) background = Vec3{(*sweep)[0], (*sweep)[1], (*sweep)[2]};
  }
  if (background) {
    scene->backgroundColor = *background;
    ApplyClearColor(*scene);
  }
  if (options.preflight) return preflight(*scene, options, unreadable, failure);
  if (options.shopCheck) return shopCheck(*scene, options, failure);
  refuseCrossedFiles(options, *scene, project, faces, output, pattern);
  if (options.pages > 0 && scene->productKind <= 1.0f && options.dimensions[2] <= 0) {
    // The picture shows the book as thick as its pages make it, as the
    // model is.
    studio::FitDepthToHeight(*scene, SpineMm(*scene, options) / (RealHeightMetres(*scene) * 1000));
  }
  if (!options.describe.empty()) {
    if (!look.studio) fail("--describe writes the studio look's scene: add --look studio");
    std::string json, why;
    const std::string path = resolve(options, options.describe).string();
    if (!studio::DescribeStudioShot(*scene, options.width, options.height, &json, &why) ||
        !ReplaceFile(path, {json.begin(), json.end()}, &why)) {
      return failed(failure, "cannot describe the studio in " + path + ": " + why);
    }
  }

  if (!options.glb.empty() || !options.usdz.empty() || !options.html.empty()) {
    if (!writeShopModels(*scene, options, programFolder, failure)) return 1;
  }
  if (!options.printTemplate.empty()) {
    PrintTemplateRequest request;
    request.path = resolveOutput(options, options.printTemplate).string();
    request.bleed = options.bleed;
    request.safe = options.safe;
    request.blank = options.blankTemplate;
    std::copy(options.dimensions, options.dimensions + 3, request.dimensions);
    if (options.pages > 0 && scene->productKind <= 1.0f) request.spine = SpineMm(*scene, options);
    std::string why;
    if (!ExportPrintTemplate(*scene, request, &why)) return failed(failure, "cannot write the print template: " + why);
    std::printf("Wrote %s\n", Printable(request.path).c_str());
  }
  if (options.output.empty() && options.video.empty()) return 0;  // no picture was asked for

  return writePictures(*scene, options, context, project, output, pattern, failure);
}

}  // namespace kestrova
