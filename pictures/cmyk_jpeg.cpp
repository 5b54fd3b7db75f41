#include "cmyk_jpeg.h"

#include <lcms2.h>

#include <algorithm>
#include <csetjmp>
#include <cstdarg>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>

extern "C" {
#include <jpeglib.h>
}
#include <tiffio.h>

namespace kestrova {

namespace {

struct Failure {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void onError(j_common_ptr info) {
  auto* failure = reinterpret_cast<Failure*>(info->err);
  (*info->err->format_message)(info, failure->message);
  std::longjmp(failure->jump, 1);
}

// libjpeg reports errors by longjmp: nothing here needs a destructor
// between setjmp and the calls that may jump, beyond what `out` owns.
bool decode(const std::vector<uint8_t>& bytes, CmykPicture* out, std::string* error) {
  jpeg_decompress_struct info{};
  Failure failure{};
  info.err = jpeg_std_error(&failure.manager);
  failure.manager.error_exit = onError;
  if (setjmp(failure.jump)) {
    jpeg_destroy_decompress(&info);
    *error = failure.message;
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_save_markers(&info, JPEG_APP0 + 1, 0xFFFF);
  jpeg_save_markers(&info, JPEG_APP0 + 2, 0xFFFF);
  jpeg_read_header(&info, TRUE);
  // The size is checked before anything of the picture's is allocated: a
  // few hundred bytes can claim a 30000-pixel square.
  const std::string tooLarge = PictureTooLarge("it", info.image_width, info.image_height);
  if (!tooLarge.empty()) {
    jpeg_destroy_decompress(&info);
    *error = tooLarge.substr(3);
    return false;
  }
  JOCTET* profile = nullptr;
  unsigned int length = 0;
  if (jpeg_read_icc_profile(&info, &profile, &length) && profile) {
    out->profile.assign(profile, profile + length);
    std::free(profile);
  }
  for (jpeg_saved_marker_ptr marker = info.marker_list; marker; marker = marker->next) {
    if (marker->marker == JPEG_APP0 + 1 && marker->data_length > 6 &&
        std::memcmp(marker->data, "Exif\0\0", 6) == 0) {
      out->orientation = ExifOrientation(marker->data + 6, marker->data_length - 6);
      break;
    }
  }
  info.out_color_space = JCS_CMYK;
  jpeg_start_decompress(&info);
  out->width = static_cast<int>(info.output_width);
  out->height = static_cast<int>(info.output_height);
  out->inverted = info.saw_Adobe_marker;
  out->cmyk.resize(static_cast<size_t>(out->width) * static_cast<size_t>(out->height) * 4);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = out->cmyk.data() + static_cast<size_t>(info.output_scanline) * out->width * 4;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

// A TIFF in memory, for libtiff.
struct TiffSource {
  const std::vector<uint8_t>* bytes;
  toff_t at = 0;
};

tsize_t tiffRead(thandle_t handle, tdata_t buffer, tsize_t size) {
  auto* source = static_cast<TiffSource*>(handle);
  const toff_t total = source->bytes->size();
  if (source->at >= total || size <= 0) return 0;
  const tsize_t n = static_cast<tsize_t>(std::min<toff_t>(static_cast<toff_t>(size), total - source->at));
  std::memcpy(buffer, source->bytes->data() + source->at, static_cast<size_t>(n));
  source->at += static_cast<toff_t>(n);
  return n;
}
tsize_t tiffWrite(thandle_t, tdata_t, tsize_t) { return 0; }
toff_t tiffSeek(thandle_t handle, toff_t offset, int whence) {
  auto* source = static_cast<TiffSource*>(handle);
  const toff_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? source->at : source->bytes->size();
  source->at = base + offset;
  return source->at;
}
int tiffClose(thandle_t) { return 0; }
toff_t tiffSize(thandle_t handle) { return static_cast<TiffSource*>(handle)->bytes->size(); }
int tiffMap(thandle_t, tdata_t*, toff_t*) { return 0; }
void tiffUnmap(thandle_t, tdata_t, toff_t) {}
// Hostile files make libtiff talk: it is kept quiet, the error said once.
int tiffQuiet(TIFF*, void* said, const char*, const char* format, va_list arguments) {
  if (said) {
    char line[256];
    std::vsnprintf(line, sizeof line, format, arguments);
    auto* message = static_cast<std::string*>(said);
    if (message->empty()) *message = line;
  }
  return 1;
}

struct TiffFile {
  TiffSource source;
  std::string said;
  TIFF* tiff = nullptr;
  explicit TiffFile(const std::vector<uint8_t>& bytes) : source{&bytes} {
    if (bytes.size() < 8 || !((bytes[0] == 'I' && bytes[1] == 'I') || (bytes[0] == 'M' && bytes[1] == 'M'))) return;
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, tiffQuiet, &said);
    TIFFOpenOptionsSetWarningHandlerExtR(options, tiffQuiet, nullptr);
    tiff = TIFFClientOpenExt("picture", "rm", &source, tiffRead, tiffWrite, tiffSeek, tiffClose, tiffSize, tiffMap,
                             tiffUnmap, options);
    TIFFOpenOptionsFree(options);
  }
  ~TiffFile() {
    if (tiff) TIFFClose(tiff);
  }
  TiffFile(const TiffFile&) = delete;
  TiffFile& operator=(const TiffFile&) = delete;
  bool cmyk() const {
    if (!tiff) return false;
    uint16_t photometric = 0, samples = 0, bits = 0, planar = PLANARCONFIG_CONTIG, inks = INKSET_CMYK;
    TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_INKSET, &inks);
    return photometric == PHOTOMETRIC_SEPARATED && samples == 4 && bits == 8 && planar == PLANARCONFIG_CONTIG &&
           inks == INKSET_CMYK && !TIFFIsTiled(tiff);
  }
};

}  // namespace

bool IsCmykJpeg(const std::vector<uint8_t>& bytes) {
  if (bytes.size() < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8) return false;
  size_t at = 2;
  while (at + 9 < bytes.size()) {
    if (bytes[at] != 0xFF) return false;
    const uint8_t marker = bytes[at + 1];
    if (marker == 0xFF) {
      ++at;
      continue;
    }
    const size_t length = static_cast<size_t>(bytes[at + 2]) << 8 | bytes[at + 3];
    // A start of frame (C0-CF but C4, C8, CC): its component count.
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
      return bytes[at + 9] == 4;
    }
    if (marker == 0xDA || length < 2) return false;
    at += 2 + length;
  }
  return false;
}

bool ConvertRgbToSrgb(const std::vector<uint8_t>& profile, uint8_t* rgba, size_t pixels) {
  cmsHPROFILE input = cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size()));
  if (!input) return false;
  if (cmsGetColorSpace(input) != cmsSigRgbData) {
    cmsCloseProfile(input);
    return false;
  }
  cmsHPROFILE srgb = cmsCreate_sRGBProfile();
  cmsHTRANSFORM transform =
      cmsCreateTransform(input, TYPE_RGBA_8, srgb, TYPE_RGBA_8, INTENT_PERCEPTUAL, cmsFLAGS_COPY_ALPHA);
  cmsCloseProfile(input);
  cmsCloseProfile(srgb);
  if (!transform) return false;
  cmsDoTransform(transform, rgba, rgba, static_cast<cmsUInt32Number>(pixels));
  cmsDeleteTransform(transform);
  return true;
}

