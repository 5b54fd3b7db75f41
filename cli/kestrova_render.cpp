// kestrova-render: draws a shot without a window and writes it as PNG or BMP.
#include <QCoreApplication>
#include <QFile>
#include <QImage>

#include <malloc.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cctype>
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

#include "cli/json_writer.h"
#include "formats/bmp_export.h"
#include "formats/file_names.h"
#include "formats/file_read.h"
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
#include "render/scene_initialiser.h"
#include "scene/product_styles.h"

using namespace kestrova;
namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage =
    "Usage: kestrova-render -o FILE [options]\n"
    "Renders a Kestrova shot without a window and writes it as PNG, JPEG or BMP\n"
    "(chosen by the extension of FILE).\n"
    "\n"
    "Options:\n"
    "  -o, --output FILE         where to write the image (.png, .jpg, .jpeg or .bmp)\n"
    "  --quality N               JPEG quality 1-100 (default 92)\n"
    "  --allow-web               fetch a project's pictures named by web address\n"
    "  --supersample N           draw at N times the size (1-4) and filter down:\n"
    "                            smooth edges, e.g. --supersample 4\n"
    "  --transparent             a transparent background (PNG with alpha, or a\n"
    "                            .webm video with alpha)\n"
    "  --floor KIND              a studio floor under the product: none (default),\n"
    "                            shadow, reflection or both\n"
    "  --shadow N                the floor shadow's strength 0-100 (default 60)\n"
    "  --reflection N            the floor reflection's strength 0-100 (default 30)\n"
    "  --softness N              how far the shadow's edge fades, 0-100 (default 40)\n"
    "  --video FILE              the animation (or the turntable) as a video:\n"
    "                            .mp4 (H.264), .webm (VP9) or .gif;\n"
    "                            e.g. kestrova-render shot.TSMR --video shot.mp4\n"
    "  --fps N                   the video's frames a second (default 30)\n"
    "  --turntable SECONDS       one turn about the vertical axis from the shot's\n"
    "                            pose, e.g. --turntable 4 --video spin.webm\n"
    "  --face NAME=IMAGE         this render only, NAME's picture is IMAGE; NAME is\n"
    "                            front, back, left, right, top, bottom, spine, mug,\n"
    "                            book-front, book-back, book-spine or pages;\n"
    "                            e.g. --face front=cover.png (repeatable)\n"
    "  --size WxH                image size in pixels (default 1280x720)\n"
    "  --product KIND            box, book, mug or screenshot (default box)\n"
    "  --style N                 box style 0-7 (default 0, Standard Retail Box),\n"
    "                            or book style 0-2 (default 0, Standard Hard Back)\n"
    "  --rotation X,Y,Z          rotation in degrees (default 30,30,0)\n"
    "  --background RRGGBB       background colour in hex (default FFFFFF)\n"
    "  --lighting                turn the spot light on\n"
    "  --timings                 print each phase's milliseconds to stderr\n"
    "  -h, --help                show this help\n"
    "  -v, --version             show the version\n"
    "\n"
    "kestrova-render SHOT.TSMR -o FILE [--frame N] [--size WxH]\n"
    "  renders frame N (default 0) of a project's animation\n"
    "kestrova-render SHOT.TSMR --frames A-B -o out_%04d.png [--size WxH]\n"
    "  renders frames A to B as numbered pictures\n"
    "\n"
    "kestrova-render --info MODEL.3ds | SHOT.TSMR\n"
    "  prints what the model loader or the project reader reads, as JSON\n";

struct Options {
  std::string project;
  std::optional<int> frame;
  std::optional<std::pair<int, int>> frames;
  std::string info;
  std::string output;
  int width = 1280;
  int height = 720;
  float product = kProductBox;
  int style = 0;
  std::optional<Vec3> rotation;
  std::optional<Vec3> background;
  bool lighting = false;
  int quality = 92;
  bool allowWeb = false;
  int supersample = 1;
  bool transparent = false;
  StudioFloor floor;
  std::string video;
  int fps = 30;
  double turntable = 0;  // seconds of one turn; 0: no turntable
  std::vector<std::pair<std::string, std::string>> faces;  // face name, image
  bool timings = false;
};

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
    std::fprintf(stderr, "kestrova-render: %s: %s\n", caption.c_str(), text.c_str());
  }
}

