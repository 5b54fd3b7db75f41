#include "cli/render_job.h"

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

namespace {

[[noreturn]] void fail(const std::string& message) { throw UsageError(message); }

const volatile std::sig_atomic_t* stopFlag = nullptr;

bool stopAsked() { return stopFlag != nullptr && *stopFlag != 0; }

int failed(std::string* failure, const std::string& why) {
  if (failure) *failure = why;
  return 1;
}

fs::path resolve(const RenderOptions& options, const std::string& name) {
  const fs::path path(name);
  if (path.is_absolute() || options.folder.empty()) return fs::absolute(path);
  return fs::path(options.folder) / path;
}

// Outputs named in a spreadsheet's cell are the spreadsheet's, from its
// folder; others the current folder's.
fs::path resolveOutput(const RenderOptions& options, const std::string& name) {
  const fs::path path(name);
  if (path.is_absolute() || options.outputFolder.empty()) return resolve(options, name);
  return fs::path(options.outputFolder) / path;
}

// The model options the command line asks for.
ShopExportOptions shopOptionsOf(const RenderOptions& options) {
  ShopExportOptions shop;
  shop.textureSize = options.textureSize;
  std::copy(options.dimensions, options.dimensions + 3, shop.dimensions);
  return shop;
}

// A book's thickness for --pages and --paper, as printers work out a spine:
// the leaves times the paper's caliper; the hard back's two boards beside
// them (the program's are 0.14 of its 11.2 units of height each: 2.8 mm at
// its 225 mm).
double SpineMm(const SceneState& scene, const RenderOptions& options) {
  const double caliper = PaperCaliperMm(options.paperGsm).value_or(0.1);
  constexpr double kHardBackBoardsMm = 2 * 0.14 / 11.2 * 225;
  return PageBlockMm(options.pages, caliper) + (scene.bookBinding >= 2.0f ? kHardBackBoardsMm : 0.0);
}

// --glb, --usdz and --html: the product as a shop's 3D model, beside its
// picture, and a page that shows it.
bool writeShopModels(SceneState& scene, const RenderOptions& options, const fs::path& programFolder,
                     std::string* failure) {
  ShopFilesRequest request;
  if (!options.glb.empty()) request.glb = resolveOutput(options, options.glb).string();
  if (!options.usdz.empty()) request.usdz = resolveOutput(options, options.usdz).string();
  if (!options.html.empty()) request.html = resolveOutput(options, options.html).string();
  request.model = shopOptionsOf(options);
  if (options.pages > 0 && request.model.dimensions[2] <= 0 && scene.productKind <= 1.0f) {
    request.model.dimensions[2] = static_cast<float>(SpineMm(scene, options));
  }
  request.limitBytes = static_cast<uint64_t>(options.modelLimitMB) << 20;
  request.width = options.width;
  request.height = options.height;
  request.programFolder = programFolder.string();
  // The page's pictures have their own option; --turntable N alone (no
  // video, whose seconds it counts) still means N pictures, as it did.
  request.turnPictures = options.turnPictures > 0 ? options.turnPictures
                         : options.video.empty() && options.turntable > 0 ? static_cast<int>(std::lround(options.turntable))
                                                                          : 0;
  request.tooLarge = [&options](const std::string& path, uint64_t bytes) {
    return path + " would be " + Megabytes(bytes) + " MB, more than the " + std::to_string(options.modelLimitMB) +
           " MB a shop page takes: a smaller --texture-size (now " + std::to_string(options.textureSize) +
           ") makes it smaller";
  };
  std::vector<std::string> wrote;
  std::string why;
  const bool written = WriteShopFiles(scene, request, &wrote, &why);
  for (const std::string& line : wrote) std::printf("Wrote %s\n", line.c_str());
  if (!written) failed(failure, why);
  return written;
}

// --timings: how long each phase took, printed to stderr at the end, so
// anyone can see where a render's time goes.
class PhaseClock {
 public:
  void start(bool on) {
    on_ = on;
    last_ = begin_ = std::chrono::steady_clock::now();
  }
  void lap(const char* phase) {
    if (!on_) return;
    const auto now = std::chrono::steady_clock::now();
    laps_.emplace_back(phase, std::chrono::duration<double, std::milli>(now - last_).count());
    last_ = now;
  }
  void print() {
    if (!on_) return;
    lap("other");
    std::string line = "kestrova-render: timings (ms):";
    char piece[64];
    for (const auto& [phase, ms] : laps_) {
      std::snprintf(piece, sizeof piece, " %s %.1f,", phase, ms);
      line += piece;
    }
    std::snprintf(piece, sizeof piece, " total %.1f",
                  std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin_).count());
    line += piece;
    // And the memory: the peak, and what is resident now of the heap and of
    // mapped files (the libraries).
    std::ifstream status("/proc/self/status");
    for (std::string entry; std::getline(status, entry);) {
      for (const char* field : {"VmHWM:", "RssAnon:", "RssFile:"}) {
        if (entry.rfind(field, 0) == 0) {
          const long kib = std::strtol(entry.c_str() + std::strlen(field), nullptr, 10);
          std::snprintf(piece, sizeof piece, "; %.*s %.1f MiB", static_cast<int>(std::strlen(field) - 1), field,
                        static_cast<double>(kib) / 1024.0);
          line += piece;
        }
      }
    }
    std::fputs((line + "\n").c_str(), stderr);
    laps_.clear();
  }