std::string PictureTooLarge(const std::string& name, uint64_t width, uint64_t height) {
  if (width * height * 4 <= kMaxPictureMemory) return {};
  return name + " is a picture of " + std::to_string(width) + " x " + std::to_string(height) +
         " pixels, more than the " + std::to_string(kMaxPictureMemory >> 20) +
         " MB of pixels Kestrova reads (about 8192 x 8192)";
}

// Whether a TIFF's first directory says its pixels are inks (photometric
// 5), read by hand: most TIFFs are RGB, and libtiff would be opened on them
// twice, its complaints about a damaged file said twice.
bool saysInks(const std::vector<uint8_t>& bytes) {
  if (bytes.size() < 8) return false;
  const bool little = bytes[0] == 'I' && bytes[1] == 'I';
  if (!little && !(bytes[0] == 'M' && bytes[1] == 'M')) return false;
  auto read16 = [&](size_t at) -> uint32_t {
    return little ? bytes[at] | bytes[at + 1] << 8 : bytes[at] << 8 | bytes[at + 1];
  };
  auto read32 = [&](size_t at) -> uint32_t {
    return little ? read16(at) | read16(at + 2) << 16 : read16(at) << 16 | read16(at + 2);
  };
  if (read16(2) != 42) return false;
  const size_t directory = read32(4);
  if (directory > bytes.size() || bytes.size() - directory < 2) return false;
  const uint32_t entries = read16(directory);
  for (uint32_t i = 0; i < entries; ++i) {
    const size_t at = directory + 2 + static_cast<size_t>(i) * 12;
    if (at + 12 > bytes.size()) return false;
    if (read16(at) == 262) return read16(at + 2) == 3 && read16(at + 8) == 5;
  }
  return false;
}