// The texture slot a --face name replaces.
std::optional<TextureSlot> FaceSlot(const std::string& face) {
  static const std::pair<const char*, TextureSlot> kFaces[] = {
      {"front", kSlotBoxFront},         {"back", kSlotBoxBack},           {"left", kSlotBoxLeft},
      {"right", kSlotBoxRight},         {"top", kSlotBoxTop},             {"bottom", kSlotBoxBottom},
      {"spine", kSlotBoxLeft},          {"mug", kSlotMug},                {"book-front", kSlotBookFront},
      {"book-back", kSlotBookBack},     {"book-spine", kSlotBookSpine},   {"pages", kSlotBookPage1},
  };
  for (const auto& [name, slot] : kFaces) {
    if (face == name) return slot;
  }
  return std::nullopt;
}

[[noreturn]] void fail(const std::string& message) {
  std::fprintf(stderr, "kestrova-render: %s\nTry 'kestrova-render --help'.\n", message.c_str());
  std::exit(2);
}

bool parseInt(const std::string& text, long min, long max, long* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long parsed = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || parsed < min || parsed > max) return false;
  *value = parsed;
  return true;
}

bool parseFloat(const std::string& text, float* value) {
  if (text.empty()) return false;
  // Digits, sign, point and exponent only: the same in every locale.
  for (char c : text) {
    if (!std::strchr("0123456789+-.eE", c)) return false;
  }
  char* end = nullptr;
  const double parsed = std::strtod(text.c_str(), &end);
  if (*end != '\0' || !(parsed > -1e7 && parsed < 1e7)) return false;
  *value = static_cast<float>(parsed);
  return true;
}

