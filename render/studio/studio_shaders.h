#pragma once
// The studio's GLSL. All shading in linear light; the picture is
// tone-mapped and sRGB-encoded once, at the end of each fragment.

namespace kestrova::studio::shaders {

inline constexpr const char* kProductVertex = R"(#version 130
uniform mat4 uModel;
uniform mat4 uView;
uniform mat4 uProjection;
in vec3 aPosition;
in vec3 aNormal;
in vec2 aUv;
in float aOpenness;
out vec3 vWorld;
out vec3 vNormal;
out vec2 vUv;
out float vOpenness;
void main() {
  vec4 world = uModel * vec4(aPosition, 1.0);
  vWorld = world.xyz;
  vOpenness = aOpenness;
  vNormal = mat3(uModel) * aNormal;
  vUv = aUv;
  gl_Position = uProjection * uView * world;
}
)";

// Built in variants, each with the lines it needs: a software rasteriser
// runs both sides of every branch, so a branch on a uniform saves nothing.
// COAT 1 for a clear coat (its highlights and what it mirrors); KEY_TAPS
// 16 for the key's soft shadow, 4 for the window's frames while the shot
// keeps changing.
//
// Lambert diffuse, GGX specular with Smith visibility and Schlick Fresnel,
// and a clear coat over it (Filament's model). Lights are irradiances
// scaled so white card facing the key at the product's centre shows 1;
// each is a round soft box at its place, falling off with the square of
// the distance, so a flat face grades across its width.
inline constexpr const char* kProductFragment = R"(#version 130
uniform sampler2D uArtwork;
uniform sampler2DShadow uShadowMap;
uniform mat4 uShadowMatrix;
uniform float uShadowSpread;
uniform float uShadowNormalOffset;
uniform vec3 uEye;
uniform vec3 uLightPosition[3];
uniform float uLightReach[3];  // from the light to the product's centre
uniform vec3 uLightColour[3];
uniform float uLightSpread[3];
uniform float uContactHeight;  // the room's light thins below this height, where the floor meets the product
uniform vec3 uTint;
uniform float uEmission;  // 1: a screen, showing its picture as it is, whatever the light
// What a glossy coat mirrors: the floor (with the product's shadow on it),
// a white card standing on the floor out of the picture, as photographers
// set one for a glossy front to catch, and the room.
uniform vec3 uFloorSeen;        // the floor's colour as the camera sees it, unshadowed
uniform sampler2D uOcclusion;   // the floor's shadow catcher
uniform vec3 uRegion;           // its square: centre x, centre z, half side
uniform float uShadowStrength;
uniform float uFaintest;
uniform vec3 uCardCentre;
uniform vec3 uCardNormal;       // horizontal, towards the product
uniform vec2 uCardHalf;         // half its width and height
uniform vec3 uCardSeen;         // 0 for none
uniform vec3 uSky;
uniform vec3 uHorizon;
uniform vec3 uGround;
uniform float uDome;
uniform vec3 uHarmonics[9];
uniform int uUseHarmonics;
uniform float uRoughness;
uniform float uReflectance;
uniform float uCoat;
uniform float uCoatRoughness;
uniform float uExposure;
uniform float uFadeHeight;   // the reflection: gone this far below the floor; 0 for the product
uniform float uFadeStrength;
uniform int uFrontFacingFlip; // -1 for the mirrored reflection
in vec3 vWorld;
in vec3 vNormal;
in vec2 vUv;
in float vOpenness;

const float PI = 3.14159265;

vec3 toSrgb(vec3 c) {
  c = clamp(c, 0.0, 1.0);
  return mix(c * 12.92, 1.055 * pow(c, vec3(1.0 / 2.4)) - 0.055, step(0.0031308, c));
}

// The shoulder of Khronos PBR Neutral: colours under a neutral light keep
// their hue and value up to 0.76 and brighter ones roll off into white.
// Its toe is left out: it takes back a 4 % reflection of a white room that
// this studio does not add, and would sink dark artwork.
vec3 neutral(vec3 color) {
  const float startCompression = 0.8 - 0.04;
  const float desaturation = 0.15;
  float peak = max(color.r, max(color.g, color.b));
  if (peak < startCompression) return color;
  const float d = 1.0 - startCompression;
  float newPeak = 1.0 - d * d / (peak + d - startCompression);
  color *= newPeak / peak;
  float g = 1.0 - 1.0 / (desaturation * (peak - newPeak) + 1.0);
  return mix(color, newPeak * vec3(1.0), g);
}