bool IsCmykTiff(const std::vector<uint8_t>& bytes) { return saysInks(bytes) && TiffFile(bytes).cmyk(); }

void QuietTiffWarnings() {
  // libtiff's default handler writes every oddity of a file to the
  // terminal, Qt's TIFF reader's included; what fails is said as an error.
  static std::once_flag quiet;
  std::call_once(quiet, [] { TIFFSetWarningHandler(nullptr); });
}

bool CmykToSrgb(const CmykPicture& picture, RgbaImage* image, std::string* error, std::string* note) {
  cmsHPROFILE input = nullptr;
  if (!picture.profile.empty()) {
    input = cmsOpenProfileFromMem(picture.profile.data(), static_cast<cmsUInt32Number>(picture.profile.size()));
    if (input && cmsGetColorSpace(input) != cmsSigCmykData) {
      cmsCloseProfile(input);
      input = nullptr;
    }
  }
  cmsHPROFILE srgb = cmsCreate_sRGBProfile();
  // Adobe's inverted CMYK reads with the reversed layout, as LittleCMS's own
  // tools do.
  const cmsUInt32Number layout = picture.inverted ? TYPE_CMYK_8_REV : TYPE_CMYK_8;
  cmsHTRANSFORM transform = nullptr;
  if (input) {
    transform = cmsCreateTransform(input, layout, srgb, TYPE_RGBA_8, INTENT_PERCEPTUAL, 0);
    cmsCloseProfile(input);
  }
  if (!transform) {
    if (!picture.profile.empty() && note) {
      *note = "its own colour profile could not be used; its inks were read with the press profile";
    }
    input = cmsOpenProfileFromFile(kPressProfile, "r");
    if (!input) {
      cmsCloseProfile(srgb);
      *error = std::string("the press profile ") + kPressProfile + " is missing (Debian's libgs-common)";
      return false;
    }
    transform = cmsCreateTransform(input, layout, srgb, TYPE_RGBA_8, INTENT_PERCEPTUAL, 0);
    cmsCloseProfile(input);
  }
  cmsCloseProfile(srgb);
  if (!transform) {
    *error = "its colour profile could not be used";
    return false;
  }
  RgbaImage stored;
  stored.width = picture.width;
  stored.height = picture.height;
  stored.pixels.assign(picture.cmyk.size(), 255);  // alpha stays opaque
  cmsDoTransform(transform, picture.cmyk.data(), stored.pixels.data(),
                 static_cast<cmsUInt32Number>(picture.width) * static_cast<cmsUInt32Number>(picture.height));
  cmsDeleteTransform(transform);
  *image = picture.orientation == 1 ? std::move(stored) : Oriented(stored, picture.orientation);
  return true;
}

bool DecodeCmykJpeg(const std::vector<uint8_t>& bytes, RgbaImage* image, std::string* error, std::string* note) {
  CmykPicture decoded;
  if (!decode(bytes, &decoded, error)) return false;
  return CmykToSrgb(decoded, image, error, note);
}