Options parse(int argc, char** argv) {
  Options options;
  bool infoAsked = false;
  std::vector<std::string> args(argv + 1, argv + argc);
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) fail("option " + arg + " needs a value");
      return args[++i];
    };
    if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      std::exit(0);
    } else if (arg == "-v" || arg == "--version") {
      std::printf("kestrova-render %s\n", KESTROVA_VERSION);
      std::exit(0);
    } else if (arg == "--quality") {
      long quality = 0;
      if (!parseInt(value(), 1, 100, &quality)) fail("--quality wants a number from 1 to 100");
      options.quality = static_cast<int>(quality);
    } else if (arg == "--frame") {
      long frame = 0;
      if (!parseInt(value(), 0, 9999, &frame)) fail("--frame wants a frame number from 0 to 9999");
      options.frame = static_cast<int>(frame);
    } else if (arg == "--frames") {
      const std::string& text = value();
      const size_t dash = text.find('-');
      long first = 0;
      long last = 0;
      if (dash == std::string::npos || !parseInt(text.substr(0, dash), 0, 9999, &first) ||
          !parseInt(text.substr(dash + 1), 0, 9999, &last) || last < first) {
        fail("--frames wants a range A-B of frames, 0 <= A <= B <= 9999, not '" + text + "'");
      }
      options.frames = std::make_pair(static_cast<int>(first), static_cast<int>(last));
    } else if (arg == "--info") {
      // Before its file or after it: "--info shot.TSMR" or "shot.TSMR --info".
      if (i + 1 < args.size() && !args[i + 1].empty() && args[i + 1][0] != '-') {
        options.info = args[++i];
      } else {
        infoAsked = true;
      }
    } else if (arg == "-o" || arg == "--output") {
      options.output = value();
    } else if (arg == "--size") {
      const std::string& text = value();
      const size_t x = text.find('x');
      long w = 0;
      long h = 0;
      if (x == std::string::npos || !parseInt(text.substr(0, x), 1, kMaxExportSide, &w) ||
          !parseInt(text.substr(x + 1), 1, kMaxExportSide, &h)) {
        fail("--size wants WIDTHxHEIGHT, each 1 to " + std::to_string(kMaxExportSide) + ", not '" + text + "'");
      }
      options.width = static_cast<int>(w);
      options.height = static_cast<int>(h);
    } else if (arg == "--product") {
      const std::string& text = value();
      if (text == "box") options.product = kProductBox;
      else if (text == "book") options.product = kProductBook;
      else if (text == "mug") options.product = kProductMug;
      else if (text == "screenshot") options.product = kProductScreenShot;
      else fail("--product wants box, book, mug or screenshot, not '" + text + "'");
    } else if (arg == "--style") {
      long style = 0;
      if (!parseInt(value(), 0, kBoxStyleCount - 1, &style)) fail("--style wants a number from 0 to 7");
      options.style = static_cast<int>(style);
    } else if (arg == "--rotation") {
      const std::string& text = value();
      Vec3 rotation{};
      size_t start = 0;
      for (size_t c = 0; c < 3; ++c) {
        const size_t comma = c < 2 ? text.find(',', start) : text.size();
        if (comma == std::string::npos || !parseFloat(text.substr(start, comma - start), &rotation[c])) {
          fail("--rotation wants three numbers X,Y,Z, not '" + text + "'");
        }
        start = comma + 1;
      }
      options.rotation = rotation;
    } else if (arg == "--background") {
      std::string text = value();
      if (!text.empty() && text[0] == '#') text.erase(0, 1);
      if (text.size() != 6 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        fail("--background wants a colour RRGGBB in hex, not '" + text + "'");
      }
      const long rgb = std::strtol(text.c_str(), nullptr, 16);
      options.background = Vec3{((rgb >> 16) & 0xFF) / 255.0f, ((rgb >> 8) & 0xFF) / 255.0f,
                                (rgb & 0xFF) / 255.0f};
    } else if (arg == "--lighting") {
      options.lighting = true;
    } else if (arg == "--timings") {
      options.timings = true;
    } else if (arg == "--allow-web") {
      options.allowWeb = true;
    } else if (arg == "--supersample") {
      long factor = 0;
      if (!parseInt(value(), 1, 4, &factor)) fail("--supersample wants 1, 2, 3 or 4");
      options.supersample = static_cast<int>(factor);
    } else if (arg == "--transparent") {
      options.transparent = true;
    } else if (arg == "--floor") {
      const std::string kind = value();
      if (kind != "none" && kind != "shadow" && kind != "reflection" && kind != "both") {
        fail("--floor wants none, shadow, reflection or both, not '" + kind + "'");
      }
      options.floor.shadow = kind == "shadow" || kind == "both";
      options.floor.reflection = kind == "reflection" || kind == "both";
    } else if (arg == "--shadow" || arg == "--reflection" || arg == "--softness") {
      long amount = 0;
      if (!parseInt(value(), 0, 100, &amount)) fail(arg + " wants a number from 0 to 100");
      int& target = arg == "--shadow"       ? options.floor.shadowStrength
                    : arg == "--reflection" ? options.floor.reflectionStrength
                                            : options.floor.softness;
      target = static_cast<int>(amount);
    } else if (arg == "--video") {
      options.video = value();
      if (!IsVideoName(options.video)) fail("--video writes .mp4, .webm or .gif, not '" + options.video + "'");
    } else if (arg == "--fps") {
      long fps = 0;
      if (!parseInt(value(), 1, 120, &fps)) fail("--fps wants 1 to 120 frames a second");
      options.fps = static_cast<int>(fps);
    } else if (arg == "--turntable") {
      const std::string& text = value();
      float seconds = 0;
      if (!parseFloat(text, &seconds) || !(seconds > 0 && seconds <= 600)) {
        fail("--turntable wants the seconds of one turn, more than 0 and at most 600, not '" + text + "'");
      }
      options.turntable = seconds;
    } else if (arg == "--face") {
      const std::string& text = value();
      const size_t equals = text.find('=');
      const std::string face = text.substr(0, equals);
      if (equals == std::string::npos || equals + 1 == text.size() || !FaceSlot(face)) {
        fail("--face wants NAME=IMAGE with NAME one of front, back, left, right, top, bottom, spine, mug, "
             "book-front, book-back, book-spine, pages; not '" + text + "'");
      }
      options.faces.emplace_back(face, text.substr(equals + 1));
    } else if (!arg.empty() && arg[0] != '-' && options.project.empty()) {
      options.project = arg;
    } else {
      fail("unknown argument '" + arg + "'");
    }
  }
  if (infoAsked && options.info.empty()) {
    if (options.project.empty()) fail("--info needs a .3ds model or a .TSMR project");
    options.info = options.project;
    options.project.clear();
  }
  if (options.frame && options.frames) fail("--frame and --frames do not go together");
  if ((options.frame || options.frames) && options.project.empty()) {
    fail("--frame and --frames render a project: name a .TSMR file");
  }
  if (options.frames && options.output.find('%') == std::string::npos) {
    fail("--frames wants an output pattern with a frame number, such as out_%04d.png");
  }
  if (!options.video.empty()) {
    if (!options.output.empty()) fail("--video names the output: leave out -o");
    if (options.frame || options.frames) fail("--video takes every frame: leave out --frame and --frames");
    if (options.transparent && !EndsWithIgnoringCase(options.video, ".webm")) {
      fail("--transparent keeps the background clear only in a WebM video: name a .webm file, not '" +
           options.video + "'");
    }
    if (options.turntable == 0 && options.project.empty()) fail("--video wants a project with keys, or --turntable");
    options.output = options.video;
  }
  if (options.turntable > 0 && options.video.empty()) fail("--turntable makes a video: add --video FILE");
  if (options.output.empty() && options.info.empty()) fail("no output file given (-o FILE)");
  return options;
}