 private:
  bool on_ = false;
  std::chrono::steady_clock::time_point begin_, last_;
  std::vector<std::pair<const char*, double>> laps_;
};

PhaseClock phases;

// What the model loader said of the models the render read, if anything.
void reportModelMessages(const SceneState& scene) {
  for (const auto& [caption, text] : scene.deferred.messages) {
    std::fprintf(stderr, "kestrova-render: %s: %s\n", Printable(caption).c_str(), Printable(text).c_str());
  }
}

bool isJpeg(const std::string& path) { return EndsWithIgnoringCase(path, ".jpg") || EndsWithIgnoringCase(path, ".jpeg"); }

bool writeImage(const RgbaImage& image, const std::string& path, int quality, std::string* error,
                bool keepAlpha, const FileText& text) {
  if (EndsWithIgnoringCase(path, ".bmp")) return WriteBmpFile(path, CaptureFromRgba(image), error);
  if (EndsWithIgnoringCase(path, ".png")) {
    PngWriter png;
    return png.open(path, image.width, image.height, keepAlpha, error, text) &&
           png.write(image.pixels.data(), image.height, error) && png.finish(error);
  }
  QImage picture = ToQImage(image);
  // The frame's alpha is the clear colour's, not a cut-out: save it opaque.
  const bool jpeg = isJpeg(path);
  // Straight (not premultiplied) alpha, as PNG stores it.
  const QImage::Format format = keepAlpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888;
  QImage stored = picture.convertToFormat(format);
  // A JPEG keeps the text as its comment.
  for (const auto& [key, value] : text) stored.setText(QString::fromStdString(key), QString::fromStdString(value));
  QByteArray encoded;
  QBuffer buffer(&encoded);
  buffer.open(QIODevice::WriteOnly);
  if (!stored.save(&buffer, jpeg ? "JPEG" : "PNG", jpeg ? quality : -1)) {
    *error = "cannot write " + path + ": the picture could not be encoded";
    return false;
  }
  // Whole or not at all: a failed write keeps the file that was there.
  std::string reason;
  if (!ReplaceFile(path, {encoded.begin(), encoded.end()}, &reason)) {
    *error = "cannot write " + path + ": " + reason;
    return false;
  }
  return true;
}