bool DecodeCmykTiff(const std::vector<uint8_t>& bytes, RgbaImage* image, std::string* error, std::string* note) {
  TiffFile file(bytes);
  if (!file.cmyk()) {
    *error = file.said.empty() ? "it is not a CMYK TIFF" : file.said;
    return false;
  }
  uint32_t width = 0, height = 0;
  TIFFGetField(file.tiff, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(file.tiff, TIFFTAG_IMAGELENGTH, &height);
  if (width < 1 || height < 1) {
    *error = "it has no picture size";
    return false;
  }
  const std::string tooLarge = PictureTooLarge("it", width, height);
  if (!tooLarge.empty()) {
    *error = tooLarge.substr(3);
    return false;
  }
  if (TIFFScanlineSize64(file.tiff) != static_cast<tmsize_t>(width) * 4) {
    *error = "its rows are not the size its header gives";
    return false;
  }
  CmykPicture picture;
  picture.width = static_cast<int>(width);
  picture.height = static_cast<int>(height);
  uint32_t profileSize = 0;
  void* profile = nullptr;
  if (TIFFGetField(file.tiff, TIFFTAG_ICCPROFILE, &profileSize, &profile) && profile && profileSize > 0) {
    const auto* from = static_cast<const uint8_t*>(profile);
    picture.profile.assign(from, from + profileSize);
  }
  uint16_t orientation = ORIENTATION_TOPLEFT;
  TIFFGetFieldDefaulted(file.tiff, TIFFTAG_ORIENTATION, &orientation);
  picture.orientation = orientation >= 1 && orientation <= 8 ? orientation : 1;
  picture.cmyk.resize(static_cast<size_t>(width) * height * 4);
  for (uint32_t row = 0; row < height; ++row) {
    if (TIFFReadScanline(file.tiff, picture.cmyk.data() + static_cast<size_t>(row) * width * 4, row) < 0) {
      *error = file.said.empty() ? "it is damaged (row " + std::to_string(row) + ")" : file.said;
      return false;
    }
  }
  return CmykToSrgb(picture, image, error, note);
}

int ExifOrientation(const uint8_t* exif, size_t size) {
  if (size < 8) return 1;
  const bool little = exif[0] == 'I' && exif[1] == 'I';
  if (!little && !(exif[0] == 'M' && exif[1] == 'M')) return 1;
  auto read16 = [&](size_t at) -> uint32_t {
    return little ? exif[at] | exif[at + 1] << 8 : exif[at] << 8 | exif[at + 1];
  };
  auto read32 = [&](size_t at) -> uint32_t {
    return little ? read16(at) | read16(at + 2) << 16 : read16(at) << 16 | read16(at + 2);
  };
  const uint32_t directory = read32(4);
  if (directory > size || size - directory < 2) return 1;
  const uint32_t entries = read16(directory);
  for (uint32_t i = 0; i < entries; ++i) {
    const size_t at = directory + 2 + static_cast<size_t>(i) * 12;
    if (at + 12 > size) return 1;
    if (read16(at) != 0x0112) continue;
    const uint32_t value = read16(at + 8);  // a SHORT, in the value field itself
    return read16(at + 2) == 3 && value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
  }
  return 1;
}

RgbaImage Oriented(const RgbaImage& stored, int orientation) {
  const int w = stored.width;
  const int h = stored.height;
  const bool across = orientation >= 5 && orientation <= 8;
  RgbaImage shown;
  shown.width = across ? h : w;
  shown.height = across ? w : h;
  shown.pixels.resize(stored.pixels.size());
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      // Where EXIF's orientation puts the stored pixel's row 0 and column 0.
      int tx = x, ty = y;
      switch (orientation) {
        case 2: tx = w - 1 - x; break;
        case 3: tx = w - 1 - x; ty = h - 1 - y; break;
        case 4: ty = h - 1 - y; break;
        case 5: tx = y; ty = x; break;
        case 6: tx = h - 1 - y; ty = x; break;
        case 7: tx = h - 1 - y; ty = w - 1 - x; break;
        case 8: tx = y; ty = w - 1 - x; break;
        default: break;
      }
      std::memcpy(&shown.pixels[(static_cast<size_t>(ty) * shown.width + tx) * 4],
                  &stored.pixels[(static_cast<size_t>(y) * w + x) * 4], 4);
    }
  }
  return shown;
}

}  // namespace kestrova
