#include "render/studio/studio_renderer.h"

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>
#include <EGL/egl.h>
#include <dlfcn.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <tuple>
#include <map>
#include <memory>
#include <vector>

#include "formats/json_writer.h"
#include "render/studio/environment_map.h"
#include "render/studio/gl_program.h"
#include "render/studio/mipmaps.h"
#include "render/studio/studio_camera.h"
#include "render/studio/studio_mesh.h"
#include "render/studio/studio_setup.h"
#include "render/studio/studio_shaders.h"
#include "render/texture_loader.h"
#include "render/studio/product_shapes.h"
#include "pictures/picture.h"

namespace kestrova::studio {

namespace {

constexpr int kOcclusionSide = 512;
constexpr int kShadowSide = 1024;
constexpr int kKeySamples = 48;
constexpr int kSkySamples = 48;
constexpr double kGoldenAngle = 2.39996322972865332;
// The sky's shadows come from at least this high: lower ones would run far
// over the floor and add little.
constexpr double kLowestSky = 45.0 * M_PI / 180.0;
// Occlusion below this is dropped (and the rest stretched to keep the
// darkest as dark): the faintest tail of the shadow would widen the framing
// for nothing the eye sees.
constexpr float kFaintest = 0.04f;
// How much darker than the floor a shadow must be for framing to keep it.
constexpr float kSeenShadow = 0.15f;
// The contact shadow: its share of the floor's darkest and how far it
// reaches, in product heights.
constexpr double kContactShare = 0.4;
constexpr double kContactReach = 0.12;
constexpr int kContactSamples = 48;
// While the shot keeps changing in the window (a drag), the key casts from
// this many points (fewer show as steps in its penumbra), and the sky and
// the contact, when the product's shape changes, from that many: the same
// soft shape, drawn faster; the full count follows once the shot rests.
constexpr int kDraftKeySamples = 24;
constexpr int kDraftSamples = 12;
constexpr std::chrono::milliseconds kResting{250};
// Under a reflection alone, the shadow stays, lighter: the product stands
// on the floor rather than floating over its mirror image.
constexpr float kContactCore = 0.04f;
constexpr float kContactAlone = 0.5f;
// The product's own occlusion: depth pictures of it from twice this many
// directions over the whole sphere (this many over the sky, as many below
// the horizon), at this size.
constexpr int kOpennessSamples = 48;
constexpr int kOpennessSide = 256;
// Multisampling for smooth edges where the target has none of its own.
constexpr int kEdgeSamples = 4;
// The largest part drawn multisampled at once, a side.
constexpr int kEdgeTile = 2048;
int& largestPart() {
  static int side = kEdgeTile;
  return side;
}

using Material = SurfaceFinish;

Material materialOf(const SceneState& scene, studio::Material kind) {
  return FinishOf(scene, kind == studio::Material::Ceramic);
}

// A copy of a classic texture as sRGB with mipmaps: filtered in linear light
// and sharp at a slant.
struct ArtworkTexture {
  GLuint name = 0;
  int width = 0, height = 0;
  std::array<uint8_t, 64> probe{};
  std::string source;  // the file read at its own size, when not the classic copy
};

// What the product's triangles depend on: not the turn (they are captured
// unturned), the floor or the look, so a drag keeps them. The capture draws
// the classic frame, which reads the shot as it will: this list is the one
// the classic frame's geometry follows.
std::vector<float> meshKeyOf(const SceneState& s) {
  std::vector<float> k = {s.pan[0], s.pan[1], s.pan[2], s.scale[0], s.scale[1], s.scale[2], s.productKind,
                          static_cast<float>(s.bookStyle), s.bookBinding, s.boxStyle, s.textureScroll[0],
                          s.textureScroll[1], static_cast<float>(s.pictureWidth[0]),
                          static_cast<float>(s.pictureHeight[0])};
  for (uint32_t t : s.textureSlot) k.push_back(static_cast<float>(t));
  // The shapes the studio gives the products.
  k.push_back(s.look.radius);
  k.push_back(s.look.screenCover ? 1.0f : 0.0f);
  for (const std::string* text : {&s.look.device, &s.look.title}) {
    k.push_back(-1);
    for (const char c : *text) k.push_back(static_cast<unsigned char>(c));
  }
  return k;
}

// A picture saved again under the same name lights the next frame.
std::string fileStamp(const std::string& path) {
  if (path.empty()) return {};
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  const auto time = std::filesystem::last_write_time(path, error).time_since_epoch().count();
  return std::to_string(size) + "|" + std::to_string(time);
}

bool same(const StudioFloor& a, const StudioFloor& b) {
  return std::tie(a.shadow, a.reflection, a.shadowStrength, a.reflectionStrength, a.softness) ==
         std::tie(b.shadow, b.reflection, b.shadowStrength, b.reflectionStrength, b.softness);
}
template <typename T>
bool same(const T& a, const T& b) {
  return a == b;
}

// Everything the preparation reads of the shot, each beside where it comes
// from. One list makes both the copy the preparation works from and the
// comparison that says whether it must run again: what it reads cannot be
// left out of what is compared. The camera's height and tilt, its lens and
// its margin are not here: the studio's shadows are the same from any
// camera, and moving it (a drag up and down, a new lens) draws again
// without casting them again.
#define KESTROVA_PREPARED_FROM(X)                                                                 \
  X(std::vector<float>, mesh, meshKeyOf(s))                                                       \
  X(float, turn, s.rotation[1])                                                                   \
  X(StudioFloor, floor, s.studioFloor)                                                            \
  X(bool, framed, s.look.fit >= 0)                                                                \
  X(std::string, setup, s.look.setup)                                                             \
  X(std::string, environment, s.look.environment)                                                 \
  X(std::string, environmentStamp, fileStamp(s.look.environment))                                 \
  X(Vec3, background, s.backgroundColor)                                                          \
  /* Drawn, not prepared: a new finish is a change the window drafts through, as any other. */   \
  X(int, gloss, s.look.gloss)                                                                     \
  X(uint32_t, glaze, s.look.glaze)

struct PreparedFrom {
#define KESTROVA_MEMBER(type, name, from) type name{};
  KESTROVA_PREPARED_FROM(KESTROVA_MEMBER)
#undef KESTROVA_MEMBER
  bool operator==(const PreparedFrom& o) const {
#define KESTROVA_SAME(type, name, from) &&same(name, o.name)
    return true KESTROVA_PREPARED_FROM(KESTROVA_SAME);
#undef KESTROVA_SAME
  }
};

PreparedFrom preparedFrom(const SceneState& s) {
  PreparedFrom in;
#define KESTROVA_COPY(type, name, from) in.name = from;
  KESTROVA_PREPARED_FROM(KESTROVA_COPY)
#undef KESTROVA_COPY
  return in;
}

// What a shot's parts share: its triangles, studio, shadows and framing.
struct Prepared {
  PreparedFrom key;
  StudioMesh mesh;
  StudioSetup setup;
  Mat4 model;
  std::vector<V3> floorPoints;
  V3 region{0, 0, 1};  // centre x, centre z, half side
  // The part of the floor any shadow reaches (least x, least z, most x,
  // most z): beyond it the floor is the background.
  std::array<double, 4> shaded{0, 0, 0, 0};
  Mat4 shadowMatrix;
  double keySpread = 0;
  double height = 1;
  double shadowRadius = 1;  // half the side the key's shadow map covers
  bool draft = false;       // cast from fewer points, while the window's shot keeps changing
  V3 floorAlbedo{0, 0, 0};
};

class Renderer {
 public:
  ~Renderer() { release(); }

  // The context went: its names with it.
  void abandon() {
    for (GlProgram& program : products_) program.abandon();
    clear_.abandon();
    depth_.abandon();
    cast_.abandon();
    floor_.abandon();
    resolve_.abandon();
    names_.clear();
    textures_.clear();
    titleName_ = 0;
    built_ = false;
    failure_.clear();
    edgesWidth_ = edgesHeight_ = 0;
    prepared_.reset();
    bakedShape_.clear();
    baked_.clear();
    skyKey_.clear();
    castFor_.clear();
  }

  bool draw(SceneState& scene, int width, int height, int x0, int y0, int w, int h, std::string* error);
  // The window's frames may be drafts while the shot keeps changing;
  // pictures written never are.
  bool interactive_ = false;
  bool describe(SceneState& scene, int width, int height, std::string* json, std::string* error);

 private:
  bool build(std::string* error);
  void release();
  GLuint make(GLenum kind);
  bool prepare(SceneState& scene, std::string* error);
  void castOcclusion(Prepared& p);
  void bakeOpenness(StudioMesh& mesh);
  bool edgeBuffer(int width, int height);
  bool resolveProgram();
  void castKeyShadow(Prepared& p);
  GLuint artwork(GLuint classic, const SceneState& scene);
  GLuint titleTexture(const std::string& title);
  GLuint titleName_ = 0;
  std::string titleText_;
  void bindMesh() const;
  void unbindMesh() const;
  // The opaque batches, or the clear ones.
  void drawBatches(const Prepared& p, int artworkUniform, const SceneState& scene, bool clear = false);
  void setLights(const Prepared& p, const V3& eye);

