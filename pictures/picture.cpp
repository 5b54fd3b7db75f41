#include "picture.h"

#include "cmyk_jpeg.h"

#include <QBuffer>
#include <QColorSpace>
#include <QDeadlineTimer>
#include <QByteArray>
#include <QImage>
#include <QImageIOHandler>
#include <QImageReader>
#include <QPainter>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <mutex>
#include <optional>
#include <utility>

#include "formats/file_read.h"
#include "http_fetch.h"
#include "qimage_bridge.h"
#include "metafile.h"
#include "metafile_helper.h"

namespace kestrova {

namespace {

constexpr int kMaxJpegScans = 64;
FetchLimits fetchLimits;
std::optional<QDeadlineTimer> loadDeadline;
constexpr int64_t kMaxPictureBytes = 64ll * 1024 * 1024;
constexpr int kMaxPixelsAllocationMB = static_cast<int>(kMaxPictureMemory >> 20);
std::mutex notesLock;
std::vector<std::string> notes;

void notePicture(const std::string& note) {
  const std::lock_guard<std::mutex> hold(notesLock);
  if (notes.size() < 64) notes.push_back(note);
}


// A picture with see-through pixels is drawn onto black, as the picture
// service draws it: half-transparent (200, 100, 50) becomes about
// (100, 50, 25), and fully clear pixels become black, which the texture's
// black-is-transparent rule then leaves out.
QImage onBlack(QImage image) {
  if (!image.hasAlphaChannel()) return image;
  QImage opaque(image.size(), QImage::Format_RGB32);
  opaque.fill(Qt::black);
  QPainter painter(&opaque);
  painter.drawImage(0, 0, image);
  painter.end();
  return opaque;
}

class RasterPicture : public Picture {
 public:
  explicit RasterPicture(QImage image) : image_(onBlack(std::move(image))) {
    himetricWidth_ = PixelsToHimetric(image_.width());
    himetricHeight_ = PixelsToHimetric(image_.height());
  }
  // A drawing played by the helper: its own frame, its pixels at that size;
  // clear parts go to black as any picture's do.
  RasterPicture(QImage image, int himetricWidth, int himetricHeight) : image_(onBlack(std::move(image))) {
    himetricWidth_ = himetricWidth;
    himetricHeight_ = himetricHeight;
  }
  RgbaImage render(int width, int height) const override {
    if (width == image_.width() && height == image_.height()) return FromQImage(image_);
    return FromQImage(image_.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
  }

 private:
  QImage image_;
};


// A drawing that stays sharp at any size (SVG, PDF): kept as its file, and
// drawn by the helper at each size asked; the size it was first drawn at
// is kept, so a face is drawn once.
class ScalablePicture : public Picture {
 public:
  ScalablePicture(MetafileRaster drawn, std::vector<uint8_t> bytes, int page)
      : bytes_(std::move(bytes)), page_(page), drawn_(std::move(drawn.pixels)) {
    himetricWidth_ = drawn.himetricWidth;
    himetricHeight_ = drawn.himetricHeight;
  }
  bool scalable() const override { return true; }
  RgbaImage render(int width, int height) const override {
    if (width == drawn_.width && height == drawn_.height) return FromQImage(onBlack(ToQImage(drawn_)));
    if (width <= kMaxDrawingSide && height <= kMaxDrawingSide) {
      MetafileRaster drawn = DrawMetafileApart(bytes_, page_, width, height);
      // Drawn on black like any picture with clear parts.
      if (drawn.error.empty()) return FromQImage(onBlack(ToQImage(drawn.pixels)));
    }
    return RasterPicture(ToQImage(drawn_)).render(width, height);
  }