int modelInfo(const std::string& path) {
  Model3DS model;
  const ImportResult result = Import3DS(model, path);
  for (const LoaderMessage& message : result.messages) {
    std::fprintf(stderr, "%s: %s\n", Printable(message.caption).c_str(), Printable(message.text).c_str());
  }
  if (!result.ok) return 1;
  JsonWriter json;
  json.beginObject().key("file").value(path);
  json.key("objects").beginArray();
  for (const Object3DS& object : model.objects) {
    std::array<float, 3> low{0, 0, 0};
    std::array<float, 3> high{0, 0, 0};
    for (size_t i = 0; i < object.vertices.size(); ++i) {
      for (size_t c = 0; c < 3; ++c) {
        low[c] = i == 0 ? object.vertices[i][c] : std::min(low[c], object.vertices[i][c]);
        high[c] = i == 0 ? object.vertices[i][c] : std::max(high[c], object.vertices[i][c]);
      }
    }
    json.beginObject()
        .key("name").value(object.name)
        .key("vertices").value(object.vertexCount)
        .key("faces").value(object.faceCount)
        .key("textureCoordinates").value(object.texCoordCount)
        .key("material").value(object.materialIndex)
        .key("hasTexture").value(object.hasTexture);
    json.key("bounds").beginObject();
    json.key("min").beginArray().value(low[0]).value(low[1]).value(low[2]).endArray();
    json.key("max").beginArray().value(high[0]).value(high[1]).value(high[2]).endArray();
    json.endObject().endObject();
  }
  json.endArray();
  json.key("materials").beginArray();
  for (const Material3DS& material : model.materials) {
    json.beginObject()
        .key("name").value(material.name)
        .key("textureFile").value(material.textureFile)
        .key("colour").beginArray()
        .value(int{material.colour[0]}).value(int{material.colour[1]}).value(int{material.colour[2]})
        .endArray()
        .endObject();
  }
  json.endArray().endObject();
  std::fputs(json.text().c_str(), stdout);
  return 0;
}

int projectInfo(const std::string& path) {
  std::vector<uint8_t> bytes;
  std::string reason;
  if (!ReadRegularFile(path, kMaxProjectFileBytes, bytes, &reason)) {
    std::fprintf(stderr, "kestrova-render: cannot open %s: %s\n", Printable(path).c_str(), Printable(reason).c_str());
    return 1;
  }
  const ProjectParse parse = ParseProject(bytes.data(), bytes.size());
  if (!parse.ok) {
    std::fprintf(stderr, "kestrova-render: %s is not a project Kestrova can read: %s\n", Printable(path).c_str(),
                 Printable(parse.error).c_str());
    return 1;
  }
  const ProjectData& d = parse.data;
  auto vec3 = [](JsonWriter& json, const char* name, const Vec3& v) {
    json.key(name).beginArray().value(v[0]).value(v[1]).value(v[2]).endArray();
  };
  auto name = [&](JsonWriter& json, const char* key, int index) { json.key(key).value(d.names[static_cast<size_t>(index)]); };
  auto length = [&](JsonWriter& json, const char* key, int index) {
    json.key(key).value(d.lengths[static_cast<size_t>(index)]);
  };
  JsonWriter json;
  json.beginObject().key("file").value(path);
  json.key("lightingMode").value(d.lightingMode);
  json.key("textureScroll").beginArray().value(d.textureScroll[0]).value(d.textureScroll[1]).endArray();
  json.key("formatVersion").value(d.version);
  if (d.hasBoxStyle) json.key("boxStyle").value(d.boxStyle);
  if (d.hasWebsiteLink) json.key("websiteLink").value(d.websiteLink);
  if (d.version >= 4) name(json, "bookFrontImage", kNameBookFront);
  name(json, "bookBackImage", kNameBookBack);
  name(json, "bookSpineImage", kNameBookSpine);
  length(json, "bookFrontImageLength", kLengthBookFront);
  length(json, "bookBackImageLength", kLengthBookBack);
  length(json, "bookSpineImageLength", kLengthBookSpine);
  name(json, "mugImage", kNameMug);
  length(json, "mugImageLength", kLengthMug);
  name(json, "boxBottomImage", kNameBoxBottom);
  length(json, "boxBottomImageLength", kLengthBoxBottom);
  name(json, "boxTopImage", kNameBoxTop);
  length(json, "boxTopImageLength", kLengthBoxTop);
  name(json, "boxRightImage", kNameBoxRight);
  length(json, "boxRightImageLength", kLengthBoxRight);
  name(json, "boxLeftImage", kNameBoxLeft);
  length(json, "boxLeftImageLength", kLengthBoxLeft);
  name(json, "boxBackImage", kNameBoxBack);
  length(json, "boxBackImageLength", kLengthBoxBack);
  name(json, "boxFrontImage", kNameBoxFront);
  length(json, "boxFrontImageLength", kLengthBoxFront);
  json.key("productKind").value(d.productKind);
  vec3(json, "rotation", d.rotation);
  vec3(json, "pan", d.pan);
  vec3(json, "spotLight", d.spotLight);
  if (d.hasScale) vec3(json, "scale", d.scale);
  json.key("viewWidth").value(d.viewWidth);
  json.key("viewHeight").value(d.viewHeight);
  json.key("bookBinding").value(d.bookBinding);
  vec3(json, "boxSize", d.boxSize);
  json.key("spinValue").value(d.spinValue);
  json.key("bookStyle").value(d.bookStyle);
  vec3(json, "backgroundColor", d.backgroundColor);
  json.key("bookFlag").value(d.bookFlag);
  json.key("keyCount").value(static_cast<int>(d.keys.size()));
  vec3(json, "baseRotation", d.baseRotation);
  vec3(json, "basePan", d.basePan);
  vec3(json, "baseSpot", d.baseSpot);
  if (d.version >= 3) vec3(json, "baseScale", d.baseScale);
  json.key("keys").beginArray();
  for (const StoredKey& key : d.keys) {
    json.beginObject().key("frame").value(key.frame);
    vec3(json, "rotation", {key.values[0], key.values[1], key.values[2]});
    vec3(json, "pan", {key.values[3], key.values[4], key.values[5]});
    vec3(json, "spotLight", {key.values[6], key.values[7], key.values[8]});
    if (d.version >= 3) vec3(json, "scale", {key.values[9], key.values[10], key.values[11]});
    json.endObject();
  }
  json.endArray().endObject();
  std::fputs(json.text().c_str(), stdout);
  return 0;
}