  bool built_ = false;
  GlProgram depth_, cast_, floor_;
  // The product's program in its variants (coat or none, full or draft
  // shadow), each built when first drawn; `product_` the one drawing.
  std::array<GlProgram, 4> products_;
  GlProgram* product_ = &products_[0];
  GlProgram* productProgram(bool coat, bool draft, std::string* error);
  GlProgram clear_;
  GlProgram* clearProgram_(std::string* error);
  std::vector<std::pair<GLenum, GLuint>> names_;
  GLuint vertexBuffer_ = 0;
  GLuint occlusionFramebuffer_ = 0, occlusionTexture_ = 0, occlusionStencil_ = 0;
  GLuint shadowFramebuffer_ = 0, shadowTexture_ = 0;
  GLuint white_ = 0;
  GLuint opennessFramebuffer_ = 0, opennessDepth_ = 0;
  GLuint edgesFramebuffer_ = 0, edgesColour_ = 0, edgesDepth_ = 0;  // the colour a multisampled texture
  GlProgram resolve_;  // averages its samples straight onto the target
  GLuint resolvedFramebuffer_ = 0, resolvedTexture_ = 0;
  int edgesWidth_ = 0, edgesHeight_ = 0, edgeSamples_ = 0;
  std::string failure_;  // why this context cannot draw the look: not tried again every frame
  std::map<GLuint, ArtworkTexture> textures_;
  std::unique_ptr<Prepared> prepared_;
  // The last bake, by the geometry it was made for: a batch's rows show the
  // same product with other covers, and the sky it sees is the same.
  std::vector<float> bakedShape_, baked_;
  // The sky's and the contact's shadow of the last shape, cast unturned,
  // and what it was cast for.
  GLuint skyTexture_ = 0;
  std::vector<double> skyKey_;
  bool skyDraft_ = false;
  // Counts the shapes baked: the same count, the same shape.
  uint64_t shape_ = 0;
  // What the floor's shadow and the key's shadow map were last cast for: a
  // batch's rows that change only their covers cast nothing again.
  std::vector<double> castFor_;
  std::chrono::steady_clock::time_point lastChange_{};
};

GLuint Renderer::make(GLenum kind) {
  GLuint name = 0;
  switch (kind) {
    case GL_TEXTURE: glGenTextures(1, &name); break;
    case GL_FRAMEBUFFER: glGenFramebuffers(1, &name); break;
    case GL_RENDERBUFFER: glGenRenderbuffers(1, &name); break;
    default: glGenBuffers(1, &name); break;
  }
  names_.emplace_back(kind, name);
  return name;
}

GlProgram* Renderer::clearProgram_(std::string* error) {
  if (clear_.valid()) return &clear_;
  std::string source = shaders::kProductFragment;
  source.insert(source.find('\n') + 1, "#define COAT 0\n#define KEY_TAPS 4\n#define CLEAR 1\n");
  if (!clear_.build(shaders::kProductVertex, source.c_str(), error)) return nullptr;
  return &clear_;
}

GlProgram* Renderer::productProgram(bool coat, bool draft, std::string* error) {
  GlProgram& program = products_[(coat ? 1 : 0) + (draft ? 2 : 0)];
  if (program.valid()) return &program;
  std::string source = shaders::kProductFragment;
  const std::string defines = std::string("#define COAT ") + (coat ? "1" : "0") + "\n#define KEY_TAPS " + (draft ? "4" : "16") + "\n#define CLEAR 0\n";
  source.insert(source.find('\n') + 1, defines);  // after #version
  if (!program.build(shaders::kProductVertex, source.c_str(), error)) return nullptr;
  return &program;
}

bool Renderer::resolveProgram() {
  if (resolve_.valid()) return true;
  const std::string fragment = "#version 130\n#extension GL_ARB_texture_multisample : require\n#define SAMPLES " +
                               std::to_string(edgeSamples_) + "\n" + shaders::kResolveFragment;
  std::string why;
  return resolve_.build(shaders::kResolveVertex, fragment.c_str(), &why);
}

bool Renderer::edgeBuffer(int width, int height) {
  if (edgeSamples_ < 2) return false;
  // Kept at the largest size asked for: a drag asks for another size each
  // frame, and a new buffer each time would cost more than drawing in it.
  if (edgesFramebuffer_ != 0 && edgesWidth_ >= width && edgesHeight_ >= height) return true;
  width = std::max(width, edgesWidth_);
  height = std::max(height, edgesHeight_);
  if (edgesFramebuffer_ == 0) {
    edgesColour_ = make(GL_TEXTURE);
    edgesDepth_ = make(GL_RENDERBUFFER);
    edgesFramebuffer_ = make(GL_FRAMEBUFFER);
    resolvedTexture_ = make(GL_TEXTURE);
    resolvedFramebuffer_ = make(GL_FRAMEBUFFER);
  }
  glBindTexture(GL_TEXTURE_2D, resolvedTexture_);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glBindFramebuffer(GL_FRAMEBUFFER, resolvedFramebuffer_);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, resolvedTexture_, 0);
  const bool resolvedOk = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
  glBindTexture(GL_TEXTURE_2D_MULTISAMPLE, edgesColour_);
  glTexImage2DMultisample(GL_TEXTURE_2D_MULTISAMPLE, edgeSamples_, GL_RGBA8, width, height, GL_TRUE);
  glBindTexture(GL_TEXTURE_2D_MULTISAMPLE, 0);
  glBindRenderbuffer(GL_RENDERBUFFER, edgesDepth_);
  glRenderbufferStorageMultisample(GL_RENDERBUFFER, edgeSamples_, GL_DEPTH24_STENCIL8, width, height);
  glBindFramebuffer(GL_FRAMEBUFFER, edgesFramebuffer_);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D_MULTISAMPLE, edgesColour_, 0);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, edgesDepth_);
  if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE || !resolvedOk) {
    edgeSamples_ = 0;  // drawn straight into the target from now on
    return false;
  }
  edgesWidth_ = width;
  edgesHeight_ = height;
  return true;
}

void Renderer::release() {
  for (const auto& [kind, name] : names_) {
    switch (kind) {
      case GL_TEXTURE: glDeleteTextures(1, &name); break;
      case GL_FRAMEBUFFER: glDeleteFramebuffers(1, &name); break;
      case GL_RENDERBUFFER: glDeleteRenderbuffers(1, &name); break;
      default: glDeleteBuffers(1, &name); break;
    }
  }
  names_.clear();
  for (auto& [classic, copy] : textures_) glDeleteTextures(1, &copy.name);
  textures_.clear();
  if (titleName_ != 0) glDeleteTextures(1, &titleName_);
  titleName_ = 0;
  edgesFramebuffer_ = 0;
  edgesWidth_ = edgesHeight_ = 0;
}

bool Renderer::build(std::string* error) {
  if (built_ && products_[0].valid()) return true;
  if (!failure_.empty()) {
    *error = failure_;
    return false;
  }
  // What a half-finished build made is deleted, not forgotten.
  release();
  for (GlProgram& program : products_) program.release();
  clear_.release();
  depth_.release();
  cast_.release();
  floor_.release();
  resolve_.release();
  prepared_.reset();
  std::string why;
  if (!productProgram(false, false, &why) || !depth_.build(shaders::kDepthVertex, shaders::kDepthFragment, &why) ||
      !cast_.build(shaders::kCastVertex, shaders::kCastFragment, &why) ||
      !floor_.build(shaders::kFloorVertex, shaders::kFloorFragment, &why)) {
    *error = failure_ = "the graphics driver cannot draw the studio look: " + why;
    return false;
  }
  vertexBuffer_ = make(GL_BUFFER);

  // The floor's square of shadow, and the sky's part of it kept unturned.
  auto floorSquare = [this] {
    const GLuint name = make(GL_TEXTURE);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_R32F, kOcclusionSide, kOcclusionSide, 0, GL_RED, GL_FLOAT, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    return name;
  };
  occlusionTexture_ = floorSquare();
  skyTexture_ = floorSquare();
  skyKey_.clear();
  occlusionStencil_ = make(GL_RENDERBUFFER);
  glBindRenderbuffer(GL_RENDERBUFFER, occlusionStencil_);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, kOcclusionSide, kOcclusionSide);
  occlusionFramebuffer_ = make(GL_FRAMEBUFFER);
  glBindFramebuffer(GL_FRAMEBUFFER, occlusionFramebuffer_);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, occlusionTexture_, 0);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, occlusionStencil_);
  const bool occlusionOk = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;

  shadowTexture_ = make(GL_TEXTURE);
  glBindTexture(GL_TEXTURE_2D, shadowTexture_);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT24, kShadowSide, kShadowSide, 0, GL_DEPTH_COMPONENT, GL_FLOAT,
               nullptr);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_MODE, GL_COMPARE_REF_TO_TEXTURE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_FUNC, GL_LEQUAL);
  shadowFramebuffer_ = make(GL_FRAMEBUFFER);
  glBindFramebuffer(GL_FRAMEBUFFER, shadowFramebuffer_);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, shadowTexture_, 0);
  glDrawBuffer(GL_NONE);
  glReadBuffer(GL_NONE);
  const bool shadowOk = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;

  white_ = make(GL_TEXTURE);
  glBindTexture(GL_TEXTURE_2D, white_);
  const uint8_t texel[4] = {255, 255, 255, 255};
  glTexImage2D(GL_TEXTURE_2D, 0, GL_SRGB8_ALPHA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  opennessDepth_ = make(GL_RENDERBUFFER);
  glBindRenderbuffer(GL_RENDERBUFFER, opennessDepth_);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, kOpennessSide, kOpennessSide);
  opennessFramebuffer_ = make(GL_FRAMEBUFFER);
  glBindFramebuffer(GL_FRAMEBUFFER, opennessFramebuffer_);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, opennessDepth_);
  glDrawBuffer(GL_NONE);
  glReadBuffer(GL_NONE);
  const bool opennessOk = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
  if (!occlusionOk || !shadowOk || !opennessOk) {
    *error = failure_ = "the graphics driver cannot make the studio's shadow buffers";
    return false;
  }
  GLint samples = 0;
  glGetIntegerv(GL_MAX_SAMPLES, &samples);
  edgeSamples_ = std::min(kEdgeSamples, static_cast<int>(samples));
  built_ = true;
  return true;
}

