#pragma once
// kestrova-render's options: parsed from the command line, or from the
// command line and one row of a batch, into one plain record.
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "scene/scene_state.h"

namespace kestrova {

// A usage mistake: the message says which option and why; exit status 2.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct RenderOptions {
  std::string project;
  std::optional<int> frame;
  std::optional<std::pair<int, int>> frames;
  std::string info;
  std::string output;
  int width = 1280;
  int height = 720;
  float product = kProductBox;
  int style = 0;
  bool styleGiven = false;
  std::optional<Vec3> rotation;
  std::optional<Vec3> background;
  uint32_t blank = 0xEEEEEE;  // RRGGBB of the faces a render gives no picture for: a white card that
                              // still shows on a white background in the unlit classic frame
  uint32_t glaze = 0xFFFFFF;  // RRGGBB of the mug's glaze
  int cacheMegabytes = 96;    // decoded pictures a batch keeps for rows that use them again: with the
                              // studio's own buffers, a batch of new 2000² covers stays under 400 MB
  bool lighting = false;
  int quality = 92;
  bool allowWeb = false;
  bool allowMissing = false;  // a project's face that cannot be loaded keeps the default picture
  int supersample = 1;
  bool transparent = false;
  StudioFloor floor;
  bool floorGiven = false;  // --floor was named (the studio look has a shadow unless told otherwise)
  StudioLook look;
  std::string describe;  // the studio look's scene written out as JSON
  std::string glb;       // the product as a shop's 3D model, glTF binary
  std::string usdz;      // the same for Apple's Quick Look
  std::string html;      // a one-file product page showing the model
  std::string printTemplate;  // the product's print template, PDF or SVG
  double bleed = 3;           // mm of artwork past its trim
  double safe = 3;            // mm inside the trim the safe line runs
  bool blankTemplate = false; // the template without the shot's artwork
  std::string wrap;           // a one-piece cover on the template, cut into the faces
  float dimensions[3] = {0, 0, 0};  // the model's height, width, depth in mm (0: real size)
  int pages = 0;                    // a book's printed pages: its model's spine (0: the style's)
  float paperGsm = 80;              // the weight of its paper, g/m2
  bool paperGiven = false;
  int textureSize = 2048;           // the model's texture atlas, largest side
  int modelLimitMB = 5;             // a larger model is refused
  std::string video;
  int fps = 30;
  double turntable = 0;  // seconds of one turn; 0: no turntable
  int turnPictures = 0;  // a product page's pictures of one turn, for browsers without WebGL; 0: none
  std::vector<std::pair<std::string, std::string>> faces;  // face name, image
  bool timings = false;
  bool help = false;
  bool version = false;
  std::string batch;                         // a CSV of jobs
  std::optional<std::pair<int, int>> shard;  // K of N
  bool metadata = true;
  bool watch = false;  // render again whenever an input file changes
  bool preflight = false;  // check the artwork against --size instead of drawing
  bool shopCheck = false;  // check the shop model against a shop's rules instead of drawing
  std::string shopRules = "khronos";  // whose: khronos, shopify or google
  bool json = false;       // the check as JSON
  bool strict = false;     // a warning of the check fails the run
  // Where relative names are taken from: the current folder; and, for an
  // output named in a spreadsheet's cell, the spreadsheet's folder.
  std::string folder;
  std::string outputFolder;
  // Every option named, so a project's own floor and look give way only to
  // what the command line names.
  std::vector<std::string> named;
  bool isNamed(const char* option) const {
    for (const std::string& n : named) {
      if (n == option) return true;
    }
    return false;
  }
  // The options as given, for the files' text (never --batch or --shard).
  std::string given;
};

extern const char* const kUsage;

// Text from files and spreadsheets as a terminal may show it: control
// characters (an escape sequence could retitle the terminal) written as
// \xNN, and at most `cap` bytes, the rest counted.
std::string Printable(const std::string& text, size_t cap = 4096);

// Parses `args` (the program name left out). Throws UsageError.
RenderOptions ParseOptions(const std::vector<std::string>& args);

// The texture slot a --face name replaces on `product`, and on any product.
std::optional<TextureSlot> FaceSlot(const std::string& face, float product);
std::optional<TextureSlot> FaceSlot(const std::string& face);
// The face names `product` takes, for messages.
std::string FaceNames(float product);

}  // namespace kestrova
