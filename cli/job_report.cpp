#include "cli/job_parts.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "cli/render_options.h"
#include "formats/file_read.h"
#include "formats/json_writer.h"
#include "formats/model_3ds.h"
#include "formats/project_file.h"
#include "render/deferred_assets.h"
#include "render/preflight.h"
#include "render/shop_export.h"

namespace fs = std::filesystem;

namespace kestrova {

namespace job {

void PhaseClock::print() {
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

PhaseClock& phases() {
  static PhaseClock clock;
  return clock;
}

// What the model loader said of the models the render read, if anything.
void reportModelMessages(const SceneState& scene) {
  for (const auto& [caption, text] : scene.deferred.messages) {
    std::fprintf(stderr, "kestrova-render: %s: %s\n", Printable(caption).c_str(), Printable(text).c_str());
  }
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

}  // namespace job

}  // namespace kestrova