// A picture (the GL's rows) as an sRGB texture with its mipmaps.
GLuint uploadSrgb(RgbaImage level) {
  int levels = 1;
  while ((std::max(level.width, level.height) >> levels) > 0) ++levels;
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  glTexStorage2D(GL_TEXTURE_2D, levels, GL_SRGB8_ALPHA8, level.width, level.height);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  for (int i = 0; i < levels; ++i) {
    if (i > 0) level = HalvedInLinearLight(level);
    glTexSubImage2D(GL_TEXTURE_2D, i, 0, 0, level.width, level.height, GL_RGBA, GL_UNSIGNED_BYTE, level.pixels.data());
  }
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  // No anisotropic filtering: Mesa's software rasteriser draws it with a
  // dotted line of wrong 2 x 2 blocks across a face where its footprint
  // changes size (the cracks across a light cover).
  glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, 1.0f);
  return name;
}

GLuint Renderer::titleTexture(const std::string& title) {
  if (titleName_ != 0 && title == titleText_) return titleName_;
  if (titleName_ != 0) glDeleteTextures(1, &titleName_);
  titleText_ = title;
  titleName_ = uploadSrgb(TabWithTitle(title, kTabWidth, kTabHeight));
  return titleName_;
}

GLuint Renderer::artwork(GLuint classic, const SceneState& scene) {
  int w = 0, h = 0;
  if (!BoundTextureSize(classic, &w, &h)) return white_;
  // A few texels tell a texture replaced under the same name.
  ArtworkTexture probe;
  probe.width = w;
  probe.height = h;
  for (int i = 0; i < 16; ++i) {
    const int x = (i % 4) * (w - 1) / 3, y = (i / 4) * (h - 1) / 3;
    glGetTextureSubImage(classic, 0, x, y, 0, 1, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, 4, probe.probe.data() + i * 4);
  }
  const bool pages = IsProgramPageEdges(scene, classic);
  const FaceArtwork* fuller = pages ? nullptr : FullerArtwork(scene, classic, w, h);
  GLint largest = 4096;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
  if (fuller) {
    probe.source = fuller->path + "|" + std::to_string(fuller->width) + "x" + std::to_string(fuller->height);
  }
  if (pages) probe.source = "page edges";
  auto found = textures_.find(classic);
  if (found != textures_.end()) {
    const ArtworkTexture& kept = found->second;
    if (kept.width == w && kept.height == h && kept.probe == probe.probe && kept.source == probe.source &&
        glIsTexture(kept.name)) {
      return kept.name;
    }
    glDeleteTextures(1, &kept.name);
    textures_.erase(found);
  }
  // The picture at its own size where the classic frame shrank it to a
  // power of two (up to the GL's largest); else the classic texture's
  // pixels, through memory: its unsized format copies to no sized one on
  // the GPU.
  std::vector<uint8_t> pixels;
  int tw = w, th = h;
  if (pages) {
    RgbaImage lines = PageEdgeLines();
    tw = lines.width, th = lines.height;
    pixels = TexturePixels(std::move(lines));
  }
  if (fuller) {
    const PictureResult decoded = LoadPicture(fuller->path);
    if (decoded.picture) {
      const int fw = std::min(fuller->width, largest), fh = std::min(fuller->height, largest);
      RgbaImage image = decoded.picture->render(fw, fh);
      if (image.width == fw && image.height == fh) {
        pixels = TexturePixels(std::move(image));
        tw = fw, th = fh;
      }
    }
  }
  if (pixels.empty()) {
    tw = w, th = h;
    pixels.resize(static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
    glBindTexture(GL_TEXTURE_2D, classic);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  }
  probe.name = uploadSrgb(RgbaImage{tw, th, std::move(pixels)});
  textures_[classic] = probe;
  return probe.name;
}

void Renderer::bindMesh() const {
  glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
  glEnableVertexAttribArray(0);
  glEnableVertexAttribArray(1);
  glEnableVertexAttribArray(2);
  glEnableVertexAttribArray(3);
  const auto stride = static_cast<GLsizei>(sizeof(MeshVertex));
  glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(MeshVertex, position)));
  glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(MeshVertex, normal)));
  glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(MeshVertex, uv)));
  glVertexAttribPointer(3, 1, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(MeshVertex, openness)));
}

void Renderer::unbindMesh() const {
  glDisableVertexAttribArray(0);
  glDisableVertexAttribArray(1);
  glDisableVertexAttribArray(2);
  glDisableVertexAttribArray(3);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void uniformMatrix(const GlProgram& program, const char* name, const Mat4& m) {
  const std::array<float, 16> f = m.floats();
  glUniformMatrix4fv(program.uniform(name), 1, GL_FALSE, f.data());
}

void uniform3(const GlProgram& program, const char* name, const V3& v) {
  glUniform3f(program.uniform(name), static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2]));
}

// An orthonormal pair across `d`.
void across(const V3& d, V3* u, V3* v) {
  const V3 helper = std::fabs(d[1]) < 0.9 ? V3{0, 1, 0} : V3{1, 0, 0};
  *u = Normalized(Cross(d, helper));
  *v = Cross(d, *u);
}

// How far below the floor the reflection has faded away.
double reflectionFade(const StudioFloor& floor, double height) {
  return height * (0.3 + 0.7 * std::clamp(floor.softness, 0, 100) / 100.0);
}

V3 productCentre(const Prepared& p) { return {0, p.height / 2, 0}; }

// A corner of a textured quad: its texture coordinates, then its place in
// clip space.
struct QuadCorner {
  float s, t, x, y;
};

// The texture laid down as it stands, through the fixed pipeline, over the
// quad the corners give in clip space.
void texturedQuad(GLuint texture, const std::array<QuadCorner, 4>& corners) {
  glUseProgram(0);
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, texture);
  glEnable(GL_TEXTURE_2D);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glBegin(GL_QUADS);
  for (const QuadCorner& c : corners) glTexCoord2f(c.s, c.t), glVertex2f(c.x, c.y);
  glEnd();
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glDisable(GL_TEXTURE_2D);
}

// Where the floor's shadows can fall: each corner as the key's points cast
// it (as the cast does), and within the sky's and the contact's reach of
// it (the sky no lower than kLowestSky throws a corner no farther than its
// height, the contact no farther than its reach).
std::array<double, 4> shadedPart(const Prepared& p, const std::vector<V3>& keyPoints) {
  const double r = p.region[2];
  std::array<double, 4> all{p.region[0] - r, p.region[1] - r, p.region[0] + r, p.region[1] + r};
  std::array<double, 4> box{1e30, 1e30, -1e30, -1e30};
  auto grow = [&box](double x, double z, double by) {
    box = {std::min(box[0], x - by), std::min(box[1], z - by), std::max(box[2], x + by), std::max(box[3], z + by)};
  };
  const double contactReach = kContactReach * p.height;
  for (const MeshVertex& vertex : p.mesh.vertices) {
    const V3 w = p.model.point({vertex.position[0], vertex.position[1], vertex.position[2]});
    const double y = std::max(0.0, w[1]);
    grow(w[0], w[2], std::max(y / std::tan(kLowestSky), std::min(contactReach, y / std::tan(5 * M_PI / 180))));
    for (const V3& l : keyPoints) {
      if (l[1] - y < 1e-4 * std::max(1.0, l[1])) return all;  // a light level with the product throws it anywhere
      const double t = l[1] / (l[1] - y);
      grow(l[0] + (w[0] - l[0]) * t, l[2] + (w[2] - l[2]) * t, 0);
    }
  }
  // Two texels more: the shadow's texels are read with their neighbours.
  const double margin = 2 * 2 * r / kOcclusionSide;
  return {std::max(all[0], box[0] - margin), std::max(all[1], box[1] - margin), std::min(all[2], box[2] + margin),
          std::min(all[3], box[3] + margin)};
}