// The one "%d" field of a frame-name pattern ("%d", "%4d", "%04d"); other
// "%" signs are refused, so a name never reaches printf as a format.
struct FramePattern {
  std::string before, after;
  int width = 0;
  bool zeros = false;
};

std::optional<FramePattern> ParseFramePattern(const std::string& pattern) {
  std::optional<FramePattern> found;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%') continue;
    if (found) return std::nullopt;
    size_t j = i + 1;
    FramePattern field;
    if (j < pattern.size() && pattern[j] == '0') {
      field.zeros = true;
      ++j;
    }
    const size_t digits = j;
    while (j < pattern.size() && std::isdigit(static_cast<unsigned char>(pattern[j])) && j - digits < 2) {
      field.width = field.width * 10 + (pattern[j] - '0');
      ++j;
    }
    if (j >= pattern.size() || pattern[j] != 'd') return std::nullopt;
    field.before = pattern.substr(0, i);
    field.after = pattern.substr(j + 1);
    found = field;
    i = j;
  }
  return found;
}

std::string numbered(const FramePattern& pattern, int frame) {
  std::string number = std::to_string(frame);
  if (static_cast<int>(number.size()) < pattern.width) {
    number.insert(0, static_cast<size_t>(pattern.width) - number.size(), pattern.zeros ? '0' : ' ');
  }
  return pattern.before + number + pattern.after;
}

// The text a picture carries: what made it, from which project, with which
// options. The same inputs give the same text, so the same bytes.
FileText fileText(const RenderOptions& options, const fs::path& project) {
  FileText text;
  if (!options.metadata) return text;
  text.emplace_back("Software", std::string("Kestrova kestrova-render ") + KESTROVA_VERSION);
  if (!project.empty()) {
    std::ifstream in(project, std::ios::binary);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    char block[65536];
    while (in.read(block, sizeof block) || in.gcount() > 0) hash.addData(QByteArrayView(block, in.gcount()));
    text.emplace_back("Project SHA-256", hash.result().toHex().toStdString());
  }
  text.emplace_back("Options", options.given);
  return text;
}