vec3 dome(vec3 n) {
  if (uUseHarmonics == 1) {
    const float c1 = 0.429043, c2 = 0.511664, c3 = 0.743125, c4 = 0.886227, c5 = 0.247708;
    vec3 e = c1 * uHarmonics[8] * (n.x * n.x - n.y * n.y) + c3 * uHarmonics[6] * n.z * n.z + c4 * uHarmonics[0] -
             c5 * uHarmonics[6] + 2.0 * c1 * (uHarmonics[4] * n.x * n.y + uHarmonics[7] * n.x * n.z + uHarmonics[5] * n.y * n.z) +
             2.0 * c2 * (uHarmonics[3] * n.x + uHarmonics[1] * n.y + uHarmonics[2] * n.z);
    return max(e / PI, vec3(0.0)) * uDome;
  }
  float up = clamp(n.y, -1.0, 1.0);
  return mix(uGround, 0.5 * (uSky + uHorizon), 0.5 + 0.5 * up) * uDome;
}

vec3 mirrored(vec3 p, vec3 r, float blur) {
  if (dot(uCardSeen, uCardSeen) > 0.0) {
    float facing = -dot(r, uCardNormal);
    if (facing > 1e-3) {
      float t = dot(uCardCentre - p, uCardNormal) / -facing;
      if (t > 0.0) {
        vec3 d = p + t * r - uCardCentre;
        vec3 across = normalize(cross(vec3(0.0, 1.0, 0.0), uCardNormal));
        // Soft edges, wider the rougher the coat and the farther the card.
        float soft = max(1e-3, blur * t);
        float inside = (1.0 - smoothstep(uCardHalf.x - soft, uCardHalf.x + soft, abs(dot(d, across)))) *
                       (1.0 - smoothstep(uCardHalf.y - soft, uCardHalf.y + soft, abs(d.y)));
        if (inside > 0.0) return mix(r.y < 0.0 ? uFloorSeen : dome(r), uCardSeen, inside);
      }
    }
  }
  if (r.y < -1e-3) {
    vec3 h = p - r * (p.y / r.y);
    vec2 at = (h.xz - uRegion.xy) / (2.0 * uRegion.z) + 0.5;
    float occlusion = 0.0;
    if (at.x > 0.0 && at.x < 1.0 && at.y > 0.0 && at.y < 1.0) {
      occlusion = max(0.0, texture(uOcclusion, at).r - uFaintest) / (1.0 - uFaintest);
    }
    return uFloorSeen * (1.0 - uShadowStrength * clamp(occlusion, 0.0, 1.0));
  }
  return dome(r);
}

float ggx(float nh, float a) {
  float a2 = a * a;
  float f = (nh * a2 - nh) * nh + 1.0;
  return a2 / (PI * f * f);
}
float smith(float nv, float nl, float a) {
  float a2 = a * a;
  float gv = nl * sqrt(nv * nv * (1.0 - a2) + a2);
  float gl = nv * sqrt(nl * nl * (1.0 - a2) + a2);
  return 0.5 / max(gv + gl, 1e-5);
}
float schlick(float f0, float vh) {
  float m = 1.0 - vh, m2 = m * m;  // a power of five without pow(): a software rasteriser's exp and log are dear
  return f0 + (1.0 - f0) * m2 * m2 * m;
}

// The key's shadow: a fixed disc of taps, as wide as the key is large.
float keyVisibility(vec3 n) {
  // Looked up off the surface by the kernel's reach, so the taps of a
  // slanted face never shadow the face itself.
  vec4 s = uShadowMatrix * vec4(vWorld + n * uShadowNormalOffset, 1.0);
  if (s.x < 0.0 || s.x > 1.0 || s.y < 0.0 || s.y > 1.0) return 1.0;
  // A Vogel spiral of 16 taps, worked out once (a software rasteriser pays
  // dearly for a sine and a root per tap and pixel), its outer four first:
  // where those agree the point is wholly lit or wholly in shadow, and the
  // other twelve would only say so again.
  const vec2 taps[16] = vec2[16](
      vec2(-0.764746, -0.443186), vec2(0.897134, -0.197232),
      vec2(-0.547507, 0.778772), vec2(-0.126487, -0.976090),
      vec2(0.176777, 0.000000), vec2(-0.225772, 0.206826),
      vec2(0.034558, -0.393771), vec2(0.284571, 0.371173),
      vec2(-0.522223, -0.092374), vec2(0.494695, -0.314685),
      vec2(-0.165466, 0.615525), vec2(-0.315561, -0.607594),
      vec2(0.684642, 0.250030), vec2(-0.712256, 0.294009),
      vec2(0.343355, -0.733729), vec2(0.253730, 0.808932));
  float lit = 0.0;
  for (int i = 0; i < 4; ++i) lit += texture(uShadowMap, vec3(s.xy + taps[i] * uShadowSpread, s.z));
#if KEY_TAPS > 4
  if (lit < 0.001 || lit > 3.999) return lit / 4.0;
  for (int i = 4; i < 16; ++i) lit += texture(uShadowMap, vec3(s.xy + taps[i] * uShadowSpread, s.z));
  return lit / 16.0;
#else
  return lit / 4.0;
#endif
}

