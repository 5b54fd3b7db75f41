#pragma once
// A product page in one file: the model and the viewer (model-viewer) inline,
// a poster picture shown before WebGL starts, nothing fetched from elsewhere.
#include <cstdint>
#include <string>
#include <vector>

namespace kestrova {

struct ShopPageCamera {
  double target[3] = {0, 0, 0};  // metres, in the model's frame
  double theta = 0;              // degrees about +Y, 0 from the front (+Z)
  double phi = 90;               // degrees down from straight above
  double radius = 1;             // metres
  double fieldOfView = 27;       // vertical, degrees
};

struct ShopPageParts {
  std::string title;
  std::vector<uint8_t> glb;
  std::vector<uint8_t> poster;  // PNG
  std::string usdzName;         // beside the page, for Quick Look; empty for none
  std::string viewerScript;     // model-viewer's, as released
  std::string licences;         // the viewer's licence texts
  ShopPageCamera camera;
  // The floor's shadow as the poster shows it: 0 for none; its softness,
  // 0 to 1.
  double shadowIntensity = 0;
  double shadowSoftness = 0.4;
  // Pictures of one turn (JPEG), for browsers without WebGL: dragged
  // across, the product turns. Empty for none.
  std::vector<std::vector<uint8_t>> turntable;
};

std::string WriteShopPage(const ShopPageParts& parts);

// A file name as a relative address holds it: every byte but the
// unreserved ones and '/' percent-encoded, so "a#b.usdz" is not read as "a"
// and a fragment.
std::string RelativeUrl(const std::string& name);

// Base64, as data: addresses take it.
std::string Base64(const std::vector<uint8_t>& bytes);

// Text as HTML, SVG or XML holds it, in an element or an attribute's value:
// its ampersands, quotes and angle brackets escaped.
std::string MarkupText(const std::string& text);

}  // namespace kestrova