// The animation of a project, or one turn about the vertical axis from the
// shot's pose, as a video. A failed export leaves no file behind.
template <typename MakeOptions>
int writeVideo(SceneState& scene, RenderHost& host, const RenderOptions& options, const std::string& path,
               const MakeOptions& exportOptions, std::string* failure) {
  std::string error;
  int frames = 0;
  if (options.turntable > 0) {
    frames = TurntableFrames(options.turntable, options.fps);
  } else {
    if (scene.keyCount == 0) fail("the project has no keys to animate; try --turntable SECONDS");
    frames = scene.bakedFrameCount;
  }
  std::unique_ptr<VideoWriter> writer = VideoWriter::Open(path, options.width, options.height, options.fps, &error,
                                                               options.transparent);
  if (!writer) return failed(failure, error);
  const float startY = scene.rotation[1];
  scene.playing = false;
  for (int i = 0; i < frames; ++i) {
    std::optional<int> frame;
    if (options.turntable > 0) {
      scene.rotation[1] = TurntableAngle(startY, i, frames);
    } else {
      frame = i;
    }
    const RgbaImage image = RenderExport(scene, host, exportOptions(frame), &error);
    if (stopAsked()) error = kStoppedWhenAsked;
    if (stopAsked() || image.pixels.empty() || !writer->addFrame(image, &error)) {
      writer->abandon();
      return failed(failure, error);
    }
    std::printf("\rEncoded frame %d of %d (%d%%)", i + 1, frames, (i + 1) * 100 / frames);
    std::fflush(stdout);
  }
  if (!writer->finish(&error)) {
    return failed(failure, error);
  }
  reportModelMessages(scene);
  std::printf("\nWrote %s (%d frames, %dx%d, %d frames a second)\n", Printable(path).c_str(), frames, options.width,
              options.height, options.fps);
  return 0;
}

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

// The artwork check: a table or JSON on standard output, warnings failing
// the run only when asked to.
// --shop-check: the model --glb and --usdz would write, against a shop's
// rules, each with where it comes from. Nothing is written.
int shopCheck(SceneState& scene, const RenderOptions& options, std::string* failure) {
  ShopModel model;
  std::string why;
  if (!BuildShopModel(scene, shopOptionsOf(options), &model, &why)) {
    return failed(failure, "cannot make the 3D model: " + why);
  }
  const std::vector<uint8_t> glbBytes = WriteGlb(model);
  const size_t glb = glbBytes.size();
  // What the written file itself says: its materials and where its
  // pictures are, read from its JSON chunk.
  int materials = -1, images = 0, imagesInside = 0;
  if (glbBytes.size() >= 20 && std::memcmp(glbBytes.data() + 16, "JSON", 4) == 0) {
    uint32_t length = 0;
    std::memcpy(&length, glbBytes.data() + 12, 4);
    if (length <= glbBytes.size() - 20) {
      const QJsonObject gltf =
          QJsonDocument::fromJson(QByteArray(reinterpret_cast<const char*>(glbBytes.data() + 20), static_cast<qsizetype>(length)))
              .object();
      materials = static_cast<int>(gltf["materials"].toArray().size());
      for (const QJsonValue image : gltf["images"].toArray()) {
        ++images;
        const QJsonObject i = image.toObject();
        if (i.contains("bufferView") && !i.contains("uri")) ++imagesInside;
      }
    }
  }
  const size_t usdz = WriteUsdz(model).size();
  const size_t triangles = model.indices.size() / 3;
  const ModelBounds bounds = BoundsOf(model);
  const double height = bounds.max[1] - bounds.min[1];
  auto powerOfTwo = [](int n) { return n > 0 && (n & (n - 1)) == 0; };
  constexpr const char* kKhronos =
      "Khronos 3D Commerce: the glTF Asset Auditor's recommended schema (@khronosgroup/gltf-asset-auditor 1.0.5)";
  constexpr const char* kShopify = "Shopify's 3D models for products: GLB or USDZ under 15 MB, one material, real-world scale";
  constexpr const char* kGoogle = "Google Merchant Center's 3D models: glTF binary (GLB) with its textures inside";
  struct Result {
    std::string rule, measured, source;
    bool passed;
  };
  std::vector<Result> results;
  auto check = [&](const char* set, const std::string& rule, const std::string& measured, bool passed,
                   const char* source) {
    if (options.shopRules == set) results.push_back({rule, measured, source, passed});
  };
  char kb[32];
  std::snprintf(kb, sizeof kb, "%.0f KB", static_cast<double>(glb) / 1024);
  char mb[32];
  std::snprintf(mb, sizeof mb, "%.2f MB (GLB), %.2f MB (USDZ)", static_cast<double>(glb) / (1 << 20),
                static_cast<double>(usdz) / (1 << 20));
  const std::string texture = std::to_string(model.textureWidth) + " x " + std::to_string(model.textureHeight);
  check("khronos", "file of at most 5120 KB", kb, glb <= 5120u * 1024, kKhronos);
  check("khronos", "at most 100000 triangles", std::to_string(triangles), triangles <= 100000, kKhronos);
  check("khronos", "at most 5 materials", std::to_string(materials), materials >= 1 && materials <= 5, kKhronos);
  check("khronos", "textures 512 to 2048 a side", texture,
        model.textureWidth >= 512 && model.textureWidth <= 2048 && model.textureHeight >= 512 &&
            model.textureHeight <= 2048,
        kKhronos);
  check("khronos", "texture sides powers of two", texture,
        powerOfTwo(model.textureWidth) && powerOfTwo(model.textureHeight), kKhronos);
  check("shopify", "files under 15 MB", mb, glb < 15u << 20 && usdz < 15u << 20, kShopify);
  check("shopify", "one material", std::to_string(materials), materials == 1, kShopify);
  char metres[48];
  std::snprintf(metres, sizeof metres, "%.3f m high", height);
  check("shopify", "real-world scale, in metres", metres, height > 0.005 && height < 5, kShopify);
  check("google", "glTF binary with its textures inside",
        "GLB, " + std::to_string(imagesInside) + " of " + std::to_string(images) + " pictures inside, texture " + texture,
        images > 0 && imagesInside == images, kGoogle);
  bool passed = true;
  for (const Result& r : results) passed = passed && r.passed;
  if (options.json) {
    JsonWriter json;
    json.beginObject().key("rules").value(options.shopRules).key("checks").beginArray();
    for (const Result& r : results) {
      json.beginObject().key("rule").value(r.rule).key("measured").value(r.measured).key("passed").value(r.passed)
          .key("source").value(r.source).endObject();
    }
    json.endArray().key("passed").value(passed).endObject();
    std::fputs(json.text().c_str(), stdout);
    std::fputs("\n", stdout);
  } else {
    std::printf("The 3D model against %s's rules:\n", options.shopRules.c_str());
    for (const Result& r : results) {
      std::printf("  %-4s %s: %s\n", r.passed ? "ok" : "FAIL", r.rule.c_str(), r.measured.c_str());
    }
    std::printf("Source: %s\n", results.empty() ? "" : results.front().source.c_str());
  }
  std::fflush(stdout);
  return passed ? 0 : failed(failure, "the 3D model does not meet " + options.shopRules + "'s rules");
}