void Renderer::castOcclusion(Prepared& p) {
  glBindFramebuffer(GL_FRAMEBUFFER, occlusionFramebuffer_);
  glViewport(0, 0, kOcclusionSide, kOcclusionSide);
  glClearColor(0, 0, 0, 0);
  glClearStencil(0);
  glClear(GL_COLOR_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  if (p.mesh.empty()) return;
  cast_.use();
  glUniform3f(cast_.uniform("uRegion"), static_cast<float>(p.region[0]), static_cast<float>(p.region[1]),
              static_cast<float>(p.region[2]));
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_CULL_FACE);
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE);
  // Each light point counts a floor point once, however many of the
  // product's triangles cover it: pass n marks what it covers with n and
  // skips what already holds n, so the stencil is cleared once in 255
  // passes rather than before each.
  glEnable(GL_STENCIL_TEST);
  glStencilOp(GL_KEEP, GL_KEEP, GL_REPLACE);
  int pass = 0;
  auto nextPass = [&pass] {
    if (pass == 255) {
      glClear(GL_STENCIL_BUFFER_BIT);
      pass = 0;
    }
    ++pass;
    glStencilFunc(GL_NOTEQUAL, pass, 0xFF);
  };
  bindMesh();
  const double size = p.mesh.size();
  // What each light and the sky give the floor, so a point hidden from all
  // of them is as dark as the strength says.
  const V3 up{0, 1, 0};
  const double floorLight = std::max(1e-6, Irradiance(p.setup, up)[1]);
  double lightsPart = 0;
  // Only the key casts: a photograph shows one shadow, the fill and rim
  // lift the floor evenly.
  const StudioLight& key = p.setup.lights.front();
  lightsPart = key.intensity * std::max(0.0, key.direction[1]);
  lightsPart = std::clamp(lightsPart / floorLight, 0.0, 0.95);
  // A share for the darkening right at the contact, where the floor sees
  // little of the room at all.
  const double skyShare = (1 - lightsPart) * (1 - kContactShare);
  const int reach = cast_.uniform("uReach");
  const int vertices = p.mesh.solidCount();
  const int loc = cast_.uniform("uLight");
  const int weight = cast_.uniform("uWeight");

  // The sky and the contact see the product from all round: turning it turns
  // their shadow and changes nothing else. They are cast once for a shape,
  // in its own unturned frame, and laid down turned; a drag that turns the
  // product casts the key alone.
  const Mat4 unturned = Mat4::Translation(V3{0, 0, 0} - BasePoint(p.mesh));
  std::vector<double> skyKey = {static_cast<double>(shape_), skyShare, p.region[2], p.height};
  if (skyKey != skyKey_ || (skyDraft_ && !p.draft)) {
    uniformMatrix(cast_, "uModel", unturned);
    // The sky: directions spread evenly over the dome, weighted by how
    // steeply they reach the floor.
    glUniform1f(reach, 1e30f);
    std::vector<std::pair<V3, double>> sky;
    double total = 0;
    const int skySamples = p.draft ? kDraftSamples : kSkySamples;
    for (int i = 0; i < skySamples; ++i) {
      const double h = std::sin(kLowestSky) + (1 - std::sin(kLowestSky)) * (i + 0.5) / skySamples;
      const double ring = std::sqrt(std::max(0.0, 1 - h * h));
      const double a = i * kGoldenAngle;
      sky.emplace_back(V3{ring * std::cos(a), h, ring * std::sin(a)}, h * h);
      total += h * h;
    }
    for (const auto& [direction, cosine] : sky) {
      glUniform4f(loc, static_cast<float>(direction[0]), static_cast<float>(direction[1]),
                  static_cast<float>(direction[2]), 0.0f);
      glUniform1f(weight, static_cast<float>(skyShare * cosine / total));
      nextPass();
      glDrawArrays(GL_TRIANGLES, 0, vertices);
    }
    // The contact: the whole dome down to the horizon, but only what stands
    // within a short reach of the floor point casts (occluders farther off
    // are cut at the height the reach allows in that direction).
    const double contactReach = kContactReach * p.height;
    double contactTotal = 0;
    std::vector<std::pair<V3, double>> dome;
    const int contactSamples = p.draft ? kDraftSamples : kContactSamples;
    for (int i = 0; i < contactSamples; ++i) {
      const double h = std::sin(5 * M_PI / 180) + (1 - std::sin(5 * M_PI / 180)) * (i + 0.5) / contactSamples;
      const double ring = std::sqrt(std::max(0.0, 1 - h * h));
      const double a = i * kGoldenAngle;
      dome.emplace_back(V3{ring * std::cos(a), h, ring * std::sin(a)}, h);
      contactTotal += h;
    }
    for (const auto& [direction, cosine] : dome) {
      glUniform4f(loc, static_cast<float>(direction[0]), static_cast<float>(direction[1]),
                  static_cast<float>(direction[2]), 0.0f);
      glUniform1f(reach, static_cast<float>(contactReach * direction[1]));
      glUniform1f(weight, static_cast<float>(kContactShare * cosine / contactTotal));
      nextPass();
      glDrawArrays(GL_TRIANGLES, 0, vertices);
    }
    glBindTexture(GL_TEXTURE_2D, skyTexture_);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, kOcclusionSide, kOcclusionSide);
    skyKey_ = std::move(skyKey);
    skyDraft_ = p.draft;
  }
  // The kept sky, turned as the product is: texel centres fall on texel
  // centres unturned, so an unturned product's floor is the cast itself.
  {
    unbindMesh();
    glDisable(GL_STENCIL_TEST);
    glDisable(GL_BLEND);
    const Mat4 turn = Mat4::Rotation(p.key.turn, {0, 1, 0});
    const double r = p.region[2];
    std::array<QuadCorner, 4> corners;
    const std::pair<int, int> unit[4] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (size_t i = 0; i < 4; ++i) {
      const auto [s, t] = unit[i];
      // Corners of the square reach past the region when turned; the
      // clamped rim of the kept texture is empty floor.
      const V3 corner = turn.point({(2.0 * s - 1) * r * 1.5, 0, (2.0 * t - 1) * r * 1.5});
      corners[i] = {static_cast<float>(0.5 + (s - 0.5) * 1.5), static_cast<float>(0.5 + (t - 0.5) * 1.5),
                    static_cast<float>((corner[0] - p.region[0]) / r), static_cast<float>((corner[2] - p.region[1]) / r)};
    }
    texturedQuad(skyTexture_, corners);
    cast_.use();
    bindMesh();
    glEnable(GL_BLEND);
    glClear(GL_STENCIL_BUFFER_BIT);
    glEnable(GL_STENCIL_TEST);
    pass = 0;
  }
  uniformMatrix(cast_, "uModel", p.model);
  glUniform1f(reach, 1e30f);
  {
    const StudioLight& light = key;
    const double share = lightsPart * (1 - kContactShare);
    const V3 centre = productCentre(p) + light.direction * (light.distance * size);
    V3 u, v;
    across(light.direction, &u, &v);
    // The key's face grows with the softness asked for.
    const double radius = light.radius * size * p.keySpread;
    const int samples = share > 0 ? (p.draft ? kDraftKeySamples : kKeySamples) : 0;
    std::vector<V3> points;
    for (int i = 0; i < samples; ++i) {
      // A Vogel spiral over the light's round face: even, and the same every run.
      const double r = std::sqrt((i + 0.5) / samples) * radius;
      const double a = i * kGoldenAngle;
      const V3 point = centre + u * (r * std::cos(a)) + v * (r * std::sin(a));
      points.push_back(point);
      glUniform4f(loc, static_cast<float>(point[0]), static_cast<float>(point[1]), static_cast<float>(point[2]), 1.0f);
      glUniform1f(weight, static_cast<float>(share / samples));
      nextPass();
      glDrawArrays(GL_TRIANGLES, 0, vertices);
    }
    p.shaded = shadedPart(p, points);
  }
  unbindMesh();
  glDisable(GL_STENCIL_TEST);
  glDisable(GL_BLEND);
}

void Renderer::bakeOpenness(StudioMesh& mesh) {
  if (mesh.empty()) return;
  const Mat4 model = Mat4::Translation(V3{0, 0, 0} - BasePoint(mesh));
  std::vector<V3> points(mesh.vertices.size()), normals(mesh.vertices.size());
  V3 centre{0, 0, 0};
  for (size_t i = 0; i < mesh.vertices.size(); ++i) {
    const MeshVertex& v = mesh.vertices[i];
    points[i] = model.point({v.position[0], v.position[1], v.position[2]});
    normals[i] = Normalized({v.normal[0], v.normal[1], v.normal[2]});
    centre = centre + points[i];
  }
  centre = centre * (1.0 / static_cast<double>(points.size()));
  double radius = 1e-3;
  for (const V3& q : points) radius = std::max(radius, Length(q - centre));
  glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
  glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(mesh.vertices.size() * sizeof(MeshVertex)),
               mesh.vertices.data(), GL_STATIC_DRAW);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  std::vector<double> seen(points.size(), 0), weights(points.size(), 0);
  std::vector<float> depth(static_cast<size_t>(kOpennessSide) * kOpennessSide);
  glBindFramebuffer(GL_FRAMEBUFFER, opennessFramebuffer_);
  glViewport(0, 0, kOpennessSide, kOpennessSide);
  depth_.use();
  uniformMatrix(depth_, "uModel", model);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LESS);
  glDepthMask(GL_TRUE);
  glDisable(GL_CULL_FACE);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  bindMesh();
  // A point sees the room in a direction when nothing of the product stands
  // nearer that way: its depth that way against the product's nearest
  // there. Looked up a little off the surface, so a face never hides
  // itself. The whole sphere: below the horizon an outside wall sees the
  // lit floor, a cavity's wall its own other side.
  const double lift = radius * 0.02;
  for (int i = 0; i < 2 * kOpennessSamples; ++i) {
    const double h = -1 + (i + 0.5) / kOpennessSamples;
    const double ring = std::sqrt(std::max(0.0, 1 - h * h));
    const double a = i * kGoldenAngle;
    const V3 d{ring * std::cos(a), h, ring * std::sin(a)};
    const Mat4 view = Mat4::LookAt(centre + d * (radius * 2), centre, std::fabs(d[1]) < 0.9 ? V3{0, 1, 0} : V3{1, 0, 0});
    const Mat4 viewProjection = Mat4::Ortho(-radius, radius, -radius, radius, 0.0, radius * 4) * view;
    uniformMatrix(depth_, "uLightViewProjection", viewProjection);
    glClear(GL_DEPTH_BUFFER_BIT);
    glDrawArrays(GL_TRIANGLES, 0, mesh.solidCount());
    glReadPixels(0, 0, kOpennessSide, kOpennessSide, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
    for (size_t k = 0; k < points.size(); ++k) {
      const double w = Dot(normals[k], d);
      if (w <= 0) continue;
      const V3 c = viewProjection.point(points[k] + normals[k] * lift);
      const int x = static_cast<int>((c[0] * 0.5 + 0.5) * kOpennessSide);
      const int y = static_cast<int>((c[1] * 0.5 + 0.5) * kOpennessSide);
      // Nine texels around it: a thin wall's edge counts by how much of it
      // stands in front, not all or nothing.
      int open = 0;
      for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
          const int u = std::clamp(x + dx, 0, kOpennessSide - 1), v = std::clamp(y + dy, 0, kOpennessSide - 1);
          const double nearest = depth[static_cast<size_t>(v) * kOpennessSide + static_cast<size_t>(u)];
          open += c[2] * 0.5 + 0.5 <= nearest + 2.0 / kOpennessSide ? 1 : 0;
        }
      }
      weights[k] += w;
      seen[k] += w * open / 9.0;
    }
  }
  unbindMesh();
  // One value a corner, wherever triangles share it, then smoothed with its
  // neighbours a few times: the depth pictures' texels would otherwise leave
  // streaks between the columns of a round wall.
  std::map<std::array<long, 3>, size_t> corners;
  std::vector<size_t> cornerOf(points.size());
  for (size_t k = 0; k < points.size(); ++k) {
    const std::array<long, 3> key = {std::lround(points[k][0] * 256), std::lround(points[k][1] * 256),
                                     std::lround(points[k][2] * 256)};
    cornerOf[k] = corners.emplace(key, corners.size()).first->second;
  }
  std::vector<double> open(corners.size(), 0), count(corners.size(), 0);
  for (size_t k = 0; k < points.size(); ++k) {
    open[cornerOf[k]] += weights[k] > 0 ? seen[k] / weights[k] : 1.0;
    count[cornerOf[k]] += 1;
  }
  for (size_t c = 0; c < open.size(); ++c) open[c] /= std::max(1.0, count[c]);
  std::vector<std::vector<size_t>> neighbours(open.size());
  for (size_t t = 0; t + 2 < points.size(); t += 3) {
    for (size_t i = 0; i < 3; ++i) {
      const size_t a = cornerOf[t + i], b = cornerOf[t + (i + 1) % 3];
      if (a != b) neighbours[a].push_back(b), neighbours[b].push_back(a);
    }
  }
  for (int round = 0; round < 3; ++round) {
    std::vector<double> next(open.size());
    for (size_t c = 0; c < open.size(); ++c) {
      double sum = 0;
      for (size_t n : neighbours[c]) sum += open[n];
      next[c] = neighbours[c].empty() ? open[c] : 0.5 * open[c] + 0.5 * sum / static_cast<double>(neighbours[c].size());
    }
    open.swap(next);
  }
  for (size_t k = 0; k < points.size(); ++k) mesh.vertices[k].openness = static_cast<float>(open[cornerOf[k]]);
}

