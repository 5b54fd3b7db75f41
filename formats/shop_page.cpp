#include "shop_page.h"

#include <algorithm>
#include <cstdio>

namespace kestrova {

namespace {

// A script inline may not hold "</script": the page would end it there.
std::string inlineScript(const std::string& script) {
  std::string out;
  out.reserve(script.size());
  for (size_t i = 0; i < script.size(); ++i) {
    if (script.compare(i, 8, "</script") == 0 || script.compare(i, 8, "</SCRIPT") == 0) {
      out += "<\\/";
      ++i;
      continue;
    }
    out += script[i];
  }
  return out;
}

// A comment may not hold "--".
std::string comment(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    out += text[i];
    if (text[i] == '-' && i + 1 < text.size() && text[i + 1] == '-') out += ' ';
  }
  return out;
}

std::string number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", v);
  return text;
}

}  // namespace

std::string RelativeUrl(const std::string& name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    const bool unreserved = (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '-' ||
                            u == '.' || u == '_' || u == '~' || u == '/';
    if (unreserved) {
      out += c;
    } else {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 15];
    }
  }
  return out;
}

std::string MarkupText(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string Base64(const std::vector<uint8_t>& bytes) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const uint32_t n = static_cast<uint32_t>(bytes[i]) << 16 | (i + 1 < bytes.size() ? bytes[i + 1] << 8 : 0) |
                       (i + 2 < bytes.size() ? bytes[i + 2] : 0);
    out += kDigits[n >> 18 & 63];
    out += kDigits[n >> 12 & 63];
    out += i + 1 < bytes.size() ? kDigits[n >> 6 & 63] : '=';
    out += i + 2 < bytes.size() ? kDigits[n & 63] : '=';
  }
  return out;
}

std::string WriteShopPage(const ShopPageParts& parts) {
  const ShopPageCamera& c = parts.camera;
  std::string page;
  page += "<!doctype html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
  page += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
  page += "<meta name=\"generator\" content=\"Kestrova\">\n";
  page += "<title>" + MarkupText(parts.title) + "</title>\n";
  page += "<style>html, body { margin: 0; height: 100%; background: #fff; }\n"
          "model-viewer { width: 100%; height: 100%; --poster-color: #fff; }\n"
          "#turntable:focus { outline: none; }</style>\n";
  page += "<!--\nThe viewer below is model-viewer, with three.js and Lit, under these licences:\n\n" +
          comment(parts.licences) + "\n-->\n";
  page += "<script type=\"module\">\n" + inlineScript(parts.viewerScript) + "\n</script>\n</head>\n<body>\n";
  page += "<model-viewer alt=\"" + MarkupText(parts.title) + "\"\n";
  page += "  src=\"data:model/gltf-binary;base64," + Base64(parts.glb) + "\"\n";
  if (!parts.poster.empty()) page += "  poster=\"data:image/png;base64," + Base64(parts.poster) + "\"\n";
  page += "  camera-controls touch-action=\"pan-y\" interaction-prompt=\"none\"\n";
  // Lit as the poster is: its floor's shadow, the neutral tone mapping and
  // studio light of a product shot.
  page += "  shadow-intensity=\"" + number(std::clamp(parts.shadowIntensity, 0.0, 1.0)) + "\" shadow-softness=\"" +
          number(std::clamp(parts.shadowSoftness, 0.0, 1.0)) + "\" tone-mapping=\"neutral\" exposure=\"1\"\n";
  page += "  ar ar-modes=\"webxr scene-viewer quick-look\"";
  if (!parts.usdzName.empty()) page += " ios-src=\"" + MarkupText(RelativeUrl(parts.usdzName)) + "\"";
  page += "\n  camera-orbit=\"" + number(c.theta) + "deg " + number(c.phi) + "deg " + number(c.radius) + "m\"\n";
  page += "  camera-target=\"" + number(c.target[0]) + "m " + number(c.target[1]) + "m " + number(c.target[2]) + "m\"\n";
  page += "  field-of-view=\"" + number(c.fieldOfView) + "deg\" min-field-of-view=\"1deg\" max-field-of-view=\"120deg\"\n";
  page += "  min-camera-orbit=\"auto auto 0m\" max-camera-orbit=\"auto auto " + number(c.radius * 20) + "m\">\n";
  // The poster stands for the model while it loads: no bar across it.
  page += "  <div slot=\"progress-bar\"></div>\n</model-viewer>\n";
  if (!parts.turntable.empty()) {
    // Without WebGL the viewer cannot draw: the turn's pictures stand in,
    // turned by dragging (or the arrow keys) instead.
    page += "<div id=\"turntable\" hidden tabindex=\"0\" role=\"img\" aria-label=\"" + MarkupText(parts.title) +
            ", turned by dragging\" style=\"width:100%;height:100%;touch-action:pan-y;cursor:grab\">\n";
    for (size_t i = 0; i < parts.turntable.size(); ++i) {
      page += "<img alt=\"\" draggable=\"false\" style=\"width:100%;height:100%;object-fit:contain" +
              std::string(i ? ";display:none" : "") + "\" src=\"data:image/jpeg;base64," +
              Base64(parts.turntable[i]) + "\">\n";
    }
    page += "</div>\n<script>(() => {\n"
            "  const canvas = document.createElement('canvas');\n"
            "  const webgl = !!(canvas.getContext('webgl2') || canvas.getContext('webgl'));\n"
            "  if (webgl && location.hash !== '#turntable') return;\n"
            "  document.querySelector('model-viewer').remove();\n"
            "  const box = document.getElementById('turntable');\n"
            "  const pictures = box.querySelectorAll('img');\n"
            "  let shown = 0, from = null;\n"
            "  const show = (i) => { pictures[shown].style.display = 'none';\n"
            "    shown = ((i % pictures.length) + pictures.length) % pictures.length;\n"
            "    pictures[shown].style.display = ''; };\n"
            "  box.hidden = false;\n"
            "  box.addEventListener('pointerdown', (e) => { from = {x: e.clientX, at: shown}; box.setPointerCapture(e.pointerId); });\n"
            "  box.addEventListener('pointermove', (e) => { if (from) show(from.at + Math.round((from.x - e.clientX) / "
            "(box.clientWidth / pictures.length))); });\n"
            "  box.addEventListener('pointerup', () => { from = null; });\n"
            "  box.addEventListener('keydown', (e) => { if (e.key === 'ArrowLeft') show(shown + 1);\n"
            "    if (e.key === 'ArrowRight') show(shown - 1); });\n"
            "})();</script>\n";
  }
  // The page's own checks ask for the 3D view without the poster.
  page += "<script>if (location.hash === '#no-poster') "
          "document.querySelector('model-viewer').removeAttribute('poster');</script>\n";
  page += "</body>\n</html>\n";
  return page;
}

}  // namespace kestrova
