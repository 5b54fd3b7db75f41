#pragma once
// The one record that describes the current shot. Every subsystem reads and
// writes its members directly; it is owned by the view and allocated once.
//
// Many members are "float codes": small whole numbers (0, 1, 2, 4, 6) kept as
// float because project files store them as floats and the renderer compares
// them as floats. Tests read "not above 1" as off / first choice and ">= 2" as on.

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The windows the record points at (owned by the main window; null while
// closed). Only their addresses live here.
class ControlPanel;
class IntroDialog;

namespace kestrova {

// A floor under the product: a soft contact shadow and a fading reflection,
// strengths 0 to 100; softness 0 to 100 sets how far the shadow's edge
// fades (100: half the product's height).
struct StudioFloor {
  bool shadow = false;
  bool reflection = false;
  int shadowStrength = 60;
  int reflectionStrength = 30;
  int softness = 40;
  bool on() const { return shadow || reflection; }
};

// How the shot is drawn: the classic frame, or the studio look (a lit
// studio with soft shadows, a lens and framing of its own).
struct StudioLook {
  bool studio = false;
  std::string setup = "bright";  // a built-in studio: bright, soft or dark
  float lens = 50.0f;            // focal length in mm, 35 mm-equivalent
  int fit = -1;                  // margin in percent around product and shadow; -1: the shot's pan and zoom
  int gloss = 0;                 // 0 to 100: a clear glossy coat over printed card
  std::string environment;       // an equirectangular HDR picture lighting the product; empty: the studio's own
  uint32_t glaze = 0xFFFFFF;     // the mug's glaze (lip, inside, foot, handle), RRGGBB
  // The shapes the studio look and the models give the products.
  float radius = -1;             // mm round a box's edges; -1: a folded card's own
  std::string device = "board";  // a screen shot's: phone, tablet, laptop, monitor, browser or board
  bool screenCover = false;      // the screen shot fills the screen, cropped; else it is letterboxed
  std::string title;             // a browser window's title
  // Not kept in projects: framing (fit) takes the product at every turn
  // about the vertical, so the pictures of a turntable keep one size.
  bool fitEveryTurn = false;
};

constexpr int kTrackFrames = 10000;      // frames 0 to 9999
constexpr int kKeyCapacity = 20000;      // entries in keyFrameNumbers
constexpr int kSequenceCapacity = 1024;  // entries in sequenceNames
constexpr int kPathBuffers = 10;
constexpr int kPathBufferSize = 25000;
constexpr int kGridSize = 45;  // face grid vertices per side

constexpr const char* kNothingSelected = "Nothing Selected";
constexpr const char* kEndMarker = "zzzzzzzzz.TSMR";

// Product kinds (float codes of productKind).
constexpr float kProductBook = 0.0f;
constexpr float kProductMug = 2.0f;
constexpr float kProductBox = 4.0f;
constexpr float kProductScreenShot = 6.0f;

// Texture slots in declared order.
enum TextureSlot : int {
  kSlotBuiltin,
  kSlotBookFront,
  kSlotBookBack,
  kSlotBookSpine,
  kSlotBookPage1,
  kSlotBookPage2,
  kSlotBookPage3,
  kSlotMug,
  kSlotMugEnvironment,
  kSlotBoxFront,
  kSlotBoxBack,
  kSlotBoxLeft,
  kSlotBoxRight,
  kSlotBoxTop,
  kSlotBoxBottom,
  kTextureSlotCount
};

// Entries of textureName (stored file names), in their stored order.
enum TextureNameIndex : int {
  kNameBookSpine,
  kNameBookBack,
  kNameMug,
  kNameBookFront,
  kNameWebsiteLink,
  kNameSpare,
  kNameBoxFront,
  kNameBoxBack,
  kNameBoxLeft,
  kNameBoxTop,
  kNameBoxBottom,
  kNameBoxRight,
  kTextureNameCount
};

// Entries of textureNameLength, in their stored order.
enum TextureNameLengthIndex : int {
  kLengthBookFront = 0,
  kLengthBookBack = 1,
  kLengthBookSpine = 2,
  // 3 to 8 are spare
  kLengthMug = 9,
  kLengthBoxFront = 10,
  kLengthBoxBack = 11,
  kLengthBoxLeft = 12,
  kLengthBoxRight = 13,
  kLengthBoxTop = 14,
  kLengthBoxBottom = 15,
  kTextureNameLengthCount = 16
};

// Path buffers of the ten stored images.
enum TexturePathIndex : int {
  kPathBookFront,
  kPathBookBack,
  kPathBookSpine,
  kPathBoxFront,
  kPathBoxBack,
  kPathBoxLeft,
  kPathBoxRight,
  kPathBoxTop,
  kPathBoxBottom,
  kPathMug
};

using Track = std::array<float, kTrackFrames>;
using Vec3 = std::array<float, 3>;

struct GridVertex {
  float x, y, z;
};

// The artwork a texture slot was last loaded from: what a preflight check
// and a sharp large export need to know of it.
struct FaceArtwork {
  std::string path;  // empty: the slot holds no picture of a file
  int width = 0;     // the picture's own pixels (a drawing's at 96 per inch)
  int height = 0;
  bool scalable = false;  // a drawing, sharp at any size
  int textureWidth = 0;   // what the slot's texture holds
  int textureHeight = 0;
  // A drawing that could not be drawn larger: it is only as sharp as its
  // texture (0: drawn again as large as asked).
  bool stuck = false;
};

struct SceneState {
  SceneState();

  uint32_t backgroundColorRef = 0;
  Vec3 backgroundColor{0.0f, 0.0f, 0.0f};  // GL clear colour; 255 is clamped to 1
  int32_t bookStyle = 0;
  Vec3 rotation{30.0f, 30.0f, 0.0f};  // degrees about X, Y, Z
  Vec3 spotLight{1.0f, 1.0f, 10.0f};
  Vec3 lightColor{0.0f, 0.0f, 0.0f};  // 0 to 255; no drawing depends on it
  float movementMode = 0;  // 0/1 rotation, 2 pan, 3 scale
  float productKind = kProductBook;
  float mugLoadRequest = 0;
  float panelReady = 0;
  float panelSubMode = 0;  // 2: sliders drive spotLight
  std::array<uint32_t, kTextureSlotCount> textureSlot{};  // GL texture names
  std::array<FaceArtwork, kTextureSlotCount> artwork{};   // where each slot's picture came from
  int32_t animationLength = 0;
  int32_t bakedSegmentCount = 0;
  int32_t segmentStart = 0;
  int32_t segmentEnd = 0;
  int32_t segmentLength = 0;
  // The bake's per-component running value, segment target and previous
  // target, in track order (rotation, pan, spot light, scale; X, Y, Z each).
  std::array<float, 12> bakeRunning{};
  std::array<float, 12> bakeTarget{};
  std::array<float, 12> bakePreviousTarget{};
  std::array<int32_t, kKeyCapacity> keyFrameNumbers{};
  int32_t sequenceCount = 0;
  bool playing = false;
  int32_t currentFrame = 0;
  int32_t bakedFrameCount = 0;
  std::array<float, 12> keyClipboard{};
  std::array<Track, 3> keyRotation{};
  std::array<Track, 3> tweenRotation{};
  Vec3 baseRotation{30.0f, 30.0f, 0.0f};
  std::array<Track, 3> keyPan{};
  std::array<Track, 3> tweenPan{};
  Vec3 basePan{0.0f, 0.0f, 0.0f};
  std::array<Track, 3> keySpot{};
  std::array<Track, 3> tweenSpot{};
  Vec3 baseSpot{1.0f, 1.0f, 10.0f};
  std::array<Track, 3> keyScale{};
  std::array<Track, 3> tweenScale{};
  Vec3 baseScale{0.0f, 0.0f, 0.0f};
  int32_t keyCount = 0;
  bool laterSegmentBaked = false;
  float introShown = 0;  // 2 once the intro dialog exists
  int32_t selectedPreset = 0;
  std::array<std::string, kSequenceCapacity> sequenceNames;
  float lightingMode = 0;  // 2 on, 0 off
  float lightingToggle = 0;
  float savedProductKind = 0;
  float screenShotToggle = 0;
  float mugSpotInitialised = 0;
  float bookSpotInitialised = 0;
  float startupFrameCount = 0;
  std::array<float, 2> screenShotSize{0.0f, 0.0f};
  std::array<int32_t, 10> pictureWidth{};   // HIMETRIC (0.01 mm)
  std::array<int32_t, 10> pictureHeight{};  // HIMETRIC (0.01 mm)
  Vec3 boxSize{0.0f, 0.0f, 0.0f};           // height, width, depth factors
  int32_t sequenceIndex = 0;
  std::string flagText;
  int32_t viewWidth = 0;
  int32_t viewHeight = 0;
  // Book face load requests: front, back, spine, right, top, bottom.
  float bookFrontLoadRequest = 0;
  float bookBackLoadRequest = 0;
  float bookSpineLoadRequest = 0;
  float bookRightLoadRequest = 0;
  float bookTopLoadRequest = 0;
  float bookBottomLoadRequest = 0;
  float bookBinding = 0;  // 2 hard back, 1 paper back
  float imagePathIsAbsolute = 0;
  std::array<float, 9> spinSizes{};  // entry 3 is spinValue
  float bookCoverChanged = 0;
  // Box face load requests: front, back, left (spine), right, top, bottom.
  float boxFrontLoadRequest = 0;
  float boxBackLoadRequest = 0;
  float boxLeftLoadRequest = 0;
  float boxRightLoadRequest = 0;
  float boxTopLoadRequest = 0;
  float boxBottomLoadRequest = 0;
  float textureScrollMode = 0;
  Vec3 scale{0.0f, 0.0f, 0.0f};
  int32_t randomSequence = 0;
  std::string programFolder;
  // Start-up pictures and models not loaded yet: each is loaded when a
  // product that shows it is first drawn (render/deferred_assets.h).
  struct DeferredAssets {
    std::string folder;      // where the names below are found
    uint32_t pictures = 0;   // one bit per TextureSlot
    bool bookModels = false;
    bool mugModel = false;
    // What the model loader said, for the user: caption ("Error" or
    // "Warning") and text.
    std::vector<std::pair<std::string, std::string>> messages;
  } deferred;
  float spinGuard = 0;
  std::string formatVersion;  // one character, compared by byte value
  std::array<std::string, kTextureNameCount> textureName;
  std::array<float, kTextureNameLengthCount> textureNameLength{};
  std::array<float, 2> textureScroll{0.0f, 0.0f};
  float boxStyle = 0;
  GridVertex faceGrid[kGridSize][kGridSize]{};
  char texturePath[kPathBuffers][kPathBufferSize]{};
  float bookFlag = 0;
  std::array<float, 2> spinVelocity{1.0f, 1.0f};
  Vec3 pan{0.0f, 0.0f, 0.0f};  // pan X, pan Y, zoom
  // Mouse drag state.
  bool dragging = false;
  bool rightDrag = false;
  int32_t lastCursorX = 0;
  int32_t lastCursorY = 0;
  ::ControlPanel* controlPanel = nullptr;
  ::IntroDialog* introDialog = nullptr;
  bool keysFromFile = false;
  // The studio floor under the product; off unless asked for. Not stored in
  // project files: it belongs to the program's settings and the command line.
  StudioFloor studioFloor;
  // Which renderer draws the shot, and the studio's settings.
  StudioLook look;

  float& spinValue() { return spinSizes[3]; }
  std::string& websiteLink() { return textureName[kNameWebsiteLink]; }
};

// Fills faceGrid: vertex (i, j) = (i/5 - 4.5, j/5 - 4.5, 0). The grid's centre
// is therefore (-0.1, -0.1), not the origin; the face offsets compensate.
void BuildFaceGrid(SceneState& scene);

// The start-up rule for the introduction position. `profileValue` is the
// stored position (1 when none is stored); `flagBytes` is what "Flag.txt"
// holds (only its first 8 bytes count). Returns the index of the sample to show.
int IntroPositionAtStart(int profileValue, const std::string& flagBytes,
                         const SceneState& scene);

// True when formatVersion compares at least the one-character string whose
// byte is `code` (byte-wise, as a multibyte comparison does).
bool FormatVersionAtLeast(const std::string& formatVersion, unsigned char code);

}  // namespace kestrova