void Renderer::castKeyShadow(Prepared& p) {
  const StudioLight& key = p.setup.lights.front();
  const V3 centre = productCentre(p);
  double radius = 1e-3;
  for (const MeshVertex& vertex : p.mesh.vertices) {
    radius = std::max(radius, Length(p.model.point({vertex.position[0], vertex.position[1], vertex.position[2]}) - centre));
  }
  const Mat4 view = Mat4::LookAt(centre + key.direction * (radius * 2), centre,
                                 std::fabs(key.direction[1]) < 0.9 ? V3{0, 1, 0} : V3{1, 0, 0});
  const Mat4 projection = Mat4::Ortho(-radius, radius, -radius, radius, 0.0, radius * 4);
  p.shadowRadius = radius;
  const Mat4 lightViewProjection = projection * view;
  Mat4 bias;
  bias.m = {0.5, 0, 0, 0, 0, 0.5, 0, 0, 0, 0, 0.5, 0, 0.5, 0.5, 0.5, 1};
  p.shadowMatrix = bias * lightViewProjection;
  glBindFramebuffer(GL_FRAMEBUFFER, shadowFramebuffer_);
  glViewport(0, 0, kShadowSide, kShadowSide);
  glClear(GL_DEPTH_BUFFER_BIT);
  if (p.mesh.empty()) return;
  depth_.use();
  uniformMatrix(depth_, "uModel", p.model);
  uniformMatrix(depth_, "uLightViewProjection", lightViewProjection);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LESS);
  glDepthMask(GL_TRUE);
  glEnable(GL_POLYGON_OFFSET_FILL);
  glPolygonOffset(2.0f, 8.0f);
  // A solid's faces turned to the key are never in its own shadow: only its
  // far side goes into the map, so a lit face is never compared with
  // itself (whose two triangles' depths part along their shared diagonal
  // and left a dotted line across it).
  if (p.mesh.closed) glEnable(GL_CULL_FACE), glCullFace(GL_FRONT);
  bindMesh();
  glDrawArrays(GL_TRIANGLES, 0, p.mesh.solidCount());
  unbindMesh();
  glDisable(GL_CULL_FACE);
  glDisable(GL_POLYGON_OFFSET_FILL);
}

bool Renderer::prepare(SceneState& scene, std::string* error) {
  PreparedFrom in = preparedFrom(scene);
  const auto now = std::chrono::steady_clock::now();
  const bool moving = interactive_ && now - lastChange_ < kResting;
  if (prepared_ && prepared_->key == in && (!prepared_->draft || moving)) return true;
  const bool changed = !(prepared_ && prepared_->key == in);
  const bool draft = interactive_ && changed && moving;
  if (changed) lastChange_ = now;
  auto p = std::make_unique<Prepared>();
  p->key = std::move(in);
  // From here on the shot is read through what the key holds; only the
  // product's capture reads the shot itself (keyed by its own list).
  const PreparedFrom& from = p->key;
  p->draft = draft;
  std::optional<StudioSetup> setup = BuiltInStudio(from.setup);
  if (!setup) {
    *error = "there is no studio called '" + from.setup + "'";
    return false;
  }
  p->setup = *setup;
  if (!from.environment.empty()) {
    std::string why;
    if (!LightFromEnvironment(from.environment, &p->setup, &why)) {
      *error = why;
      return false;
    }
  }
  {
    const Vec3& bg = from.background;
    V3 albedo;
    for (size_t c = 0; c < 3; ++c) {
      const double v = std::clamp(static_cast<double>(bg[c]), 0.0, 1.0);
      albedo[c] = kFloorReflectance * (v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4));
    }
    AddFloorBounce(&p->setup, albedo);
    p->floorAlbedo = albedo;
  }
  const bool sameMesh = prepared_ && prepared_->key.mesh == from.mesh;
  p->mesh = sameMesh ? std::move(prepared_->mesh) : ProductMesh(scene);
  if (!sameMesh) {
    std::vector<float> shape;
    shape.reserve(p->mesh.vertices.size() * 6);
    for (const MeshVertex& v : p->mesh.vertices) shape.insert(shape.end(), {v.position[0], v.position[1], v.position[2], v.normal[0], v.normal[1], v.normal[2]});
    if (shape == bakedShape_ && baked_.size() == p->mesh.vertices.size()) {
      for (size_t i = 0; i < baked_.size(); ++i) p->mesh.vertices[i].openness = baked_[i];
    } else {
      bakeOpenness(p->mesh);
      ++shape_;
      bakedShape_ = std::move(shape);
      baked_.clear();
      for (const MeshVertex& v : p->mesh.vertices) baked_.push_back(v.openness);
    }
    // Copies of pictures the new product does not show go: a batch of
    // shots with other covers keeps one shot's pictures, not every row's.
    for (auto it = textures_.begin(); it != textures_.end();) {
      const GLuint classic = it->first;
      const bool shown = std::any_of(p->mesh.batches.begin(), p->mesh.batches.end(),
                                     [classic](const MeshBatch& b) { return b.texture == classic; });
      if (shown) {
        ++it;
        continue;
      }
      glDeleteTextures(1, &it->second.name);
      it = textures_.erase(it);
    }
  }
  const Mat4 turn = Mat4::Rotation(from.turn, {0, 1, 0});
  p->model = turn * Mat4::Translation(V3{0, 0, 0} - BasePoint(p->mesh));
  double footprint = 0;
  for (const MeshVertex& v : p->mesh.vertices) {
    const V3 w = p->model.point({v.position[0], v.position[1], v.position[2]});
    footprint = std::max(footprint, std::hypot(w[0], w[2]));
    p->height = std::max(p->height, w[1]);
  }
  p->region = {0, 0, footprint + 2.3 * p->height};
  // Softness 0 to 100 makes the key's face a tenth to twice its size.
  p->keySpread = 0.1 + 1.9 * std::clamp(from.floor.softness, 0, 100) / 100.0;

  if (!sameMesh) {
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(p->mesh.vertices.size() * sizeof(MeshVertex)),
                 p->mesh.vertices.data(), GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
  }
  // Everything the two casts read: the shape, where it stands, the studio's
  // lights and the floor's bounce, the key's softness, a draft or not.
  std::vector<double> castFor = {static_cast<double>(shape_), p->region[0], p->region[1], p->region[2], p->height,
                                 p->keySpread, p->draft ? 1.0 : 0.0, p->mesh.size()};
  castFor.insert(castFor.end(), p->model.m.begin(), p->model.m.end());
  const V3 floorLight = Irradiance(p->setup, {0, 1, 0});
  castFor.insert(castFor.end(), floorLight.begin(), floorLight.end());
  if (!p->setup.lights.empty()) {
    const StudioLight& key = p->setup.lights.front();
    castFor.insert(castFor.end(), key.direction.begin(), key.direction.end());
    castFor.insert(castFor.end(), {key.distance, key.radius, key.intensity});
  }
  if (prepared_ && castFor == castFor_) {
    p->shadowMatrix = prepared_->shadowMatrix;
    p->shadowRadius = prepared_->shadowRadius;
    p->shaded = prepared_->shaded;
  } else {
    castOcclusion(*p);
    castKeyShadow(*p);
    castFor_ = std::move(castFor);
  }

  // Framing keeps whatever of the floor the shadow or the reflection darkens
  // (only framing asks: the shot's own pan and zoom need none of it).
  const bool framed = from.framed;
  if (framed && from.floor.shadow && from.floor.shadowStrength > 0) {
    std::vector<float> occlusion(static_cast<size_t>(kOcclusionSide) * kOcclusionSide);
    glBindTexture(GL_TEXTURE_2D, occlusionTexture_);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RED, GL_FLOAT, occlusion.data());
    // The shadow a viewer sees: the floor darker by 15 % or more. Its faint
    // tail would frame the product small and off-centre for nothing the eye
    // takes for a shadow.
    const float seen =
        kFaintest + (1 - kFaintest) * kSeenShadow / std::max(0.01f, from.floor.shadowStrength / 100.0f);
    // The ends of each row of the darkened texels, a texel wide of them:
    // the outline of the shadow, whatever its shape.
    const double texel = 2 * p->region[2] / kOcclusionSide;
    auto at = [&](int i) { return -p->region[2] + (i + 0.5) * texel; };
    for (int z = 0; z < kOcclusionSide; ++z) {
      const float* row = occlusion.data() + static_cast<size_t>(z) * kOcclusionSide;
      int first = -1, last = -1;
      for (int x = 0; x < kOcclusionSide; ++x) {
        if (row[x] <= seen) continue;
        if (first < 0) first = x;
        last = x;
      }
      if (first < 0) continue;
      for (double dz : {-texel, texel}) {
        p->floorPoints.push_back({at(first) - texel, 0, at(z) + dz});
        p->floorPoints.push_back({at(last) + texel, 0, at(z) + dz});
      }
    }
  }
  if (framed && from.floor.reflection && from.floor.reflectionStrength > 0) {
    Mat4 mirror;
    mirror.m[5] = -1;
    const Mat4 mirrored = mirror * p->model;
    const double fade = reflectionFade(from.floor, p->height);
    for (const MeshVertex& v : p->mesh.vertices) {
      V3 point = mirrored.point({v.position[0], v.position[1], v.position[2]});
      point[1] = std::max(point[1], -fade);  // gone below that
      p->floorPoints.push_back(point);
    }
  }
  prepared_ = std::move(p);
  return true;
}