bool isJpeg(const std::string& path) { return EndsWithIgnoringCase(path, ".jpg") || EndsWithIgnoringCase(path, ".jpeg"); }

bool writeImage(const RgbaImage& image, const std::string& path, int quality, std::string* error,
                bool keepAlpha = false) {
  if (EndsWithIgnoringCase(path, ".bmp")) return WriteBmpFile(path, CaptureFromRgba(image), error);
  if (EndsWithIgnoringCase(path, ".png")) {
    PngWriter png;
    return png.open(path, image.width, image.height, keepAlpha, error) &&
           png.write(image.pixels.data(), image.height, error) && png.finish(error);
  }
  // Opened here first, so a failure can say why.
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    *error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  const QImage picture = ToQImage(image);
  // The frame's alpha is the clear colour's, not a cut-out: save it opaque.
  const bool jpeg = isJpeg(path);
  // Straight (not premultiplied) alpha, as PNG stores it.
  const QImage::Format format = keepAlpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888;
  if (!picture.convertToFormat(format).save(&file, jpeg ? "JPEG" : "PNG", jpeg ? quality : -1)) {
    *error = "cannot write " + path + ": " + file.errorString().toStdString();
    file.remove();
    return false;
  }
  return true;
}

int modelInfo(const std::string& path) {
  Model3DS model;
  const ImportResult result = Import3DS(model, path);
  for (const LoaderMessage& message : result.messages) {
    std::fprintf(stderr, "%s: %s\n", message.caption.c_str(), message.text.c_str());
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
    std::fprintf(stderr, "kestrova-render: cannot open %s: %s\n", path.c_str(), reason.c_str());
    return 1;
  }
  const ProjectParse parse = ParseProject(bytes.data(), bytes.size());
  if (!parse.ok) {
    std::fprintf(stderr, "kestrova-render: %s is not a project Kestrova can read: %s\n", path.c_str(),
                 parse.error.c_str());
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

}  // namespace

// The animation of a project, or one turn about the vertical axis from the
// shot's pose, as a video. A failed export leaves no file behind.
template <typename MakeOptions>
int writeVideo(SceneState& scene, RenderHost& host, const Options& options, const std::string& path,
               const MakeOptions& exportOptions) {
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
  if (!writer) {
    std::fprintf(stderr, "kestrova-render: %s\n", error.c_str());
    return 1;
  }
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
    if (image.pixels.empty() || !writer->addFrame(image, &error)) {
      writer->abandon();
      std::fprintf(stderr, "\nkestrova-render: %s\n", error.c_str());
      return 1;
    }
    std::printf("\rEncoded frame %d of %d (%d%%)", i + 1, frames, (i + 1) * 100 / frames);
    std::fflush(stdout);
  }
  if (!writer->finish(&error)) {
    std::fprintf(stderr, "\nkestrova-render: %s\n", error.c_str());
    return 1;
  }
  reportModelMessages(scene);
  std::printf("\nWrote %s (%d frames, %dx%d, %d frames a second)\n", path.c_str(), frames, options.width,
              options.height, options.fps);
  return 0;
}

