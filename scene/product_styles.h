#pragma once
// The product lists' entries and the values each one sets.
#include "scene/scene_state.h"

namespace kestrova {

struct ProductStyle {
  const char* name;
  float sx, sy, sz;                        // scale adjustments
  float height, width, depth;              // stored boxSize (never drawn)
};

constexpr int kBoxStyleCount = 8;
constexpr ProductStyle kBoxStyles[kBoxStyleCount] = {
    {"Standard Retail Box", 0, 14, -45, 0.26f, 0.21f, 0.035f},
    {"Overslip Retail Box", 0, 14, -41, 0.26f, 0.21f, 0.035f},
    {"Standard DVD", -22, -8, -48, 0.19f, 0.134f, 0.015f},
    {"Slim DVD", -22, -8, -50, 0.19f, 0.134f, 0.006f},
    {"Standard CD", -17, -22, -49, 0.124f, 0.141f, 0.01f},
    {"Slim CD", -17, -22, -50, 0.124f, 0.141f, 0.006f},
    {"Standard Tape Casette", -35, -24, -47, 0.11f, 0.07f, 0.015f},
    {"Cube", 0, 0, 0, 0.26f, 0.26f, 0.035f},
};

constexpr int kBookStyleCount = 3;
constexpr ProductStyle kBookStyles[kBookStyleCount] = {
    {"Standard Hard Back", 0, 0, 0, 0.225f, 0.14f, 0.028f},
    {"Standard Paper back", -10, 14, -45, 0.18f, 0.11f, 0.02f},
    {"Slim Paperback", -10, 14, -49, 0.18f, 0.11f, 0.02f},
};
// bookBinding per book style: the hard back is modelled, the others flat.
constexpr float kBookStyleBinding[kBookStyleCount] = {2.0f, 1.0f, 1.0f};

// What choosing box style `index` (0 to 7) in the product list does.
inline void ApplyBoxStyle(SceneState& scene, int index) {
  const ProductStyle& style = kBoxStyles[index];
  scene.boxStyle = static_cast<float>(index);
  scene.scale = {style.sx, style.sy, style.sz};
  scene.boxSize = {style.height, style.width, style.depth};
}

// What choosing book style `index` (0 to 2) does.
inline void ApplyBookStyle(SceneState& scene, int index) {
  const ProductStyle& style = kBookStyles[index];
  scene.bookStyle = index;
  scene.bookBinding = kBookStyleBinding[index];
  scene.scale = {style.sx, style.sy, style.sz};
  scene.boxSize = {style.height, style.width, style.depth};
}

}  // namespace kestrova