void main() {
  vec3 n = normalize(vNormal);
  // Thin faces are seen from either side: shade the side seen.
  bool front = gl_FrontFacing;
  if (uFrontFacingFlip < 0) front = !front;
  if (!front) n = -n;
  vec3 v = normalize(uEye - vWorld);
  // The reflection's picture blurs with its depth below the floor: coarser
  // mipmap levels further down.
  float depthBelow = uFadeHeight > 0.0 ? clamp(-vWorld.y / uFadeHeight, 0.0, 1.0) : 0.0;
  // The product's own print a third of a level sharper than the mipmaps would
  // pick: small text keeps the darkness a good shrink (Lanczos, in linear
  // light) gives it, where the plain choice blurs it paler.
  vec3 albedo = texture(uArtwork, vUv, uFadeHeight > 0.0 ? 6.0 * depthBelow : -0.35).rgb * uTint;  // sRGB: read linear
  float nv = max(dot(n, v), 1e-4);
  float visibility = keyVisibility(n);
  // The room's light reaches less of what the product hides from the sky
  // (a mug's inside, the body under its handle) and of what stands close to
  // the floor.
  float height = uFadeHeight > 0.0 ? -vWorld.y : vWorld.y;
  float contact = mix(0.7, 1.0, smoothstep(0.0, uContactHeight, height));
  float openness = clamp(vOpenness, 0.0, 1.0);
  vec3 diffuse = dome(n) * openness * contact;
  vec3 specular = vec3(0.0);
  float coatEnergy = 1.0;
#if COAT
  float fc = schlick(0.04, nv) * uCoat;
#else
  float fc = 0.0;
#endif
  for (int i = 0; i < 3; ++i) {
    vec3 toLight = uLightPosition[i] - vWorld;
    float d = max(length(toLight), 1e-4);
    vec3 l = toLight / d;
    float nl = dot(n, l);
    if (nl <= 0.0) continue;
    // A cavity (the mug's inside) takes in little of any light.
    float shadow = (i == 0 ? visibility : 1.0) * mix(0.05, 1.0, openness * openness);
    float falloff = uLightReach[i] * uLightReach[i] / (d * d);
    vec3 e = uLightColour[i] * nl * shadow * falloff;
    vec3 h = normalize(l + v);
    float nh = max(dot(n, h), 0.0);
    float vh = max(dot(v, h), 0.0);
    // A light of some size widens its highlight.
    float a = clamp(uRoughness * uRoughness + uLightSpread[i], 0.02, 1.0);
    float base = ggx(nh, a) * smith(nv, nl, a) * schlick(uReflectance, vh);
    float coat = 0.0;
#if COAT
    float ac = clamp(uCoatRoughness * uCoatRoughness + uLightSpread[i], 0.02, 1.0);
    coat = ggx(nh, ac) * smith(nv, nl, ac) * schlick(0.04, vh) * uCoat;
    diffuse += e * (1.0 - schlick(0.04, vh) * uCoat);
#else
    diffuse += e;
#endif
    specular += e * PI * (base + coat);
  }
#if COAT
  vec3 r = reflect(-v, n);
  // What a cavity mirrors is mostly its own walls, not the room: the
  // room's reflection fades with the openness (Lagarde's specular occlusion
  // from ambient occlusion), and an open face keeps all of it.
  float mirrorSeen = clamp(pow(nv + openness, exp2(-16.0 * uCoatRoughness - 1.0)) - 1.0 + openness, 0.0, 1.0);
  specular += (uFadeHeight > 0.0 ? dome(r) : mirrored(vWorld, r, uCoatRoughness)) * fc * mirrorSeen;
#endif
#if CLEAR
  // Clear plastic or glass: what lies under it shows through, dimmed by
  // what it reflects, and on top the lights' highlights and the room
  // mirrored, as much as Fresnel's law gives (colours weighted by
  // coverage, as the blending takes them).
  float fresnel = schlick(uReflectance, nv);
  vec3 glint = specular + mirrored(vWorld, reflect(-v, n), 0.02) * fresnel;
  gl_FragColor = vec4(toSrgb(neutral(glint * uExposure)), fresnel);
  return;
#endif
  coatEnergy = 1.0 - fc;
  vec3 colour = mix((albedo * diffuse * coatEnergy + specular) * uExposure, albedo, uEmission);
  vec3 shown = toSrgb(neutral(colour));
  float alpha = 1.0;
  if (uFadeHeight > 0.0) alpha = uFadeStrength * (1.0 - depthBelow) * (1.0 - depthBelow);
  gl_FragColor = vec4(shown, alpha);
}
)";