void Renderer::setLights(const Prepared& p, const V3& eye) {
  const StudioSetup& s = p.setup;
  std::array<float, 9> positions{}, colours{};
  std::array<float, 3> spreads{}, reaches{};
  const double size = p.mesh.size();
  for (size_t i = 0; i < 3; ++i) {
    if (i >= s.lights.size()) continue;
    const StudioLight& light = s.lights[i];
    const V3 at = productCentre(p) + light.direction * (light.distance * size);
    for (size_t c = 0; c < 3; ++c) {
      positions[i * 3 + c] = static_cast<float>(at[c]);
      colours[i * 3 + c] = static_cast<float>(light.colour[c] * light.intensity);
    }
    spreads[i] = static_cast<float>(std::min(0.5, light.radius / light.distance));
    reaches[i] = static_cast<float>(light.distance * size);
  }
  glUniform3fv(product_->uniform("uLightPosition"), 3, positions.data());
  glUniform1fv(product_->uniform("uLightReach"), 3, reaches.data());
  glUniform1f(product_->uniform("uContactHeight"), static_cast<float>(0.2 * std::min(p.height, size)));
  glUniform3fv(product_->uniform("uLightColour"), 3, colours.data());
  glUniform1fv(product_->uniform("uLightSpread"), 3, spreads.data());
  uniform3(*product_, "uSky", s.environment.sky);
  uniform3(*product_, "uHorizon", s.environment.horizon);
  uniform3(*product_, "uGround", s.environment.ground);
  glUniform1f(product_->uniform("uDome"), static_cast<float>(s.environment.intensity));
  std::array<float, 27> harmonics{};
  for (size_t i = 0; i < s.environment.harmonics.size() && i < 9; ++i) {
    for (size_t c = 0; c < 3; ++c) harmonics[i * 3 + c] = static_cast<float>(s.environment.harmonics[i][c]);
  }
  glUniform3fv(product_->uniform("uHarmonics"), 9, harmonics.data());
  glUniform1i(product_->uniform("uUseHarmonics"), s.environment.harmonics.size() == 9 ? 1 : 0);
  uniform3(*product_, "uEye", eye);
  glUniform1f(product_->uniform("uExposure"), 1.0f);
}