int main(int argc, char** argv) {
  // Picture-sized buffers come and go (decoded faces, tiles): each is given
  // back to the system when freed, instead of staying in the heap, so the
  // peak is the largest moment, not the sum of them.
  mallopt(M_MMAP_THRESHOLD, 1 << 20);
  phases.start(false);
  const Options options = parse(argc, argv);
  phases.start(options.timings);
  // Web pictures are fetched through Qt's network access, which runs on an
  // event loop: without an application object its timeouts never fire.
  QCoreApplication application(argc, argv);
  if (!options.info.empty()) {
    if (EndsWithIgnoringCase(options.info, ".3ds")) return modelInfo(options.info);
    if (EndsWithIgnoringCase(options.info, ".tsmr")) return projectInfo(options.info);
    fail("--info reads a .3ds model or a .TSMR project");
  }
  if (options.video.empty() && !EndsWithIgnoringCase(options.output, ".png") && !EndsWithIgnoringCase(options.output, ".bmp") &&
      !isJpeg(options.output)) {
    fail("the output file must end in .png, .jpg, .jpeg or .bmp");
  }


  // Pictures are drawn into off-screen framebuffers of their own size, in
  // tiles: the pbuffer itself only holds the context.
  phases.lap("options");
  HeadlessContext context(64, 64);
  if (!context.isValid()) {
    std::fprintf(stderr, "kestrova-render: no headless OpenGL context: %s\n", context.error().c_str());
    return 1;
  }
  phases.lap("context");
  // The default artwork lies beside the executable; the output name is taken
  // before the start-up makes that folder the current directory.
  std::error_code ignored;
  // Names on the command line are the user's, from the current directory.
  const fs::path output = fs::absolute(options.output, ignored);
  const fs::path project = options.project.empty() ? fs::path() : fs::absolute(options.project, ignored);
  std::vector<std::pair<TextureSlot, std::string>> faces;
  for (const auto& [face, image] : options.faces) faces.emplace_back(*FaceSlot(face), fs::absolute(image, ignored).string());
  if (options.transparent && options.video.empty() && !EndsWithIgnoringCase(options.output, ".png")) fail("--transparent writes PNG: name a .png output");
  std::optional<FramePattern> pattern;
  if (options.frames) {
    pattern = ParseFramePattern(output.string());
    if (!pattern) fail("--frames wants an output name with one %d field (for example out_%04d.png)");
  }
  const fs::path programFolder = FindDataFolder(fs::read_symlink("/proc/self/exe", ignored).parent_path().string());
  auto scene = std::make_unique<SceneState>();
  // Only what the product drawn shows is decoded and read.
  StartupHooks lean;
  lean.deferAssets = true;
  InitialiseScene(*scene, programFolder.string(), 1, lean);
  scene->productKind = options.product;
  if (options.product <= 1.0f) {
    if (options.style >= kBookStyleCount) fail("a book style is a number from 0 to 2");
    ApplyBookStyle(*scene, options.style);
  } else {
    ApplyBoxStyle(*scene, options.style);
  }
  scene->startupFrameCount = 2;  // past the start-up frames that force the box
  if (!options.project.empty()) {
    WebPictures web;
    web.allowed = options.allowWeb;
    const ProjectResult loaded = ReadProject(*scene, project.string(), nullptr, &web);
    if (!loaded.ok) {
      std::fprintf(stderr, "kestrova-render: %s\n", loaded.error.c_str());
      return 1;
    }
    for (const std::string& face : loaded.faceErrors) {
      std::fprintf(stderr, "kestrova-render: a picture was not loaded: %s%s\n", face.c_str(),
                   options.allowWeb || face.find("web") == std::string::npos ? "" : " (see --allow-web)");
    }
  } else if (options.product == kProductScreenShot) {
    // The board takes its size from the last picture loaded: make that the
    // picture it shows, as picking it in the program would.
    LoadTexture(*scene, "Boxes/standard-box-front.jpg", scene->textureSlot[kSlotBoxFront]);
  }
  // This render's own pictures, over the project's or the defaults.
  for (size_t i = 0; i < faces.size(); ++i) {
    const float absolute = scene->imagePathIsAbsolute;
    scene->imagePathIsAbsolute = 2;
    std::string why;
    const bool loaded = LoadTexture(*scene, faces[i].second, scene->textureSlot[faces[i].first], &why);
    scene->imagePathIsAbsolute = absolute;
    if (!loaded) {
      std::fprintf(stderr, "kestrova-render: cannot use %s for --face %s: %s\n", faces[i].second.c_str(),
                   options.faces[i].first.c_str(), why.c_str());
      return 1;
    }
  }
  if (options.rotation) scene->rotation = *options.rotation;
  if (options.lighting) scene->lightingMode = 2;
  scene->studioFloor = options.floor;
  if (options.background) {
    scene->backgroundColor = *options.background;
  }
  if (options.background) ApplyClearColor(*scene);

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
  if (!options.video.empty()) return writeVideo(*scene, host, options, output.string(), exportOptions);
  if (options.frames) {
    const auto [first, last] = *options.frames;
    if (scene->keyCount == 0 || last >= scene->bakedFrameCount) {
      fail("the animation has frames 0 to " + std::to_string(std::max(0, scene->bakedFrameCount - 1)));
    }
    for (int frame = first; frame <= last; ++frame) {
      const RgbaImage image = RenderExport(*scene, host, exportOptions(frame), &error);
      if (image.pixels.empty()) {
        std::fprintf(stderr, "\nkestrova-render: %s\n", error.c_str());
        return 1;
      }
      const std::string name = numbered(*pattern, frame);
      if (!writeImage(image, name, options.quality, &error, options.transparent)) {
        std::fprintf(stderr, "\nkestrova-render: %s\n", error.c_str());
        return 1;
      }
      std::printf("\rRendered frame %d of %d-%d (%d%%)", frame, first, last,
                  static_cast<int>(100.0 * (frame - first + 1) / (last - first + 1)));
      std::fflush(stdout);
    }
    reportModelMessages(*scene);
    std::printf("\nWrote %d frames as %s\n", last - first + 1, options.output.c_str());
    return 0;
  }
  std::optional<int> frame;
  if (!options.project.empty() && scene->keyCount > 0) {
    frame = options.frame.value_or(0);
    if (*frame >= scene->bakedFrameCount) {
      fail("the animation has frames 0 to " + std::to_string(scene->bakedFrameCount - 1));
    }
  }
  phases.lap("scene");
  // The product's own pictures and models, which its first frame would load:
  // here, so the timings tell decoding from drawing.
  if (const std::optional<ShownProduct> shown = ShownProductOf(scene->productKind)) LoadAssetsFor(*scene, *shown);
  phases.lap("pictures");
  if (EndsWithIgnoringCase(output.string(), ".png")) {
    // Rows go to the file as they are drawn: a picture of any size costs the
    // memory of one band of tiles.
    PngWriter png;
    const bool written =
        png.open(output.string(), options.width, options.height, options.transparent, &error) &&
        RenderExportRows(*scene, host, exportOptions(frame),
                         [&png](const uint8_t* rgba, int, int rows, std::string* why) { return png.write(rgba, rows, why); },
                         &error) &&
        png.finish(&error);
    if (!written) {
      std::fprintf(stderr, "kestrova-render: %s\n", error.c_str());
      return 1;
    }
    phases.lap("draw and write");
  } else {
    const RgbaImage image = RenderExport(*scene, host, exportOptions(frame), &error);
    if (image.pixels.empty()) {
      std::fprintf(stderr, "kestrova-render: %s\n", error.c_str());
      return 1;
    }
    phases.lap("draw");
    if (!writeImage(image, output.string(), options.quality, &error, options.transparent)) {
      std::fprintf(stderr, "kestrova-render: %s\n", error.c_str());
      return 1;
    }
    phases.lap("write");
  }
  reportModelMessages(*scene);
  std::printf("Wrote %s (%dx%d)\n", options.output.c_str(), options.width, options.height);
  phases.print();
  // The picture is on disk and closed. Taking down the GL driver, its
  // threads and a few hundred megabytes of mappings one by one would cost
  // a fifth of a small render's time; the system frees them at once.
  std::fflush(nullptr);
  std::_Exit(0);
}
