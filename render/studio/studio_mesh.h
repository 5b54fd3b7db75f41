#pragma once
// The shot's product as triangles in its own frame (unturned), captured from
// the classic drawing code through the GL's feedback mode, so every box
// style, book and the mug come out exactly as the classic frame builds them.
#include <cstdint>
#include <vector>

#include "render/studio/studio_math.h"
#include "scene/scene_state.h"

namespace kestrova::studio {

enum class Material { Card, Ceramic };

struct MeshVertex {
  float position[3];
  float normal[3];
  float uv[2];
  float openness = 1;  // the share of the sky the point sees past the product itself (1: all)
};

// What a batch is besides the product's printed card or glaze: a case's
// moulded plastic, its clear sleeve or lid (drawn last, over what lies
// under it), a device's glowing screen and the glass over it (clear, with
// the weaker reflection of a screen's anti-reflective coating), a browser
// window's tab showing the shot's title (the renderer draws its picture).
enum class Surface : uint8_t { Finish, Plastic, Clear, Screen, Glass, Title };
inline bool SeeThrough(Surface s) { return s == Surface::Clear || s == Surface::Glass; }

// Consecutive triangles showing one texture.
struct MeshBatch {
  uint32_t texture = 0;
  int first = 0;  // vertex index
  int count = 0;  // vertices, three a triangle
  Surface surface = Surface::Finish;
  uint32_t colour = 0xFFFFFF;  // RRGGBB the texture is multiplied by (a body without a picture)
};

struct StudioMesh {
  std::vector<MeshVertex> vertices;
  std::vector<MeshBatch> batches;
  Material material = Material::Card;
  bool closed = false;  // a solid seen from outside only: its triangles wind outwards
  bool generated = false;  // a case or device made by code: its triangles wind outwards, closed or not
  double mmPerUnit = 0;    // its real size, where it has one (0: its style's real height)
  V3 min{0, 0, 0}, max{0, 0, 0};
  // A case or device made in place of the classic slab: the slab's bounds,
  // the room the classic frame gives the product (empty when none).
  V3 roomMin{0, 0, 0}, roomMax{0, 0, 0};
  bool empty() const { return vertices.empty(); }
  // The vertices before the first clear batch (clear ones come last): what
  // casts shadows and hides the sky. A sleeve over its print would
  // otherwise shade the print it shows.
  int solidCount() const;
  double size() const;  // the largest extent
};

// Where the classic frame puts the product's turning point, in eye
// coordinates, for the scene's pan (each product has its own).
V3 ProductPivot(const SceneState& scene);

// The product of the shot relative to its pivot, unturned: x right, y up,
// its front towards +z. Needs a current context holding the shot's textures.
StudioMesh CaptureProductMesh(SceneState& scene);

// The product as the studio look and the models show it: a case, a device
// or a rounded box where the shot's style has one, else as captured.
// Needs what CaptureProductMesh needs.
StudioMesh ProductMesh(SceneState& scene);

// Sets the shot's depth scale so that the product is `ratio` times as deep
// as it is tall (a book's spine from its pages), found by capturing it at
// a few scales: how a style's scale shapes it differs from style to style.
// Needs what CaptureProductMesh needs.
void FitDepthToHeight(SceneState& scene, double ratio);

}  // namespace kestrova::studio