int preflight(SceneState& scene, const RenderOptions& options,
              const std::vector<std::pair<std::string, std::string>>& unreadable, std::string* failure) {
  if (const std::optional<ShownProduct> shown = ShownProductOf(scene.productKind)) LoadAssetsFor(scene, *shown);
  const std::vector<FaceCheck> checks = CheckArtwork(scene, options.width, options.height);
  // The faces a render that names some leaves plain.
  std::vector<const char*> plain;
  if (options.project.empty() && !options.faces.empty()) {
    for (int s = 0; s < kTextureSlotCount; ++s) {
      const auto slot = static_cast<TextureSlot>(s);
      if (IsArtworkFace(scene, slot) && scene.artwork[slot].path.empty()) plain.push_back(SlotFaceName(slot));
    }
  }
  if (options.json) {
    JsonWriter json;
    json.beginObject().key("width").value(options.width).key("height").value(options.height);
    json.key("faces").beginArray();
    for (const FaceCheck& check : checks) {
      json.beginObject()
          .key("face").value(check.face)
          .key("file").value(check.path)
          .key("artworkWidth").value(check.artworkWidth)
          .key("artworkHeight").value(check.artworkHeight)
          .key("drawing").value(check.scalable)
          .key("seen").value(check.seen)
          .key("shownWidth").value(check.shownWidth)
          .key("shownHeight").value(check.shownHeight)
          .key("stretch").value(check.stretch)
          .key("aspectDifference").value(check.aspectDifference);
      json.key("warnings").beginArray();
      for (const std::string& warning : check.warnings) json.value(warning);
      json.endArray().endObject();
    }
    json.endArray().key("plainFaces").beginArray();
    for (const char* face : plain) json.value(face);
    json.endArray().key("unreadable").beginArray();
    for (const auto& [face, why] : unreadable) json.beginObject().key("face").value(face).key("error").value(why).endObject();
    json.endArray().key("warnings").value(AnyWarnings(checks)).endObject();
    std::fputs(json.text().c_str(), stdout);
  } else {
    std::fputs(ArtworkTable(checks, options.width, options.height).c_str(), stdout);
    if (!plain.empty()) {
      std::string line = "Plain card, no picture given:";
      for (size_t i = 0; i < plain.size(); ++i) line += std::string(i ? ", " : " ") + plain[i];
      std::printf("%s\n", line.c_str());
    }
  }
  std::fflush(stdout);
  if (!unreadable.empty()) {
    std::string why;
    for (const auto& [face, reason] : unreadable) why += (why.empty() ? "--face " : "; --face ") + face + ": " + reason;
    return failed(failure, why);
  }
  if (!options.strict || !AnyWarnings(checks)) return 0;
  std::string why = "--strict: ";
  bool first = true;
  for (const FaceCheck& check : checks) {
    for (const std::string& warning : check.warnings) {
      why += (first ? "" : "; ") + check.face + " (" + check.path + "): " + warning;
      first = false;
    }
  }
  return failed(failure, why);
}

}  // namespace

