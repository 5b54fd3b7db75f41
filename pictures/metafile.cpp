#include "metafile.h"
#include "metafile_bytes.h"

#include <filesystem>

#include <cstdlib>
#include <cstring>

extern "C" {
#include <emf2svg.h>
#include <libwmf/api.h>
#include <libwmf/gd.h>
}

namespace kestrova {

namespace {

uint32_t read32(const std::vector<uint8_t>& bytes, size_t at) { return MetafileRead32(bytes, at); }
uint16_t read16(const std::vector<uint8_t>& bytes, size_t at) { return MetafileRead16(bytes, at); }
int32_t readSigned32(const std::vector<uint8_t>& bytes, size_t at) { return static_cast<int32_t>(read32(bytes, at)); }
int16_t readSigned16(const std::vector<uint8_t>& bytes, size_t at) { return static_cast<int16_t>(read16(bytes, at)); }

}  // namespace

namespace {

constexpr const char* kNoFonts =
    "WMF pictures cannot be drawn: the URW base fonts libwmf draws with (Debian package fonts-urw-base35) "
    "are not installed.";

bool fontsMissing() {
  std::error_code ignored;
  return !std::filesystem::is_directory("/usr/share/fonts/type1/urw-base35", ignored);
}

// One libwmf player over a copy of the bytes (libwmf wants them mutable).
class WmfPlayer {
 public:
  explicit WmfPlayer(const std::vector<uint8_t>& bytes) : bytes_(bytes) {
    wmfAPI_Options options;
    std::memset(&options, 0, sizeof options);
    options.function = wmf_gd_function;
    const unsigned long flags =
        WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
    if (wmf_api_create(&api_, flags, &options) != wmf_E_None) {
      error_ = fontsMissing() ? kNoFonts : "the WMF reader could not start.";
      return;
    }
    if (wmf_mem_open(api_, bytes_.data(), static_cast<long>(bytes_.size())) != wmf_E_None ||
        wmf_scan(api_, 0, &box_) != wmf_E_None) {
      // libwmf cannot play any metafile without its fonts: say so rather
      // than blame the file.
      error_ = fontsMissing() ? kNoFonts : "the WMF file is damaged or not a metafile.";
      return;
    }
    opened_ = true;
  }
  ~WmfPlayer() {
    if (!api_) return;
    if (opened_) wmf_mem_close(api_);
    wmf_api_destroy(api_);  // frees everything libwmf allocated, the image too
  }
  WmfPlayer(const WmfPlayer&) = delete;
  WmfPlayer& operator=(const WmfPlayer&) = delete;

  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  wmfAPI* api() { return api_; }
  wmfD_Rect& box() { return box_; }

 private:
  std::vector<uint8_t> bytes_;
  wmfAPI* api_ = nullptr;
  wmfD_Rect box_{};
  bool opened_ = false;
  std::string error_;
};

}  // namespace

MetafileSize WmfSize(const std::vector<uint8_t>& bytes) {
  MetafileSize result;
  WmfPlayer player(bytes);
  if (!player.ok()) {
    result.error = player.error();
    return result;
  }
  if (read32(bytes, 0) == kPlaceableKey) {
    // The placeable header gives the picture's size in its own units per inch.
    const int width = std::abs(readSigned16(bytes, 10) - readSigned16(bytes, 6));
    const int height = std::abs(readSigned16(bytes, 12) - readSigned16(bytes, 8));
    const int perInch = read16(bytes, 14);
    if (perInch > 0) {
      result.himetricWidth = static_cast<int>(static_cast<int64_t>(width) * 2540 / perInch);
      result.himetricHeight = static_cast<int>(static_cast<int64_t>(height) * 2540 / perInch);
    }
  }
  if (result.himetricWidth <= 0 || result.himetricHeight <= 0) {
    unsigned int pixelWidth = 0;
    unsigned int pixelHeight = 0;
    wmf_display_size(player.api(), &pixelWidth, &pixelHeight, 96, 96);
    result.himetricWidth = static_cast<int>((static_cast<int64_t>(pixelWidth) * 2540 + 48) / 96);
    result.himetricHeight = static_cast<int>((static_cast<int64_t>(pixelHeight) * 2540 + 48) / 96);
  }
  if (result.himetricWidth <= 0 || result.himetricHeight <= 0 ||
      result.himetricWidth > 10000000 || result.himetricHeight > 10000000) {
    result.error = "the WMF file has no usable size.";
  }
  return result;
}

namespace {

// libwmf hands the PNG it draws over in pieces.
int collectPng(void* context, char* buffer, int length) {
  auto* png = static_cast<std::vector<uint8_t>*>(context);
  png->insert(png->end(), buffer, buffer + length);
  return length;
}

}  // namespace

bool RenderWmf(const std::vector<uint8_t>& bytes, int width, int height, std::vector<uint8_t>* png,
               std::string* error) {
  WmfPlayer player(bytes);
  if (!player.ok()) {
    if (error) *error = player.error();
    return false;
  }
  // A PNG in memory, not the bare gd image: libwmf frees its own image then.
  wmf_gd_t* target = WMF_GD_GetData(player.api());
  if (!(target->flags & WMF_GD_SUPPORTS_PNG)) {
    if (error) *error = "this WMF reader cannot draw pictures.";
    return false;
  }
  target->type = wmf_gd_png;
  target->flags |= WMF_GD_OUTPUT_MEMORY | WMF_GD_OWN_BUFFER;
  target->sink.context = png;
  target->sink.function = collectPng;
  target->bbox = player.box();
  target->width = static_cast<unsigned int>(width);
  target->height = static_cast<unsigned int>(height);
  png->clear();
  if (wmf_play(player.api(), 0, &player.box()) != wmf_E_None || png->empty()) {
    if (error) *error = "the WMF file could not be drawn.";
    return false;
  }
  return true;
}

MetafileSvg EmfToSvg(const std::vector<uint8_t>& bytes) {
  MetafileSvg result;
  // rclFrame, inclusive, in 0.01 mm: exactly HIMETRIC.
  const int32_t left = readSigned32(bytes, 24);
  const int32_t top = readSigned32(bytes, 28);
  const int32_t right = readSigned32(bytes, 32);
  const int32_t bottom = readSigned32(bytes, 36);
  const int64_t width = static_cast<int64_t>(right) - left;
  const int64_t height = static_cast<int64_t>(bottom) - top;
  if (width <= 0 || height <= 0 || width > 10000000 || height > 10000000) {
    result.error = "the EMF file has no usable frame.";
    return result;
  }
  result.himetricWidth = static_cast<int>(width);
  result.himetricHeight = static_cast<int>(height);
  if (read32(bytes, 4) > bytes.size()) {
    result.error = "the EMF file is truncated.";
    return result;
  }

  generatorOptions options;
  std::memset(&options, 0, sizeof options);
  options.nameSpace = const_cast<char*>("svg");
  options.svgDelimiter = true;
  options.emfplus = true;
  options.imgWidth = static_cast<double>(width) * 96.0 / 2540.0;
  options.imgHeight = static_cast<double>(height) * 96.0 / 2540.0;
  std::vector<char> copy(bytes.begin(), bytes.end());
  char* out = nullptr;
  size_t length = 0;
  const int ok = emf2svg(copy.data(), copy.size(), &out, &length, &options);
  if (ok && out && length > 0) {
    result.svg.assign(out, length);
  } else {
    result.error = "the EMF file is damaged or could not be drawn.";
  }
  std::free(out);
  return result;
}

}  // namespace kestrova
