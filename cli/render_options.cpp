#include "cli/render_options.h"

#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <cctype>
#include <cmath>

#include "formats/file_names.h"
#include "formats/video_writer.h"
#include "formats/project_file.h"
#include "scene/paper.h"
#include "render/export_image.h"
#include "scene/product_styles.h"
#include "render/studio/product_shapes.h"

namespace kestrova {

const char* const kUsage =
    "Usage: kestrova-render -o FILE [options]\n"
    "Renders a Kestrova shot without a window and writes it as PNG, JPEG or BMP\n"
    "(chosen by the extension of FILE).\n"
    "\n"
    "Options:\n"
    "  -o, --output FILE         where to write the image (.png, .jpg, .jpeg or .bmp)\n"
    "  --quality N               JPEG quality 1-100 (default 92)\n"
    "  --allow-web               fetch a project's pictures named by web address\n"
    "  --allow-missing           draw the default picture for a face of a project\n"
    "                            whose own picture cannot be loaded (without it\n"
    "                            the render fails, naming the face and the file)\n"
    "  --supersample N           draw at N times the size (1-4) and filter down:\n"
    "                            smooth edges, e.g. --supersample 4\n"
    "  --transparent             a transparent background (PNG with alpha, or a\n"
    "                            .webm video with alpha)\n"
    "  --floor KIND              a studio floor under the product: none (default),\n"
    "                            shadow, reflection or both\n"
    "  --shadow N                the floor shadow's strength 0-100 (default 60)\n"
    "  --reflection N            the floor reflection's strength 0-100 (default 30)\n"
    "  --softness N              how far the shadow's edge fades, 0-100 (default 40)\n"
    "  --look KIND               classic (default: the frame as the window draws\n"
    "                            it) or studio: the product standing on its floor\n"
    "                            in a lit studio, with soft shadows\n"
    "  --studio NAME             the studio look's lights: bright (default), soft\n"
    "                            or dark\n"
    "  --environment FILE        light the studio look from an equirectangular\n"
    "                            HDR picture (.hdr or .exr)\n"
    "  --lens MM                 the studio look's focal length, 35 mm-equivalent\n"
    "                            (default 50)\n"
    "  --fit PERCENT             the studio look frames the product and its shadow\n"
    "                            with this margin (0: filling the picture); without\n"
    "                            it the shot's pan and zoom are kept\n"
    "  --describe FILE.json      write the studio look's scene (camera, lights,\n"
    "                            environment, floor, the product's triangles) as\n"
    "                            JSON, for another renderer to rebuild\n"
    "  --glb FILE.glb            also write the product as a 3D model for shop pages\n"
    "                            (glTF binary, metres, real size, one material)\n"
    "  --usdz FILE.usdz          the same model for Apple's Quick Look (USDZ)\n"
    "  --html FILE.html          a one-file product page: the model, the viewer\n"
    "                            (model-viewer) and a studio picture as its poster,\n"
    "                            inline; with --usdz, Quick Look's model beside it;\n"
    "                            with --turn-pictures N, N pictures of a turn that\n"
    "                            browsers without WebGL turn by dragging\n"
    "  --turn-pictures N         the page's pictures of one turn, 4 to 72 (the\n"
    "                            older --turntable N with --html alone still works)\n"
    "  --dimensions HxWxD        the model's size in millimetres instead of the\n"
    "                            style's real size, e.g. 190x135x14\n"
    "  --pages N                 a book's printed pages: the book is drawn (and\n"
    "                            its model made) as thick as N/2 leaves of its\n"
    "                            paper; --dimensions still decides a model's size\n"
    "  --paper GSM               the weight of those pages in g/m2, 59.3 to 119.8\n"
    "                            (default 80)\n"
    "  --template FILE           also write the product's print template (.pdf or\n"
    "                            .svg): its flat layout at real size with cut and\n"
    "                            fold lines in the spot colours CutContour and\n"
    "                            Crease, the shot's artwork on its panels\n"
    "  --bleed MM                the template's artwork past the trim, 0 to 20 mm\n"
    "                            (default 3)\n"
    "  --safe MM                 the template's safe line inside the trim, 0 to 50\n"
    "                            mm (default 3)\n"
    "  --blank-template          the template without the shot's artwork\n"
    "  --wrap FILE               a one-piece cover (a picture or PDF) laid out on\n"
    "                            the product's template with its bleed, cut into\n"
    "                            the faces it covers\n"
    "  --texture-size N          the model's texture atlas, at most N pixels a side\n"
    "                            (a power of two, 64 to 8192; default 2048)\n"
    "  --gloss N                 the studio look's clear glossy coat on boxes and\n"
    "                            books, 0-100 (default 0)\n"
    "  --video FILE              the animation (or the turntable) as a video:\n"
    "                            .mp4 (H.264), .webm (VP9) or .gif;\n"
    "                            e.g. kestrova-render shot.TSMR --video shot.mp4\n"
    "  --fps N                   the video's frames a second (default 30)\n"
    "  --turntable SECONDS       one turn about the vertical axis from the shot's\n"
    "                            pose, e.g. --turntable 4 --video spin.webm\n"
    "  --face NAME=IMAGE         this render only, NAME's picture is IMAGE; NAME is\n"
    "                            a face of the product drawn: a box's front, back,\n"
    "                            left (or spine), right, top or bottom; a book's\n"
    "                            front, back, spine or pages; the mug's wrap (or\n"
    "                            mug); the board's front (or screen);\n"
    "                            e.g. --face front=cover.png (repeatable)\n"
    "  --size WxH                image size in pixels (default 1280x720)\n"
    "  --product KIND            box, book, mug or screenshot (default box)\n"
    "  --style N                 box style 0-7 (default 0, Standard Retail Box),\n"
    "                            or book style 0-2 (default 0, Standard Hard Back)\n"
    "  --rotation X,Y,Z          rotation in degrees (default 30,30,0)\n"
    "  --background RRGGBB       background colour in hex (default FFFFFF)\n"
    "  --blank RRGGBB            the colour of the faces left without a picture\n"
    "                            once any --face is given (default EEEEEE: plain\n"
    "                            white card)\n"
    "  --glaze RRGGBB            the mug's glaze: its lip, inside, foot and handle\n"
    "                            in the studio look and the 3D models (default\n"
    "                            FFFFFF)\n"
    "  --radius MM               the studio look's and the models' retail boxes and\n"
    "                            cube with edges rounded this far, 0 to 20 mm\n"
    "                            (default 1; 0 for sharp)\n"
    "  --device KIND             the studio look's and the models' screen shot in a\n"
    "                            phone, tablet, laptop, monitor, browser window or\n"
    "                            on a board (default board)\n"
    "  --screen-fit FIT          the screen shot on a device's screen: contain\n"
    "                            (default: whole, with black bars) or cover\n"
    "                            (filling it, cropped)\n"
    "  --title TEXT              the browser window's title\n"
    "  --lighting                turn the spot light on\n"
    "  --timings                 print each phase's milliseconds to stderr\n"
    "  --batch FILE.csv          one render per row of a spreadsheet: the first row\n"
    "                            names the columns, each an option without its\n"
    "                            dashes (output, project, size, face.front, ...);\n"
    "                            empty cells take the command line's value\n"
    "  --cache-mb N              a batch keeps up to N megabytes of decoded\n"
    "                            pictures for rows that use them again, the\n"
    "                            least recently used going first (default 96)\n"
    "  --shard K/N               rows (and --frames) K, K+N, K+2N, ... (K from 0):\n"
    "                            N processes split the work without talking\n"
    "  --watch                   render again whenever the project or a picture\n"
    "                            it uses is saved, until interrupted\n"
    "  --shop-check              check the 3D model (--glb, --usdz) against a\n"
    "                            shop's rules, each with its source; writes nothing\n"
    "  --shop-rules NAME         khronos (3D Commerce, default), shopify or google\n"
    "  --preflight               check each face's artwork for a picture of\n"
    "                            --size instead of drawing: its pixels, the size\n"
    "                            it is shown at, the stretch and the aspect\n"
    "  --json                    the check as JSON\n"
    "  --strict                  a stretch past 1.5x or an aspect off by more\n"
    "                            than 5 % fails the check (exit status 1)\n"
    "  --no-metadata             no Software, project and options text in\n"
    "                            PNG and JPEG files\n"
    "  -h, --help                show this help\n"
    "  -v, --version             show the version\n"
    "\n"
    "kestrova-render SHOT.TSMR -o FILE [--frame N] [--size WxH]\n"
    "  renders frame N (default 0) of a project's animation\n"
    "kestrova-render SHOT.TSMR --frames A-B -o out_%04d.png [--size WxH]\n"
    "  renders frames A to B as numbered pictures\n"
    "\n"
    "kestrova-render SHOT.TSMR --preflight --size WxH [--json] [--strict]\n"
    "kestrova-render SHOT.TSMR --shop-check [--shop-rules khronos|shopify|google] [--json]\n"
    "  checks the shot's artwork for a picture of that size\n"
    "kestrova-render --info MODEL.3ds | SHOT.TSMR\n"
    "  prints what the model loader or the project reader reads, as JSON\n";

namespace {

constexpr size_t kMaxGivenText = 4096;

[[noreturn]] void fail(const std::string& message) { throw UsageError(message); }

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

}  // namespace

std::string Printable(const std::string& text, size_t cap) {
  std::string out;
  out.reserve(std::min(text.size(), cap) + 16);
  size_t i = 0;
  for (; i < text.size() && out.size() < cap; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  if (i < text.size()) out += " ... (" + std::to_string(text.size() - i) + " more bytes)";
  return out;
}

RenderOptions ParseOptions(const std::vector<std::string>& args) {
  RenderOptions options;
  bool infoAsked = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if ((args[i] == "--batch" || args[i] == "--shard") && i + 1 < args.size()) {
      ++i;
      continue;
    }
    options.given += (options.given.empty() ? "" : " ") + args[i];
  }
  // Kept in every picture's text: a few kilobytes, however long the cells.
  if (options.given.size() > kMaxGivenText) options.given = options.given.substr(0, kMaxGivenText) + " ...";
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.rfind("--", 0) == 0) options.named.push_back(arg);
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) fail("option " + arg + " needs a value");
      return args[++i];
    };
    if (arg == "-h" || arg == "--help") {
      options.help = true;
      return options;
    } else if (arg == "-v" || arg == "--version") {
      options.version = true;
      return options;
    } else if (arg == "--batch") {
      options.batch = value();
    } else if (arg == "--shard") {
      const std::string& text = value();
      long k = -1, n = 0;
      const size_t slash = text.find('/');
      if (slash == std::string::npos || !parseInt(text.substr(0, slash), 0, 100000, &k) ||
          !parseInt(text.substr(slash + 1), 1, 100000, &n) || k >= n) {
        fail("--shard wants K/N with 0 <= K < N, not '" + text + "'");
      }
      options.shard = std::make_pair(static_cast<int>(k), static_cast<int>(n));
    } else if (arg == "--no-metadata") {
      options.metadata = false;
    } else if (arg == "--watch") {
      options.watch = true;
    } else if (arg == "--preflight") {
      options.preflight = true;
    } else if (arg == "--shop-check") {
      options.shopCheck = true;
    } else if (arg == "--shop-rules") {
      options.shopRules = value();
      if (options.shopRules != "khronos" && options.shopRules != "shopify" && options.shopRules != "google") {
        fail("--shop-rules wants khronos, shopify or google, not '" + options.shopRules + "'");
      }
    } else if (arg == "--json") {
      options.json = true;
    } else if (arg == "--strict") {
      options.strict = true;
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
      options.styleGiven = true;
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
    } else if (arg == "--background" || arg == "--blank" || arg == "--glaze") {
      std::string text = value();
      if (!text.empty() && text[0] == '#') text.erase(0, 1);
      if (text.size() != 6 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        fail(arg + " wants a colour RRGGBB in hex, not '" + text + "'");
      }
      const auto rgb = static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 16));
      if (arg == "--blank") options.blank = rgb;
      else if (arg == "--glaze") options.glaze = rgb;
      else options.background = Vec3{((rgb >> 16) & 0xFF) / 255.0f, ((rgb >> 8) & 0xFF) / 255.0f, (rgb & 0xFF) / 255.0f};
    } else if (arg == "--lighting") {
      options.lighting = true;
    } else if (arg == "--timings") {
      options.timings = true;
    } else if (arg == "--allow-web") {
      options.allowWeb = true;
    } else if (arg == "--allow-missing") {
      options.allowMissing = true;
    } else if (arg == "--supersample") {
      long factor = 0;
      if (!parseInt(value(), 1, 4, &factor)) fail("--supersample wants 1, 2, 3 or 4");
      options.supersample = static_cast<int>(factor);
    } else if (arg == "--transparent") {
      options.transparent = true;
    } else if (arg == "--look") {
      const std::string& kind = value();
      if (kind != "classic" && kind != "studio") fail("--look wants classic or studio, not '" + kind + "'");
      options.look.studio = kind == "studio";
    } else if (arg == "--studio") {
      const std::string& name = value();
      if (name != "bright" && name != "soft" && name != "dark") {
        fail("--studio wants bright, soft or dark, not '" + name + "'");
      }
      options.look.setup = name;
    } else if (arg == "--environment") {
      options.look.environment = value();
      if (!EndsWithIgnoringCase(options.look.environment, ".hdr") &&
          !EndsWithIgnoringCase(options.look.environment, ".exr")) {
        fail("--environment reads a Radiance .hdr or an OpenEXR .exr picture, not '" + options.look.environment + "'");
      }
    } else if (arg == "--radius") {
      const std::string& text = value();
      float radius = 0;
      if (!parseFloat(text, &radius) || !(radius >= 0 && radius <= 20)) {
        fail("--radius wants the edges' radius from 0 to 20 mm, not '" + text + "'");
      }
      options.look.radius = radius;
    } else if (arg == "--device") {
      const std::string& kind = value();
      studio::Shape shape;
      if (!studio::DeviceShape(kind, &shape)) fail(std::string("--device wants ") + studio::DeviceNames() + ", not '" + kind + "'");
      options.look.device = kind;
    } else if (arg == "--screen-fit") {
      const std::string& fit = value();
      if (fit != "contain" && fit != "cover") fail("--screen-fit wants contain or cover, not '" + fit + "'");
      options.look.screenCover = fit == "cover";
    } else if (arg == "--title") {
      options.look.title = value();
      if (options.look.title.size() > kMaxShotText) {
        fail("--title is " + std::to_string(options.look.title.size()) + " bytes long; a title is at most " +
             std::to_string(kMaxShotText));
      }
    } else if (arg == "--lens") {
      const std::string& text = value();
      float lens = 0;
      if (!parseFloat(text, &lens) || !(lens >= 10 && lens <= 600)) {
        fail("--lens wants a focal length from 10 to 600 mm, not '" + text + "'");
      }
      options.look.lens = lens;
    } else if (arg == "--fit") {
      long margin = 0;
      if (!parseInt(value(), 0, 45, &margin)) fail("--fit wants a margin from 0 to 45 percent");
      options.look.fit = static_cast<int>(margin);
    } else if (arg == "--describe") {
      options.describe = value();
    } else if (arg == "--glb" || arg == "--usdz" || arg == "--html") {
      const std::string& name = value();
      const std::string ending = arg == "--glb" ? ".glb" : arg == "--usdz" ? ".usdz" : ".html";
      if (name.size() < ending.size() ||
          !std::equal(ending.rbegin(), ending.rend(), name.rbegin(),
                      [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); })) {
        fail(arg + " writes a " + ending + " file, not '" + name + "'");
      }
      (arg == "--glb" ? options.glb : arg == "--usdz" ? options.usdz : options.html) = name;
    } else if (arg == "--template") {
      options.printTemplate = value();
      std::string lower = options.printTemplate;
      for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      const bool known = lower.size() > 4 && (lower.compare(lower.size() - 4, 4, ".pdf") == 0 || lower.compare(lower.size() - 4, 4, ".svg") == 0);
      if (!known) fail("--template writes a .pdf or an .svg file, not '" + options.printTemplate + "'");
    } else if (arg == "--bleed" || arg == "--safe") {
      const std::string& text = value();
      float mm = 0;
      const float most = arg == "--bleed" ? 20 : 50;
      if (!parseFloat(text, &mm) || !(mm >= 0 && mm <= most)) {
        fail(arg + " wants millimetres from 0 to " + std::to_string(static_cast<int>(most)) + ", not '" + text + "'");
      }
      (arg == "--bleed" ? options.bleed : options.safe) = mm;
    } else if (arg == "--wrap") {
      options.wrap = value();
    } else if (arg == "--blank-template") {
      options.blankTemplate = true;
    } else if (arg == "--dimensions") {
      const std::string& text = value();
      float size[3] = {0, 0, 0};
      size_t at = 0;
      bool ok = true;
      for (int i = 0; i < 3 && ok; ++i) {
        const size_t x = i < 2 ? text.find('x', at) : text.size();
        ok = x != std::string::npos && parseFloat(text.substr(at, x - at), &size[i]) && size[i] >= 1 &&
             size[i] <= 10000;
        at = x + 1;
      }
      if (!ok) fail("--dimensions wants HEIGHTxWIDTHxDEPTH in millimetres, each 1 to 10000, not '" + text + "'");
      std::copy(size, size + 3, options.dimensions);
    } else if (arg == "--pages") {
      long pages = 0;
      if (!parseInt(value(), 2, 20000, &pages)) fail("--pages wants a book's printed pages, 2 to 20000");
      options.pages = static_cast<int>(pages);
    } else if (arg == "--paper") {
      const std::string& text = value();
      float gsm = 0;
      if (!parseFloat(text, &gsm) || !PaperCaliperMm(gsm)) {
        // The range to a tenth, inwards: every weight it names is taken.
        char range[64];
        std::snprintf(range, sizeof range, "%.1f to %.1f", std::ceil(LightestPaperGsm() * 10) / 10,
                      std::floor(HeaviestPaperGsm() * 10) / 10);
        fail("--paper wants the paper's weight in g/m2, " + std::string(range) + ", not '" + text + "'");
      }
      options.paperGsm = gsm;
      options.paperGiven = true;
    } else if (arg == "--texture-size") {
      long side = 0;
      if (!parseInt(value(), 64, 8192, &side) || (side & (side - 1)) != 0) {
        fail("--texture-size wants a power of two from 64 to 8192");
      }
      options.textureSize = static_cast<int>(side);
    } else if (arg == "--gloss") {
      long gloss = 0;
      if (!parseInt(value(), 0, 100, &gloss)) fail("--gloss wants a number from 0 to 100");
      options.look.gloss = static_cast<int>(gloss);
    } else if (arg == "--floor") {
      options.floorGiven = true;
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
    } else if (arg == "--cache-mb") {
      long megabytes = 0;
      if (!parseInt(value(), 0, 65536, &megabytes)) fail("--cache-mb wants 0 to 65536 megabytes");
      options.cacheMegabytes = static_cast<int>(megabytes);
    } else if (arg == "--turn-pictures") {
      long pictures = 0;
      if (!parseInt(value(), 4, 72, &pictures)) fail("--turn-pictures wants 4 to 72 pictures of one turn");
      options.turnPictures = static_cast<int>(pictures);
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
        fail("--face wants NAME=IMAGE with NAME a face of the product (a box's front, back, left, right, top, "
             "bottom or spine; a book's front, back, spine or pages; the mug's wrap); not '" + text + "'");
      }
      options.faces.emplace_back(face, text.substr(equals + 1));
    } else if (arg == "--project") {
      options.project = value();
    } else if (!arg.empty() && arg[0] != '-' && options.project.empty()) {
      options.project = arg;
    } else {
      fail("unknown argument '" + arg + "'");
    }
  }
  if (options.shard && options.batch.empty() && !options.frames) {
    fail("--shard splits the rows of a --batch or the frames of --frames: name one of them");
  }
  if (options.watch && !options.batch.empty()) fail("--watch renders one job again and again: leave out --batch");
  // A batch's own options are completed by its rows, and checked with them.
  if (!options.batch.empty()) return options;
  if (infoAsked && options.info.empty()) {
    if (options.project.empty()) fail("--info needs a .3ds model or a .TSMR project");
    options.info = options.project;
    options.project.clear();
  }
  if ((options.json || options.strict) && !options.preflight && !options.shopCheck) {
    fail("--json and --strict go with --preflight or --shop-check");
  }
  if (options.preflight) {
    if (!options.video.empty() || options.frames || options.watch) {
      fail("--preflight checks one picture: leave out --video, --frames and --watch");
    }
    return options;  // draws nothing, so needs no output
  }
  if (options.shopCheck) {
    if (!options.video.empty() || options.frames || options.watch || options.preflight) {
      fail("--shop-check checks one model: leave out --video, --frames, --watch and --preflight");
    }
    return options;  // writes nothing
  }
  // A project brings its own product: its faces are checked once it is read.
  for (const auto& [face, image] : options.faces) {
    if (options.project.empty() && !FaceSlot(face, options.product)) {
      fail("--face " + face + ": this product's faces are " + FaceNames(options.product));
    }
  }
  if ((options.pages > 0 || options.paperGiven) && options.project.empty() && !(options.product <= 1.0f)) {
    fail("--pages and --paper give a book's thickness: use them with --product book");
  }
  if (options.paperGiven && options.pages == 0) fail("--paper goes with --pages: the paper's weight of the book's pages");
  if (options.styleGiven && options.product == kProductMug) fail("--style picks a box or book style: the mug has none");
  if (options.styleGiven && options.product <= 1.0f && options.style >= kBookStyleCount) {
    fail("a book style is a number from 0 to 2");
  }
  if (options.project.empty() && !options.look.studio && (options.look.setup != "bright" || !options.look.environment.empty() ||
                               options.look.lens != 50.0f || options.look.fit >= 0 || options.look.gloss != 0)) {
    fail("--studio, --environment, --lens, --fit and --gloss go with --look studio (or a project in the studio look)");
  }
  if (options.project.empty() && options.product != kProductScreenShot &&
      (options.isNamed("--device") || options.isNamed("--screen-fit") || options.isNamed("--title"))) {
    fail("--device, --screen-fit and --title show a screen shot: use them with --product screenshot");
  }
  if (options.project.empty() && options.product != kProductBox && options.isNamed("--radius")) {
    fail("--radius rounds a box's edges: use it with --product box");
  }
  if (options.printTemplate.empty() && (options.isNamed("--bleed") || options.isNamed("--safe") || options.blankTemplate)) {
    fail("--bleed, --safe and --blank-template shape a print template: use them with --template FILE");
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
  if (options.turnPictures > 0 && options.html.empty()) fail("--turn-pictures go in a product page: add --html FILE");
  if (options.turntable > 0 && options.video.empty() && options.html.empty()) {
    fail("--turntable makes a video (add --video FILE) or a page's turning pictures (add --html FILE)");
  }
  // A model, a page or the studio's description may be all a run writes.
  const bool somethingElse = !options.glb.empty() || !options.usdz.empty() || !options.html.empty() ||
                             !options.describe.empty() || !options.printTemplate.empty();
  if (options.output.empty() && options.info.empty() && !somethingElse) fail("no output file given (-o FILE)");
  if (options.output.empty() && (options.frames || options.frame)) fail("--frame and --frames write pictures: name them with -o");
  return options;
}