void Renderer::drawBatches(const Prepared& p, int artworkUniform, const SceneState& scene, bool clear) {
  glActiveTexture(GL_TEXTURE0);
  glUniform1i(artworkUniform, 0);
  const int tint = product_->uniform("uTint");
  const int emission = product_->uniform("uEmission");
  const uint32_t glaze = static_cast<uint32_t>(scene.look.glaze);
  auto linear = [](uint32_t v) {
    const double c = v / 255.0;
    return static_cast<float>(c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
  };
  const Material finish = materialOf(scene, p.mesh.material);
  bindMesh();
  for (const MeshBatch& batch : p.mesh.batches) {
    if (SeeThrough(batch.surface) != clear) continue;
    // A mug's parts with no picture are glaze, in its own colour.
    const uint32_t colour =
        batch.texture == 0 && p.mesh.material == studio::Material::Ceramic ? glaze : batch.colour;
    glUniform3f(tint, linear((colour >> 16) & 0xFF), linear((colour >> 8) & 0xFF), linear(colour & 0xFF));
    glUniform1f(emission, batch.surface == studio::Surface::Screen ? 1.0f : 0.0f);
    // Moulded plastic and glass are smoother than printed card.
    const bool smooth = batch.surface == studio::Surface::Plastic || clear;
    glUniform1f(product_->uniform("uRoughness"), smooth ? (clear ? 0.06f : 0.32f) : finish.roughness);
    glUniform1f(product_->uniform("uReflectance"), batch.surface == studio::Surface::Glass ? 0.006f : smooth ? 0.04f : finish.reflectance);
    glBindTexture(GL_TEXTURE_2D, batch.surface == studio::Surface::Title ? titleTexture(scene.look.title)
                                                                          : artwork(batch.texture, scene));
    glDrawArrays(GL_TRIANGLES, batch.first, batch.count);
  }
  unbindMesh();
}

bool Renderer::draw(SceneState& scene, int width, int height, int x0, int y0, int w, int h, std::string* error) {
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  GLint framebuffer = 0;
  glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
  GLint program = 0;
  glGetIntegerv(GL_CURRENT_PROGRAM, &program);
  GLint activeTexture = GL_TEXTURE0;
  glGetIntegerv(GL_ACTIVE_TEXTURE, &activeTexture);
  glPushAttrib(GL_ALL_ATTRIB_BITS);
  glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
  glMatrixMode(GL_MODELVIEW);
  bool ok = build(error) && prepare(scene, error);
  if (ok) {
    GlProgram* chosen = productProgram(materialOf(scene, prepared_->mesh.material).coat > 0, prepared_->draft, error);
    if (chosen) {
      product_ = chosen;
    } else {
      failure_ = *error = "the graphics driver cannot draw the studio look: " + *error;
      ok = false;
    }
  }
  glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(framebuffer));
  // Smooth edges at any size: the product is drawn multisampled and laid
  // over the floor, unless the target is multisampled itself (the
  // window's). The floor and the reflection have no edges to smooth and go
  // straight into the target: a multisampled floor costs a third of the
  // picture's time on a software rasteriser.
  GLint targetSamples = 0;
  glGetIntegerv(GL_SAMPLES, &targetSamples);
  // While the window's shot keeps changing, the product is drawn at half
  // the size and laid over the floor enlarged: most of a frame's time is
  // its shading, and the full picture follows once the shot rests.
  const int shrink = ok && prepared_->draft ? 2 : 1;
  bool resolve = ok && (targetSamples < 2 || shrink > 1) && viewport[2] > 0 && viewport[3] > 0 && edgeSamples_ >= 2;
  int box[4] = {0, 0, viewport[2], viewport[3]};  // the product's part of the tile: left, top, width, height
  glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(framebuffer));
  glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
  glDisable(GL_LIGHTING);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  glDisable(GL_CULL_FACE);
  glDisable(GL_STENCIL_TEST);
  // A clear ignores the viewport: without the scissor, each part of a
  // picture drawn in parts would wipe the parts drawn before it.
  glEnable(GL_SCISSOR_TEST);
  glScissor(viewport[0], viewport[1], viewport[2], viewport[3]);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glDepthMask(GL_TRUE);
  const Vec3& bg = scene.backgroundColor;
  glClearColor(std::clamp(bg[0], 0.0f, 1.0f), std::clamp(bg[1], 0.0f, 1.0f), std::clamp(bg[2], 0.0f, 1.0f), 1.0f);
  glClearDepth(1.0);
  // The target's depth is only needed for a reflection or a product drawn
  // straight into it: a multisampled window's depth and stencil are most of
  // a clear's cost on a software rasteriser.
  bool depthCleared = !resolve || (scene.studioFloor.reflection && scene.studioFloor.reflectionStrength > 0);
  glClear(GL_COLOR_BUFFER_BIT | (depthCleared ? GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT : 0));
  if (ok && !prepared_->mesh.empty()) {
    Prepared& p = *prepared_;
    const StudioCamera camera = PlaceCamera(scene, p.mesh, static_cast<double>(width) / height, p.floorPoints);
    const Mat4 projection = TileProjection(camera, width, height, x0, y0, w, h);
    const Material material = materialOf(scene, p.mesh.material);
    const bool aboveFloor = camera.eye[1] > 0;
    const StudioFloor& floor = scene.studioFloor;

    const bool shadow = floor.shadow && floor.shadowStrength > 0;
    const bool reflection = floor.reflection && floor.reflectionStrength > 0;
    if (aboveFloor && (shadow || reflection)) {
      // A reflection alone still stands on something: the darkest core of
      // the contact shadow, where the floor meets the product.
      floor_.use();
      uniformMatrix(floor_, "uView", camera.view);
      uniformMatrix(floor_, "uProjection", projection);
      glUniform3f(floor_.uniform("uRegion"), static_cast<float>(p.region[0]), static_cast<float>(p.region[1]),
                  static_cast<float>(p.region[2]));
      glUniform3f(floor_.uniform("uBackground"), std::clamp(bg[0], 0.0f, 1.0f), std::clamp(bg[1], 0.0f, 1.0f),
                  std::clamp(bg[2], 0.0f, 1.0f));
      glUniform1f(floor_.uniform("uStrength"), shadow ? floor.shadowStrength / 100.0f : kContactAlone);
      glUniform1f(floor_.uniform("uFaintest"), shadow ? kFaintest : kContactCore);
      glActiveTexture(GL_TEXTURE0);
      glBindTexture(GL_TEXTURE_2D, occlusionTexture_);
      glUniform1i(floor_.uniform("uOcclusion"), 0);
      glDisable(GL_DEPTH_TEST);
      // Only where a shadow can fall: the rest is the background already,
      // and a floor over the whole picture is a software rasteriser's
      // longest pass.
      const auto& [left, near, right, far] = p.shaded;
      glBegin(GL_QUADS);
      glVertexAttrib3f(0, static_cast<float>(left), 0, static_cast<float>(near));
      glVertexAttrib3f(0, static_cast<float>(left), 0, static_cast<float>(far));
      glVertexAttrib3f(0, static_cast<float>(right), 0, static_cast<float>(far));
      glVertexAttrib3f(0, static_cast<float>(right), 0, static_cast<float>(near));
      glEnd();
    }

    // Every uniform but the model's, for the program drawing the product
    // (the clear parts have their own).
    auto useProduct = [&](GlProgram* program) {
      product_ = program;
      product_->use();
      uniformMatrix(*product_, "uView", camera.view);
      uniformMatrix(*product_, "uProjection", projection);
      uniformMatrix(*product_, "uShadowMatrix", p.shadowMatrix);
      const double spread = 0.002 + 0.004 * p.keySpread;
      glUniform1f(product_->uniform("uShadowSpread"), static_cast<float>(spread));
      glUniform1f(product_->uniform("uShadowNormalOffset"), static_cast<float>(spread * 2 * p.shadowRadius * 1.5));
      glUniform1f(product_->uniform("uRoughness"), material.roughness);
      glUniform1f(product_->uniform("uReflectance"), material.reflectance);
      glUniform1f(product_->uniform("uCoat"), material.coat);
      glUniform1f(product_->uniform("uCoatRoughness"), material.coatRoughness);
      setLights(p, camera.eye);
      glActiveTexture(GL_TEXTURE1);
      glBindTexture(GL_TEXTURE_2D, shadowTexture_);
      glUniform1i(product_->uniform("uShadowMap"), 1);
      {
        // What the coat mirrors: the floor as the picture shows it, its
        // shadow, and the set-up's strip light.
        auto linear = [](float v) {
          const double c = std::clamp(static_cast<double>(v), 0.0, 1.0);
          return static_cast<float>(c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
        };
        glUniform3f(product_->uniform("uFloorSeen"), linear(bg[0]), linear(bg[1]), linear(bg[2]));
        glActiveTexture(GL_TEXTURE2);
        glBindTexture(GL_TEXTURE_2D, occlusionTexture_);
        glUniform1i(product_->uniform("uOcclusion"), 2);
        glUniform3f(product_->uniform("uRegion"), static_cast<float>(p.region[0]), static_cast<float>(p.region[1]),
                    static_cast<float>(p.region[2]));
        glUniform1f(product_->uniform("uShadowStrength"), floor.shadow ? floor.shadowStrength / 100.0f : 0.0f);
        glUniform1f(product_->uniform("uFaintest"), kFaintest);
        const StudioSetup& s = p.setup;
        const double size = p.mesh.size(), a = s.stripAzimuth * M_PI / 180;
        const V3 towards{std::sin(a), 0, std::cos(a)};
        const V3 centre = towards * (s.stripDistance * size) + V3{0, s.stripHeight * size / 2, 0};
        uniform3(*product_, "uCardCentre", centre);
        uniform3(*product_, "uCardNormal", V3{0, 0, 0} - towards);
        glUniform2f(product_->uniform("uCardHalf"), static_cast<float>(s.stripWidth * size / 2),
                    static_cast<float>(s.stripHeight * size / 2));
        const float strip = static_cast<float>(s.stripBrightness);
        glUniform3f(product_->uniform("uCardSeen"), strip, strip, strip);
        glActiveTexture(GL_TEXTURE0);
      }
    };
    useProduct(product_);
    const int artworkUniform = product_->uniform("uArtwork");

    if (aboveFloor && floor.reflection && floor.reflectionStrength > 0) {
      // The product mirrored in the floor, fading with depth: its nearest
      // surface only, blended once over the floor.
      Mat4 mirror;
      mirror.m[5] = -1;
      uniformMatrix(*product_, "uModel", mirror * p.model);
      glUniform1i(product_->uniform("uFrontFacingFlip"), -1);
      glUniform1f(product_->uniform("uFadeHeight"), static_cast<float>(reflectionFade(scene.studioFloor, p.height)));
      glUniform1f(product_->uniform("uFadeStrength"), floor.reflectionStrength / 100.0f);
      glEnable(GL_DEPTH_TEST);
      glDepthFunc(GL_LESS);
      if (p.mesh.closed) glEnable(GL_CULL_FACE), glCullFace(GL_FRONT);  // the mirror turns the winding
      glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
      drawBatches(p, artworkUniform, scene);
      glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
      glDepthFunc(GL_EQUAL);
      glEnable(GL_BLEND);
      glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ZERO, GL_ONE);
      drawBatches(p, artworkUniform, scene);
      glDisable(GL_BLEND);
      glClear(GL_DEPTH_BUFFER_BIT);
    }

    // The projection the product is drawn with: the rectangle it covers
    // where that is drawn multisampled on its own.
    Mat4 productProjection = projection;
    if (resolve) {
      // Only the rectangle the product covers is drawn multisampled.
      double left = w, right = 0, top = h, bottom = 0;
      const Mat4 toClip = projection * camera.view * p.model;
      for (const MeshVertex& v : p.mesh.vertices) {
        const V3 at{v.position[0], v.position[1], v.position[2]};
        const std::array<double, 4> c = toClip.apply4(at);
        if (!(c[3] > 0)) {
          left = 0, right = w, top = 0, bottom = h;  // behind the eye: all of it
          break;
        }
        const double x = (c[0] / c[3] * 0.5 + 0.5) * w, y = (0.5 - c[1] / c[3] * 0.5) * h;
        left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = std::max(bottom, y);
      }
      box[0] = std::clamp(static_cast<int>(std::floor(left)) - 2, 0, w);
      box[1] = std::clamp(static_cast<int>(std::floor(top)) - 2, 0, h);
      box[2] = std::clamp(static_cast<int>(std::ceil(right)) + 2, 0, w) - box[0];
      box[3] = std::clamp(static_cast<int>(std::ceil(bottom)) + 2, 0, h) - box[1];
      // Whole drawn pixels: the box may reach a pixel past the picture.
      box[2] = (box[2] + shrink - 1) / shrink * shrink;
      box[3] = (box[3] + shrink - 1) / shrink * shrink;
      resolve = box[2] > 0 && box[3] > 0 && edgeBuffer(box[2] / shrink, box[3] / shrink);
    }
    if (resolve) {
      glBindFramebuffer(GL_FRAMEBUFFER, edgesFramebuffer_);
      glViewport(0, 0, box[2] / shrink, box[3] / shrink);
      glDisable(GL_SCISSOR_TEST);  // the target's part is not this buffer's
      glClearColor(0, 0, 0, 0);
      glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
      productProjection = TileProjection(camera, width, height, x0 + box[0], y0 + box[1], box[2], box[3]);
      uniformMatrix(*product_, "uProjection", productProjection);
    }
    if (!resolve && !depthCleared) glClear(GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    uniformMatrix(*product_, "uModel", p.model);
    glUniform1i(product_->uniform("uFrontFacingFlip"), 1);
    glUniform1f(product_->uniform("uFadeHeight"), 0.0f);
    glUniform1f(product_->uniform("uFadeStrength"), 1.0f);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    if (p.mesh.closed) glEnable(GL_CULL_FACE), glCullFace(GL_BACK);
    drawBatches(p, artworkUniform, scene);
    glDisable(GL_CULL_FACE);
    // Clear plastic and glass last, over what lies under them: what shows
    // through is dimmed by what the surface reflects, and its reflection
    // is added (the colours are weighted by coverage already).
    GlProgram* clearProgram = p.mesh.solidCount() < static_cast<int>(p.mesh.vertices.size()) ? clearProgram_(error) : nullptr;
    if (clearProgram) {
      GlProgram* drawn = product_;
      useProduct(clearProgram);
      uniformMatrix(*product_, "uProjection", productProjection);
      uniformMatrix(*product_, "uModel", p.model);
      glUniform1i(product_->uniform("uFrontFacingFlip"), 1);
      glUniform1f(product_->uniform("uFadeHeight"), 0.0f);
      glUniform1f(product_->uniform("uFadeStrength"), 1.0f);
      glEnable(GL_BLEND);
      glBlendFuncSeparate(GL_ONE, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
      glDepthMask(GL_FALSE);
      drawBatches(p, product_->uniform("uArtwork"), scene, true);
      glDepthMask(GL_TRUE);
      glDisable(GL_BLEND);
      product_ = drawn;
    }
  }
  if (resolve && ok && !prepared_->mesh.empty() && shrink == 1 && resolveProgram()) {
    // Resolved, the product's colours are weighted by how much of each
    // pixel it covers, its alpha that share: laid over the floor as such.
    // Averaged by a shader of ours, not by a blit: a software rasteriser
    // compiles its blit afresh in every process (a twentieth of a second a
    // picture), where ours comes from its shader cache.
    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(framebuffer));
    const int left = viewport[0] + box[0], bottom = viewport[1] + (viewport[3] - box[1] - box[3]);
    glViewport(left, bottom, box[2], box[3]);
    resolve_.use();
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D_MULTISAMPLE, edgesColour_);
    glUniform1i(resolve_.uniform("uEdges"), 0);
    glUniform2i(resolve_.uniform("uOrigin"), left, bottom);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glBegin(GL_QUADS);
    glVertexAttrib2f(0, -1, -1);
    glVertexAttrib2f(0, 1, -1);
    glVertexAttrib2f(0, 1, 1);
    glVertexAttrib2f(0, -1, 1);
    glEnd();
    glBindTexture(GL_TEXTURE_2D_MULTISAMPLE, 0);
  } else if (resolve && ok && !prepared_->mesh.empty()) {
    // A draft, drawn at a smaller size, or a picture whose resolving shader
    // could not be built: the samples resolved by a blit, then laid over the
    // floor (a draft enlarged with filtering).
    glBindFramebuffer(GL_READ_FRAMEBUFFER, edgesFramebuffer_);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, resolvedFramebuffer_);
    const int drawnWidth = box[2] / shrink, drawnHeight = box[3] / shrink;
    // A texel more of the cleared buffer on each far side: the enlarged
    // picture's rim blends with what lies beyond it, never an older frame's.
    const int copyWidth = std::min(drawnWidth + 1, edgesWidth_), copyHeight = std::min(drawnHeight + 1, edgesHeight_);
    glBlitFramebuffer(0, 0, copyWidth, copyHeight, 0, 0, copyWidth, copyHeight, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    const float s = static_cast<float>(drawnWidth) / static_cast<float>(edgesWidth_);
    const float t = static_cast<float>(drawnHeight) / static_cast<float>(edgesHeight_);
    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(framebuffer));
    glViewport(viewport[0] + box[0], viewport[1] + (viewport[3] - box[1] - box[3]), box[2], box[3]);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, resolvedTexture_);
    const GLint filter = shrink > 1 ? GL_LINEAR : GL_NEAREST;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    texturedQuad(resolvedTexture_, {{{0, 0, -1, -1}, {s, 0, 1, -1}, {s, t, 1, 1}, {0, t, -1, 1}}});
  }
  glUseProgram(static_cast<GLuint>(program));
  glActiveTexture(static_cast<GLenum>(activeTexture));
  glPopClientAttrib();
  glPopAttrib();
  glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(framebuffer));
  glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
  return ok;
}


