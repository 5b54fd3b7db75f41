#include "preflight.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <optional>

#include "deferred_assets.h"
#include "render/classic/feedback_polygons.h"
#include "render/classic/render_frame.h"

namespace kestrova {

namespace {

// Eye coordinates within +-kReach map linearly to window coordinates in the
// eye-space pass; no product comes near it.
constexpr double kReach = 10000.0;

struct Vertex {
  double p[3];
  double s, t;
};

// The picture's axes in the space of the positions: how far the position
// moves for the whole width (du) and the whole height (dv) of the picture.
struct Axes {
  double du[3] = {0, 0, 0};
  double dv[3] = {0, 0, 0};
  double weight = 0;  // the triangle's share of the picture
};

bool axesOf(const Vertex& a, const Vertex& b, const Vertex& c, Axes* axes) {
  const double s1 = b.s - a.s, t1 = b.t - a.t;
  const double s2 = c.s - a.s, t2 = c.t - a.t;
  const double det = s1 * t2 - s2 * t1;
  if (!(std::fabs(det) > 1e-12)) return false;
  for (int k = 0; k < 3; ++k) {
    const double p1 = b.p[k] - a.p[k];
    const double p2 = c.p[k] - a.p[k];
    axes->du[k] = (p1 * t2 - p2 * t1) / det;
    axes->dv[k] = (p2 * s1 - p1 * s2) / det;
  }
  axes->weight = std::fabs(det) / 2;
  return true;
}

double length(const double v[3]) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

// Every triangle the product draws, grouped by the texture marked before it.
using Triangles = std::map<uint32_t, std::vector<Axes>>;

// One feedback pass of the product with the current projection; `unmap`
// turns a feedback position back into the space wanted.
template <typename Unmap>
Triangles feedbackTriangles(SceneState& scene, const Unmap& unmap) {
  Triangles triangles;
  std::vector<Vertex> polygon;
  ForEachFeedbackPolygon(scene, [&](uint32_t texture, const std::vector<FeedbackVertex>& vertices) {
    polygon.clear();
    for (const FeedbackVertex& f : vertices) {
      Vertex v{};
      unmap(static_cast<GLfloat>(f.x), static_cast<GLfloat>(f.y), static_cast<GLfloat>(f.z), v.p);
      v.s = f.s;
      v.t = f.t;
      polygon.push_back(v);
    }
    for (size_t v = 1; v + 1 < polygon.size(); ++v) {
      Axes axes;
      if (axesOf(polygon[0], polygon[v], polygon[v + 1], &axes)) triangles[texture].push_back(axes);
    }
  });
  return triangles;
}

// What each slot is called on the products that show it.
const char* faceName(const SceneState& scene, TextureSlot slot) {
  const std::optional<ShownProduct> shown = ShownProductOf(scene.productKind);
  switch (slot) {
    case kSlotBoxFront: return shown == ShownProduct::ScreenShot ? "Screen" : "Front";
    case kSlotBoxBack: return "Back";
    case kSlotBoxLeft: return "Left";
    case kSlotBoxRight: return "Right";
    case kSlotBoxTop: return "Top";
    case kSlotBoxBottom: return "Bottom";
    case kSlotBookFront: return "Front cover";
    case kSlotBookBack: return "Back cover";
    case kSlotBookSpine: return "Spine";
    case kSlotBookPage1: return scene.bookBinding >= 2.0f ? "Pages" : "Pages (right)";
    case kSlotBookPage2: return "Pages (top)";
    case kSlotBookPage3: return "Pages (bottom)";
    case kSlotMug: return "Wrap";
    default: return nullptr;  // the built-in bitmap and the mug's reflection are no one's artwork
  }
}

std::string format(const char* pattern, double a, double b = 0) {
  char text[64];
  std::snprintf(text, sizeof text, pattern, a, b);
  return text;
}

}  // namespace

std::vector<FaceCheck> CheckArtwork(SceneState& scene, int width, int height) {
  std::vector<FaceCheck> checks;
  if (width < 1 || height < 1) return checks;
  GLint maxViewport[2] = {4096, 4096};
  glGetIntegerv(GL_MAX_VIEWPORT_DIMS, maxViewport);
  // A picture larger than the GL's viewport is measured at a fraction and
  // scaled up: the projection is the same.
  const double fraction = std::max({1.0, static_cast<double>(width) / maxViewport[0],
                                    static_cast<double>(height) / maxViewport[1]});
  const int vw = std::max(1, static_cast<int>(width / fraction));
  const int vh = std::max(1, static_cast<int>(height / fraction));

  glPushAttrib(GL_ALL_ATTRIB_BITS);
  glViewport(0, 0, vw, vh);
  // Lit, every face is drawn as its whole grid, as the spot light sees it.
  glEnable(GL_LIGHTING);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  gluPerspective(45.0, static_cast<double>(width) / static_cast<double>(height), 0.5, 9980100.0);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  const Triangles onScreen = feedbackTriangles(scene, [&](GLfloat x, GLfloat y, GLfloat, double* p) {
    p[0] = x * fraction;
    p[1] = y * fraction;
    p[2] = 0;
  });
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(-kReach, kReach, -kReach, kReach, -kReach, kReach);
  glMatrixMode(GL_MODELVIEW);
  const Triangles inEye = feedbackTriangles(scene, [&](GLfloat x, GLfloat y, GLfloat z, double* p) {
    p[0] = (x * 2.0 / vw - 1) * kReach;
    p[1] = (y * 2.0 / vh - 1) * kReach;
    p[2] = -(z * 2.0 - 1) * kReach;
  });
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glPopAttrib();

  for (int s = 0; s < kTextureSlotCount; ++s) {
    const auto slot = static_cast<TextureSlot>(s);
    const char* name = faceName(scene, slot);
    const FaceArtwork& artwork = scene.artwork[static_cast<size_t>(s)];
    const uint32_t texture = scene.textureSlot[static_cast<size_t>(s)];
    const auto drawn = onScreen.find(texture);
    if (name == nullptr || artwork.path.empty() || texture == 0 || drawn == onScreen.end()) continue;
    FaceCheck check;
    check.slot = slot;
    check.face = name;
    check.path = artwork.path;
    check.artworkWidth = artwork.width;
    check.artworkHeight = artwork.height;
    check.scalable = artwork.scalable;
    for (const Axes& axes : drawn->second) {
      check.shownWidth = std::max(check.shownWidth, length(axes.du));
      check.shownHeight = std::max(check.shownHeight, length(axes.dv));
      // The picture's width then height turn anticlockwise on screen when
      // its face is seen from the front; from behind it is mirrored. Any
      // part seen counts: the mug's wrap and the two-sided board show one
      // picture both ways round.
      const double turn = axes.du[0] * axes.dv[1] - axes.du[1] * axes.dv[0];
      if (turn > 0) check.seen = true;
    }
    if (check.scalable && artwork.stuck && artwork.textureWidth > 0 && artwork.textureHeight > 0) {
      // It could not be drawn larger: as sharp as the texture it has.
      check.artworkWidth = artwork.textureWidth;
      check.artworkHeight = artwork.textureHeight;
      check.stretch = std::max(check.shownWidth / artwork.textureWidth, check.shownHeight / artwork.textureHeight);
    } else if (check.scalable) {
      // Drawn again at the size shown, up to the largest drawing.
      check.stretch = std::max(1.0, std::max(check.shownWidth, check.shownHeight) / 8192.0);
    } else if (artwork.width > 0 && artwork.height > 0) {
      check.stretch = std::max(check.shownWidth / artwork.width, check.shownHeight / artwork.height);
    }
    double across = 0, down = 0;
    const auto shaped = inEye.find(texture);
    if (shaped != inEye.end()) {
      for (const Axes& axes : shaped->second) {
        across += axes.weight * length(axes.du);
        down += axes.weight * length(axes.dv);
      }
    }
    if (across > 0 && down > 0 && artwork.width > 0 && artwork.height > 0) {
      check.aspectDifference = (static_cast<double>(artwork.width) / artwork.height) / (across / down) - 1;
    }
    // A face turned away is listed, but only what the picture shows warns;
    // and the program's own page edges are lines meant to stretch.
    if (!check.seen || MeantToStretch(check.path)) {
      checks.push_back(std::move(check));
      continue;
    }
    if (check.stretch > kMaxStretch) {
      check.warnings.push_back(format("stretched %.2fx: the picture will look soft", check.stretch));
    }
    if (std::fabs(check.aspectDifference) > kMaxAspectDifference) {
      check.warnings.push_back(format(check.aspectDifference > 0 ? "the picture is %.1f %% wider than the face"
                                                                 : "the picture is %.1f %% narrower than the face",
                                      std::fabs(check.aspectDifference) * 100));
    }
    checks.push_back(std::move(check));
  }
  return checks;
}

bool MeantToStretch(const std::string& path) {
  // Paper seen edge-on: fine lines across, the same drawn at any size.
  static const char* const kStretching[] = {"ePage.jpg"};
  const size_t slash = path.find_last_of('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  for (const char* stretching : kStretching) {
    if (name == stretching) return true;
  }
  return false;
}

bool AnyWarnings(const std::vector<FaceCheck>& checks) {
  return std::any_of(checks.begin(), checks.end(), [](const FaceCheck& c) { return !c.warnings.empty(); });
}

std::array<int, kTextureSlotCount> ShownSides(const std::vector<FaceCheck>& checks) {
  std::array<int, kTextureSlotCount> sides{};
  for (const FaceCheck& check : checks) {
    // The texture keeps the drawing's shape: its longer side must hold the
    // shown size of whichever side is shown larger for its share.
    const double w = std::max(1, check.artworkWidth);
    const double h = std::max(1, check.artworkHeight);
    const double longer = std::max(w, h);
    sides[check.slot] = static_cast<int>(std::ceil(std::max(check.shownWidth * longer / w, check.shownHeight * longer / h)));
  }
  return sides;
}

std::string ArtworkSizeText(const FaceCheck& check) {
  return std::to_string(check.artworkWidth) + " x " + std::to_string(check.artworkHeight) +
         (check.scalable ? " (drawing)" : "");
}

std::string ShownSizeText(const FaceCheck& check) {
  return format("%.0f x %.0f", check.shownWidth, check.shownHeight);
}

std::string StretchText(const FaceCheck& check) { return format("%.2fx", check.stretch); }

std::string AspectText(const FaceCheck& check) { return format("%+.1f %%", check.aspectDifference * 100); }

std::string ArtworkTable(const std::vector<FaceCheck>& checks, int width, int height) {
  std::vector<std::array<std::string, 7>> rows = {
      {"Face", "Seen", "Artwork", "Shown at", "Stretch", "Aspect", "File"}};
  for (const FaceCheck& check : checks) {
    rows.push_back({check.face, check.seen ? "yes" : "no", ArtworkSizeText(check), ShownSizeText(check),
                    StretchText(check), AspectText(check), check.path});
  }
  std::array<size_t, 7> widths{};
  for (const auto& row : rows) {
    for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
  }
  std::string out = "Artwork for a picture of " + std::to_string(width) + " x " + std::to_string(height) + ":\n";
  for (const auto& row : rows) {
    for (size_t c = 0; c < row.size(); ++c) {
      out += row[c];
      if (c + 1 < row.size()) out += std::string(widths[c] - row[c].size() + 2, ' ');
    }
    out += '\n';
  }
  for (const FaceCheck& check : checks) {
    for (const std::string& warning : check.warnings) out += "warning: " + check.face + ": " + warning + "\n";
  }
  if (checks.empty()) out += "No face of this shot holds a picture of a file.\n";
  return out;
}

}  // namespace kestrova
