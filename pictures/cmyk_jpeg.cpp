#include "cmyk_jpeg.h"

#include <lcms2.h>

#include <csetjmp>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>

extern "C" {
#include <jpeglib.h>
}

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

struct Decoded {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> cmyk;
  std::vector<uint8_t> profile;
  bool inverted = false;  // Adobe's: 0 is full ink
};

// libjpeg reports errors by longjmp: nothing here needs a destructor
// between setjmp and the calls that may jump, beyond what `out` owns.
bool decode(const std::vector<uint8_t>& bytes, Decoded* out, std::string* error) {
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
  jpeg_save_markers(&info, JPEG_APP0 + 2, 0xFFFF);
  jpeg_read_header(&info, TRUE);
  JOCTET* profile = nullptr;
  unsigned int length = 0;
  if (jpeg_read_icc_profile(&info, &profile, &length) && profile) {
    out->profile.assign(profile, profile + length);
    std::free(profile);
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

bool DecodeCmykJpeg(const std::vector<uint8_t>& bytes, RgbaImage* image, std::string* error) {
  Decoded decoded;
  if (!decode(bytes, &decoded, error)) return false;
  cmsHPROFILE input = nullptr;
  if (!decoded.profile.empty()) {
    input = cmsOpenProfileFromMem(decoded.profile.data(), static_cast<cmsUInt32Number>(decoded.profile.size()));
    if (input && cmsGetColorSpace(input) != cmsSigCmykData) {
      cmsCloseProfile(input);
      input = nullptr;
    }
  }
  if (!input) input = cmsOpenProfileFromFile(kPressProfile, "r");
  if (!input) {
    *error = std::string("the press profile ") + kPressProfile + " is missing (Debian's libgs-common)";
    return false;
  }
  cmsHPROFILE srgb = cmsCreate_sRGBProfile();
  // Adobe's inverted CMYK reads with the reversed layout, as LittleCMS's own
  // tools do.
  cmsHTRANSFORM transform = cmsCreateTransform(input, decoded.inverted ? TYPE_CMYK_8_REV : TYPE_CMYK_8, srgb,
                                               TYPE_RGBA_8, INTENT_PERCEPTUAL, 0);
  cmsCloseProfile(input);
  cmsCloseProfile(srgb);
  if (!transform) {
    *error = "its colour profile could not be used";
    return false;
  }
  image->width = decoded.width;
  image->height = decoded.height;
  image->pixels.assign(decoded.cmyk.size(), 255);  // alpha stays opaque
  cmsDoTransform(transform, decoded.cmyk.data(), image->pixels.data(),
                 static_cast<cmsUInt32Number>(decoded.width) * static_cast<cmsUInt32Number>(decoded.height));
  cmsDeleteTransform(transform);
  return true;
}

}  // namespace kestrova