// The mean colour of a classic texture, in linear light.
V3 meanColour(GLuint texture) {
  int w = 0, h = 0;
  if (!BoundTextureSize(texture, &w, &h)) return {1, 1, 1};
  std::vector<uint8_t> pixels(static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  V3 sum{0, 0, 0};
  for (size_t i = 0; i < pixels.size(); i += 4) {
    for (size_t c = 0; c < 3; ++c) {
      const double v = pixels[i + c] / 255.0;
      sum[c] += v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    }
  }
  return sum * (4.0 / static_cast<double>(pixels.size()));
}

// What a description holds in place of a number gone wrong.
double finite(double v) { return std::isfinite(v) ? v : 0.0; }

bool Renderer::describe(SceneState& scene, int width, int height, std::string* json, std::string* error) {
  GLint framebuffer = 0;
  glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  glPushAttrib(GL_ALL_ATTRIB_BITS);
  const bool ok = build(error) && prepare(scene, error);
  glPopAttrib();
  glUseProgram(0);
  glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(framebuffer));
  glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
  if (!ok) return false;
  const Prepared& p = *prepared_;
  const StudioCamera camera = PlaceCamera(scene, p.mesh, static_cast<double>(width) / height, p.floorPoints);
  const Material material = materialOf(scene, p.mesh.material);
  JsonWriter out;
  out.beginObject().key("width").value(width).key("height").value(height);
  out.key("frame").value("y up, the floor at y = 0; lights' intensities are the radiance of white card facing them");
  // The camera: where it stands and its axes in the floor's frame.
  const Mat4& v = camera.view;
  out.key("camera").beginObject(true).key("position").vector3(camera.eye);
  out.key("right").vector3(V3{v.m[0], v.m[4], v.m[8]}).key("up").vector3(V3{v.m[1], v.m[5], v.m[9]});
  out.key("back").vector3(V3{v.m[2], v.m[6], v.m[10]});
  out.key("verticalFieldOfView").value(finite(2 * std::atan(camera.tanHalfY) * 180 / M_PI));
  out.key("lens").value(finite(scene.look.lens)).key("sensorHeight").value(24).endObject();
  out.key("lights").beginArray();
  const double size = p.mesh.size();
  for (size_t i = 0; i < p.setup.lights.size(); ++i) {
    const StudioLight& l = p.setup.lights[i];
    out.beginObject(true).key("name").value(l.name).key("direction").vector3(l.direction);
    out.key("distance").value(finite(l.distance * size));
    out.key("radius").value(finite(l.radius * size * (i == 0 ? p.keySpread : 1.0)));
    out.key("intensity").value(finite(l.intensity)).key("colour").vector3(l.colour).endObject();
  }
  out.endArray();
  const StudioEnvironment& e = p.setup.environment;
  out.key("environment").beginObject(true).key("sky").vector3(e.sky * e.intensity);
  out.key("horizon").vector3(e.horizon * e.intensity).key("ground").vector3(e.ground * e.intensity);
  out.key("fromPicture").value(!e.harmonics.empty()).endObject();
  const Vec3& bg = scene.backgroundColor;
  out.key("background").vector3(V3{std::clamp(bg[0], 0.0f, 1.0f), std::clamp(bg[1], 0.0f, 1.0f), std::clamp(bg[2], 0.0f, 1.0f)});
  out.key("floorAlbedo").vector3(p.floorAlbedo);
  out.key("floor").beginObject(true);
  out.key("shadow").value(scene.studioFloor.shadow ? scene.studioFloor.shadowStrength / 100.0 : 0.0);
  out.key("reflection").value(scene.studioFloor.reflection ? scene.studioFloor.reflectionStrength / 100.0 : 0.0).endObject();
  out.key("material").beginObject(true).key("roughness").value(finite(material.roughness));
  out.key("specular").value(finite(material.reflectance)).key("coat").value(finite(material.coat));
  out.key("coatRoughness").value(finite(material.coatRoughness)).endObject();
  out.key("parts").beginArray();
  for (const MeshBatch& batch : p.mesh.batches) {
    // A part without a picture (a case's moulding) in its own colour; a
    // clear one said so, for the other renderer to let light through.
    V3 colour = meanColour(batch.texture);
    if (batch.texture == 0 && batch.surface != studio::Surface::Finish) {
      for (size_t c = 0; c < 3; ++c) {
        const double v = ((batch.colour >> (16 - 8 * c)) & 0xFF) / 255.0;
        colour[c] = v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
      }
    }
    out.beginObject(true).key("colour").vector3(colour);
    if (SeeThrough(batch.surface)) out.key("clear").value(true);
    out.key("triangles").beginArray();
    for (int i = 0; i < batch.count; ++i) {
      const MeshVertex& vertex = p.mesh.vertices[static_cast<size_t>(batch.first + i)];
      out.vector3(p.model.point({vertex.position[0], vertex.position[1], vertex.position[2]}));
    }
    out.endArray().endObject();
  }
  out.endArray().endObject();
  *json = out.text();
  return true;
}

// Which context is current: the GL names kept belong to one context, and a
// new context (a new window, a new headless one) may hand out the same
// numbers for its own objects.
void* currentContext() {
  if (EGLContext egl = eglGetCurrentContext(); egl != EGL_NO_CONTEXT) return egl;
  using GetContext = void* (*)();
  static const auto glx = reinterpret_cast<GetContext>(dlsym(RTLD_DEFAULT, "glXGetCurrentContext"));
  return glx ? glx() : nullptr;
}

Renderer*& current() {
  static Renderer* renderer = nullptr;
  static void* context = nullptr;
  void* now = currentContext();
  if (renderer && now != context) renderer->abandon();  // its names went with the old context
  context = now;
  return renderer;
}

}  // namespace

bool DrawStudioTile(SceneState& scene, int width, int height, int x0, int y0, int w, int h, std::string* error) {
  Renderer*& renderer = current();
  if (renderer == nullptr) renderer = new Renderer();
  std::string why;
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  GLint samples = 0;
  glGetIntegerv(GL_SAMPLES, &samples);
  bool ok = true;
  // A part drawn at a multiple of its size (supersampled) is the same part
  // of a picture that many times larger: every measure in pixels follows
  // the target's.
  if (w > 0 && h > 0 && viewport[2] != w && viewport[2] % w == 0 && viewport[3] == viewport[2] / w * h) {
    const int scale = viewport[2] / w;
    width *= scale, height *= scale, x0 *= scale, y0 *= scale, w *= scale, h *= scale;
  }
  const int largest = largestPart();
  if (samples >= 2 || (viewport[2] <= largest && viewport[3] <= largest) || viewport[2] != w || viewport[3] != h) {
    ok = renderer->draw(scene, width, height, x0, y0, w, h, &why);
  } else {
    // The multisampled buffer holds a part at a time: a large picture costs
    // no more memory than a small one.
    for (int sy = 0; ok && sy < h; sy += largest) {
      for (int sx = 0; ok && sx < w; sx += largest) {
        const int sw = std::min(largest, w - sx), sh = std::min(largest, h - sy);
        glViewport(viewport[0] + sx, viewport[1] + (h - sy - sh), sw, sh);  // GL rows run bottom-up
        ok = renderer->draw(scene, width, height, x0 + sx, y0 + sy, sw, sh, &why);
      }
    }
    glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
  }
  if (!ok && error) *error = why;
  return ok;
}

bool DrawStudioFrame(SceneState& scene, int width, int height, std::string* error) {
  Renderer*& renderer = current();
  if (renderer == nullptr) renderer = new Renderer();
  renderer->interactive_ = true;
  const bool ok = DrawStudioTile(scene, width, height, 0, 0, width, height, error);
  renderer->interactive_ = false;
  return ok;
}

bool DescribeStudioShot(SceneState& scene, int width, int height, std::string* json, std::string* error) {
  Renderer*& renderer = current();
  if (renderer == nullptr) renderer = new Renderer();
  std::string why;
  const bool ok = renderer->describe(scene, width, height, json, &why);
  if (!ok && error) *error = why;
  return ok;
}

SurfaceFinish FinishOf(const SceneState& scene, bool ceramic) {
  if (ceramic) return {0.45f, 0.04f, 1.0f, 0.06f};
  return {0.7f, 0.04f, std::clamp(scene.look.gloss, 0, 100) / 100.0f, 0.08f};
}

void LimitStudioPart(int side) { largestPart() = side > 0 ? side : kEdgeTile; }

void ForgetStudioResources() {
  if (Renderer* renderer = current()) renderer->abandon();
}

}  // namespace kestrova::studio