inline constexpr const char* kDepthVertex = R"(#version 130
uniform mat4 uModel;
uniform mat4 uLightViewProjection;
in vec3 aPosition;
void main() { gl_Position = uLightViewProjection * uModel * vec4(aPosition, 1.0); }
)";

inline constexpr const char* kDepthFragment = R"(#version 130
void main() { gl_FragColor = vec4(1.0); }
)";

// The product's outline cast on the floor from one point of a light (w 1)
// or from one direction of the sky (w 0), into the floor's square.
inline constexpr const char* kCastVertex = R"(#version 130
uniform mat4 uModel;
uniform vec4 uLight;
uniform vec3 uRegion;  // centre x, centre z, half side
uniform float uReach;  // only what stands lower than this casts: a contact shadow's short reach
in vec3 aPosition;
void main() {
  vec3 v = (uModel * vec4(aPosition, 1.0)).xyz;
  v.y = min(v.y, uReach);
  vec3 p;
  if (uLight.w > 0.5) {
    vec3 l = uLight.xyz;
    p = l + (v - l) * (l.y / max(l.y - v.y, 1e-4));
  } else {
    p = v - uLight.xyz * (v.y / uLight.y);
  }
  gl_Position = vec4((p.x - uRegion.x) / uRegion.z, (p.z - uRegion.y) / uRegion.z, 0.0, 1.0);
}
)";

inline constexpr const char* kCastFragment = R"(#version 130
uniform float uWeight;
void main() { gl_FragColor = vec4(uWeight, 0.0, 0.0, 1.0); }
)";

// The floor: the background, darkened by what the lights and the sky lose
// to the product.
inline constexpr const char* kFloorVertex = R"(#version 130
uniform mat4 uView;
uniform mat4 uProjection;
uniform vec3 uRegion;
in vec3 aPosition;
out vec2 vFloor;
void main() {
  vFloor = (aPosition.xz - uRegion.xy) / (2.0 * uRegion.z) + 0.5;
  gl_Position = uProjection * uView * vec4(aPosition, 1.0);
}
)";

inline constexpr const char* kFloorFragment = R"(#version 130
uniform sampler2D uOcclusion;
uniform vec3 uBackground;
uniform float uStrength;
uniform float uFaintest;
in vec2 vFloor;
void main() {
  float occlusion = max(0.0, texture(uOcclusion, vFloor).r - uFaintest) / (1.0 - uFaintest);
  // Fades out at the square's rim, so its edge never shows.
  vec2 rim = min(vFloor, 1.0 - vFloor);
  occlusion *= clamp(min(rim.x, rim.y) * 20.0, 0.0, 1.0);
  gl_FragColor = vec4(uBackground * (1.0 - uStrength * clamp(occlusion, 0.0, 1.0)), 1.0);
}
)";

// The product's multisampled picture laid over the target: each pixel the
// mean of its samples (the version, the extension and SAMPLES come first).
inline constexpr const char* kResolveVertex = R"(#version 130
in vec3 aPosition;
void main() { gl_Position = vec4(aPosition.xy, 0.0, 1.0); }
)";

inline constexpr const char* kResolveFragment = R"(
uniform sampler2DMS uEdges;
uniform ivec2 uOrigin;  // the target's pixel where the picture's first lies
void main() {
  ivec2 at = ivec2(gl_FragCoord.xy) - uOrigin;
  vec4 sum = vec4(0.0);
  for (int i = 0; i < SAMPLES; ++i) sum += texelFetch(uEdges, at, i);
  gl_FragColor = sum / float(SAMPLES);
}
)";

}  // namespace kestrova::studio::shaders