namespace {

// The faces each product has, by the names --face takes. A book's "front"
// is its front cover, as a box's is its front.
struct NamedFace {
  const char* name;
  TextureSlot slot;
};
const std::vector<NamedFace>& facesOf(float product) {
  static const std::vector<NamedFace> box = {{"front", kSlotBoxFront}, {"back", kSlotBoxBack},
                                             {"left", kSlotBoxLeft},   {"spine", kSlotBoxLeft},
                                             {"right", kSlotBoxRight}, {"top", kSlotBoxTop},
                                             {"bottom", kSlotBoxBottom}};
  static const std::vector<NamedFace> book = {{"front", kSlotBookFront},      {"back", kSlotBookBack},
                                              {"spine", kSlotBookSpine},      {"pages", kSlotBookPage1},
                                              {"book-front", kSlotBookFront}, {"book-back", kSlotBookBack},
                                              {"book-spine", kSlotBookSpine}};
  static const std::vector<NamedFace> mug = {{"mug", kSlotMug}, {"wrap", kSlotMug}};
  static const std::vector<NamedFace> board = {{"front", kSlotBoxFront}, {"screen", kSlotBoxFront}};
  if (product <= 1.0f) return book;
  if (product == kProductMug) return mug;
  if (product == kProductScreenShot) return board;
  return box;
}

}  // namespace

std::optional<TextureSlot> FaceSlot(const std::string& face, float product) {
  for (const NamedFace& named : facesOf(product)) {
    if (face == named.name) return named.slot;
  }
  return std::nullopt;
}

std::string FaceNames(float product) {
  std::string names;
  for (const NamedFace& named : facesOf(product)) names += (names.empty() ? "" : ", ") + std::string(named.name);
  return names;
}

std::optional<TextureSlot> FaceSlot(const std::string& face) {
  for (float product : {kProductBox, kProductBook, kProductMug, kProductScreenShot}) {
    if (const std::optional<TextureSlot> slot = FaceSlot(face, product)) return slot;
  }
  return std::nullopt;
}

}  // namespace kestrova