const char* const kStoppedWhenAsked = "stopped when asked";

void StopWhenSet(const volatile std::sig_atomic_t* flag) { stopFlag = flag; }

void PrintTimings(bool on) { phases.start(on); }

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
  phases.lap("options");
  if (!context.gl) context.gl = std::make_unique<HeadlessContext>(64, 64);
  if (!context.gl->isValid()) return failed(failure, "no headless OpenGL context: " + context.gl->error());
  phases.lap("context");
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
  // A render never writes over what it reads: the same file by identity
  // (a link or another name for it counts), whatever it is called.
  {
    std::vector<fs::path> inputs;
    if (!project.empty()) inputs.push_back(project);
    for (const auto& [slot, image] : faces) inputs.push_back(image);
    // The pictures the project itself shows, found wherever they were.
    for (const FaceArtwork& artwork : scene->artwork) {
      if (!artwork.path.empty() && !IsWebPictureName(artwork.path)) inputs.push_back(artwork.path);
    }
    if (!look.environment.empty()) inputs.push_back(look.environment);
    if (!options.wrap.empty()) inputs.push_back(resolve(options, options.wrap));
    std::vector<fs::path> outputs;
    if (!options.frames && !options.output.empty()) outputs.push_back(output);
    if (!options.printTemplate.empty()) outputs.push_back(resolveOutput(options, options.printTemplate));
    // Each frame's own name is an output (they differ from each other by
    // their numbers).
    std::vector<fs::path> frameNames;
    if (options.frames && pattern) {
      for (int frame = options.frames->first; frame <= options.frames->second; ++frame) {
        frameNames.push_back(resolveOutput(options, numbered(*pattern, frame)));
      }
    }
    for (const fs::path& out : frameNames) {
      for (const fs::path& in : inputs) {
        if (FileIdentity(out) == FileIdentity(in)) fail("the output " + out.string() + " is an input of this render: " + in.string());
      }
      for (const fs::path& other : outputs) {
        if (FileIdentity(out) == FileIdentity(other)) {
          fail("two outputs of this render are one file: " + out.string() + " and " + other.string());
        }
      }
    }
    if (!options.describe.empty()) outputs.push_back(resolve(options, options.describe));
    for (const std::string* model : {&options.glb, &options.usdz, &options.html}) {
      if (!model->empty()) outputs.push_back(resolveOutput(options, *model));
    }
    for (size_t i = 0; i < outputs.size(); ++i) {
      const fs::path& out = outputs[i];
      for (const fs::path& in : inputs) {
        if (FileIdentity(out) == FileIdentity(in)) fail("the output " + out.string() + " is an input of this render: " + in.string());
      }
      // Two outputs of one render in one file: the last would replace the
      // first, and the run would say both were written.
      for (size_t j = i + 1; j < outputs.size(); ++j) {
        if (FileIdentity(out) == FileIdentity(outputs[j])) {
          fail("two outputs of this render are one file: " + out.string() + " and " + outputs[j].string());
        }
      }
    }
  }
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

  const FileText text = fileText(options, project);
  RenderHost host;
  std::string error;
  auto exportOptions = [&options](std::optional<int> frame) {
    ExportOptions o;
    o.width = options.width;
    o.height = options.height;
    o.supersample = options.supersample;
    o.transparent = options.transparent;
    o.frame = frame;
    return o;
  };
  if (!options.video.empty()) return writeVideo(*scene, host, options, output.string(), exportOptions, failure);
  if (options.frames) {
    const auto [first, last] = *options.frames;
    if (scene->keyCount == 0) fail(options.project + " has no keys: it is one still shot; leave out --frames");
    if (last >= scene->bakedFrameCount) {
      fail(options.project + " has frames 0 to " + std::to_string(scene->bakedFrameCount - 1) + ", not " +
           std::to_string(first) + " to " + std::to_string(last));
    }
    int written = 0;
    for (int frame = first; frame <= last; ++frame) {
      // A shard draws every Nth frame, starting at its own.
      if (options.shard && (frame - first) % options.shard->second != options.shard->first) continue;
      const RgbaImage image = RenderExport(*scene, host, exportOptions(frame), &error);
      if (stopAsked()) return failed(failure, kStoppedWhenAsked);
      if (image.pixels.empty()) {
        return failed(failure, error);
      }
      const std::string name = resolveOutput(options, numbered(*pattern, frame)).string();
      if (!writeImage(image, name, options.quality, &error, options.transparent, text)) {
        return failed(failure, error);
      }
      ++written;
      std::printf("\rRendered frame %d of %d-%d (%d%%)", frame, first, last,
                  static_cast<int>(100.0 * (frame - first + 1) / (last - first + 1)));
      std::fflush(stdout);
    }
    reportModelMessages(*scene);
    if (written == 0) {
      std::printf("\nShard %d of %d gets none of frames %d to %d: nothing to draw\n", options.shard->first,
                  options.shard->second, first, last);
      return 0;
    }
    std::printf("\nWrote %d frames as %s\n", written, Printable(options.output).c_str());
    return 0;
  }
  std::optional<int> frame;
  if (options.frame && scene->keyCount == 0) {
    fail(options.project + " has no keys: it is one still shot; leave out --frame");
  }
  if (!options.project.empty() && scene->keyCount > 0) {
    frame = options.frame.value_or(0);
    if (*frame >= scene->bakedFrameCount) {
      fail(options.project + " has frames 0 to " + std::to_string(scene->bakedFrameCount - 1) + ", not " +
           std::to_string(*frame));
    }
  }
  phases.lap("scene");
  // The product's own pictures and models, which its first frame would load:
  // here, so the timings tell decoding from drawing.
  if (const std::optional<ShownProduct> shown = ShownProductOf(scene->productKind)) LoadAssetsFor(*scene, *shown);
  phases.lap("pictures");
  if (EndsWithIgnoringCase(output.string(), ".png") && context.writeLater &&
      static_cast<long long>(options.width) * options.height <= 4096LL * 4096LL) {
    // In a batch the next row draws while this one is compressed.
    RgbaImage image = RenderExport(*scene, host, exportOptions(frame), &error);
    if (image.pixels.empty()) return failed(failure, error);
    // Said written by the batch once it is in place.
    context.writeLater(std::move(image), output.string(), options.transparent, text);
    phases.lap("draw");
    reportModelMessages(*scene);
    phases.print();
    return 0;
  } else if (EndsWithIgnoringCase(output.string(), ".png")) {
    // Rows go to the file as they are drawn: a picture of any size costs the
    // memory of one band of tiles.
    PngWriter png;
    const bool written =
        png.open(output.string(), options.width, options.height, options.transparent, &error, text) &&
        RenderExportRows(*scene, host, exportOptions(frame),
                         [&png](const uint8_t* rgba, int, int rows, std::string* why) {
                           if (stopAsked()) {
                             *why = kStoppedWhenAsked;
                             return false;
                           }
                           return png.write(rgba, rows, why);
                         },
                         &error) &&
        png.finish(&error);
    if (!written) {
      return failed(failure, error);
    }
    phases.lap("draw and write");
  } else {
    const RgbaImage image = RenderExport(*scene, host, exportOptions(frame), &error);
    if (stopAsked()) return failed(failure, kStoppedWhenAsked);
    if (image.pixels.empty()) {
      return failed(failure, error);
    }
    phases.lap("draw");
    if (!writeImage(image, output.string(), options.quality, &error, options.transparent, text)) {
      return failed(failure, error);
    }
    phases.lap("write");
  }
  reportModelMessages(*scene);
  std::printf("Wrote %s (%dx%d)\n", Printable(options.output).c_str(), options.width, options.height);
  phases.print();
  return 0;
}

}  // namespace kestrova