 private:
  std::vector<uint8_t> bytes_;
  int page_ = 0;
  RgbaImage drawn_;
};

}  // namespace

void SetPictureFetchLimits(const FetchLimits& limits) { fetchLimits = limits; }

std::vector<std::string> TakePictureNotes() {
  const std::lock_guard<std::mutex> hold(notesLock);
  return std::exchange(notes, {});
}

bool IsWebPictureName(const std::string& name) {
  return name.find("http://") != std::string::npos || name.find("https://") != std::string::npos;
}

WebFetchDeadline::WebFetchDeadline() { loadDeadline = QDeadlineTimer(fetchLimits.loadDeadlineMs); }

WebFetchDeadline::~WebFetchDeadline() { loadDeadline.reset(); }

int LoadTimeLeftMs() {
  if (!loadDeadline) return -1;
  const qint64 left = loadDeadline->remainingTime();
  return left < 0 ? -1 : static_cast<int>(std::min<qint64>(left, 1 << 30));
}

int PixelsToHimetric(int pixels) {
  return static_cast<int>((static_cast<int64_t>(pixels) * 2540 + 48) / 96);
}

int HimetricToPixels(int himetric) {
  return static_cast<int>((static_cast<int64_t>(himetric) * 96 + 1270) / 2540);
}

// A JPEG's scans, counted from its markers without decoding. A progressive
// picture has about ten; a few hundred bytes can claim thousands of empty
// scans, each a full pass over the picture, and a minute of decoding.
int JpegScanCount(const std::vector<uint8_t>& bytes) {
  if (bytes.size() < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8) return 0;
  int scans = 0;
  size_t at = 2;
  while (at + 4 <= bytes.size()) {
    if (bytes[at] != 0xFF) return scans;
    const uint8_t marker = bytes[at + 1];
    if (marker == 0xD9) return scans;                          // end of image
    if (marker == 0xFF) { ++at; continue; }                    // fill byte
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) { at += 2; continue; }
    const size_t length = static_cast<size_t>(bytes[at + 2]) << 8 | bytes[at + 3];
    if (length < 2) return scans;
    at += 2 + length;
    if (marker != 0xDA) continue;
    ++scans;
    // The scan's coded data runs to the next marker other than a stuffed
    // zero or a restart.
    while (at + 1 < bytes.size() &&
           !(bytes[at] == 0xFF && bytes[at + 1] != 0x00 && !(bytes[at + 1] >= 0xD0 && bytes[at + 1] <= 0xD7))) {
      ++at;
    }
  }
  return scans;
}


int NearestPowerOfTwo(int pixels, int most) {
  if (pixels > most) return most;
  if (pixels < 1) return 1;
  const double exponent = std::floor(std::log2(static_cast<double>(pixels)) + 0.5);
  return std::min(most, 1 << static_cast<int>(exponent));
}

void FitDrawing(int himetricWidth, int himetricHeight, int side, int* width, int* height) {
  const double w = std::max(1, himetricWidth);
  const double h = std::max(1, himetricHeight);
  *width = NearestPowerOfTwo(static_cast<int>(std::lround(side * std::min(1.0, w / h))), side);
  *height = NearestPowerOfTwo(static_cast<int>(std::lround(side * std::min(1.0, h / w))), side);
}

PictureResult DecodePicture(const std::vector<uint8_t>& bytes, const std::string& name, int page, int fitSide) {
  PictureResult result;
  if (bytes.empty()) {
    result.error = name + " is empty.";
    return result;
  }
  // Drawings are played by the helper process, with its limits.
  if (IsWmf(bytes) || IsEmf(bytes) || IsSvg(bytes) || IsPdf(bytes) || IsPsd(bytes)) {
    MetafileRaster drawn = DrawMetafileApart(bytes, page, 0, 0, fitSide);
    if (!drawn.error.empty()) {
      result.error = name + ": " + drawn.error;
      return result;
    }
    if (drawn.scalable) {
      result.picture = std::make_unique<ScalablePicture>(std::move(drawn), bytes, page);
    } else {
      // A metafile or Photoshop file: its pixels at its own size, its own frame.
      result.picture =
          std::make_unique<RasterPicture>(ToQImage(drawn.pixels), drawn.himetricWidth, drawn.himetricHeight);
    }
    return result;
  }

  QuietTiffWarnings();
  const bool cmykJpeg = IsCmykJpeg(bytes);
  if (cmykJpeg || IsCmykTiff(bytes)) {
    // A print cover: its inks to screen colours through its own profile, or
    // a press profile, never by a naive formula.
    RgbaImage rgba;
    std::string why;
    std::string note;
    const bool decoded = cmykJpeg ? JpegScanCount(bytes) <= kMaxJpegScans && DecodeCmykJpeg(bytes, &rgba, &why, &note)
                                  : DecodeCmykTiff(bytes, &rgba, &why, &note);
    if (!decoded) {
      result.error = name + " could not be decoded: " + (why.empty() ? "too many scans" : why);
      return result;
    }
    if (!note.empty()) notePicture(name + ": " + note + ".");
    result.picture = std::make_unique<RasterPicture>(ToQImage(rgba));
    return result;
  }
  if (JpegScanCount(bytes) > kMaxJpegScans) {
    result.error = name + " is a JPEG of more than " + std::to_string(kMaxJpegScans) +
                   " scans; decoding it would take minutes.";
    return result;
  }
  QByteArray data(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  reader.setDecideFormatFromContent(true);
  // Set once: pictures are decoded on more than one thread, and this is
  // the readers' shared limit.
  static std::once_flag limitSet;
  std::call_once(limitSet, [] { QImageReader::setAllocationLimit(kMaxPixelsAllocationMB); });
  const QByteArray format = reader.format();
  static const char* const kFormats[] = {"jpeg", "jpg", "bmp", "gif", "ico", "png", "cur", "webp", "tiff", "tif"};
  bool supported = false;
  for (const char* known : kFormats) supported = supported || format == known;
  if (!supported) {
    result.error = name + " is not a picture Kestrova can read (JPEG, PNG, WebP, TIFF, Photoshop, BMP, GIF, ICO, SVG, PDF, WMF or EMF).";
    return result;
  }
  // A camera's photo stands as it was taken: EXIF orientation applied.
  reader.setAutoTransform(true);
  QImage image = reader.read();
  if (image.isNull()) {
    result.error = name + " could not be decoded: " + reader.errorString().toStdString();
    return result;
  }
  // A picture in another colour space (Adobe RGB, Display P3, ...) shows
  // its colours on an sRGB screen through LittleCMS.
  const QColorSpace space = image.colorSpace();
  if (space.isValid() && space != QColorSpace::SRgb && !space.iccProfile().isEmpty()) {
    const QByteArray icc = space.iccProfile();
    QImage converted = image.convertToFormat(QImage::Format_RGBA8888);
    if (ConvertRgbToSrgb({icc.begin(), icc.end()}, converted.bits(),
                         static_cast<size_t>(converted.width()) * static_cast<size_t>(converted.height()))) {
      converted.setColorSpace(QColorSpace::SRgb);
      image = std::move(converted);
    }
  }
  result.picture = std::make_unique<RasterPicture>(std::move(image));
  return result;
}

bool ReadPictureSize(const std::string& path, int* himetricWidth, int* himetricHeight) {
  QuietTiffWarnings();
  QImageReader reader(QString::fromStdString(path));
  reader.setDecideFormatFromContent(true);
  QSize size = reader.size();
  if (!size.isValid() || size.isEmpty()) return false;
  // Standing as it loads: a photo turned by its EXIF orientation.
  if (reader.transformation() & QImageIOHandler::TransformationRotate90) size.transpose();
  *himetricWidth = PixelsToHimetric(size.width());
  *himetricHeight = PixelsToHimetric(size.height());
  return true;
}

PictureResult LoadPicture(const std::string& path, int fitSide) {
  std::vector<uint8_t> bytes;
  if (IsWebPictureName(path)) {
    int timeoutMs = fetchLimits.timeoutMs;
    const int left = LoadTimeLeftMs();
    if (left == 0) return {nullptr, "no time was left to fetch " + path};
    if (left > 0 && left < timeoutMs) timeoutMs = left;
    const HttpResult answer = HttpGet(path, timeoutMs, fetchLimits.maxBytes);
    if (!answer.ok) return {nullptr, answer.error};
    bytes = answer.body;
  } else {
    // "cover.pdf#page=3": a page of a document, when no file has that name.
    std::string file = path;
    int page = 0;
    const size_t mark = path.rfind("#page=");
    if (mark != std::string::npos && mark + 6 < path.size() &&
        path.find_first_not_of("0123456789", mark + 6) == std::string::npos && path.size() - mark - 6 <= 5 &&
        !ReadRegularFile(path, kMaxPictureBytes, bytes, nullptr)) {
      file = path.substr(0, mark);
      page = std::max(0, std::atoi(path.c_str() + mark + 6) - 1);
    }
    std::string reason;
    if (bytes.empty() && !ReadRegularFile(file, kMaxPictureBytes, bytes, &reason)) {
      return {nullptr, "Cannot open " + file + ": " + reason + "."};
    }
    return DecodePicture(bytes, path, page, fitSide);
  }
  return DecodePicture(bytes, path, 0, fitSide);
}

}  // namespace kestrova
