// Metafiles played in this process, with libwmf and libemf2svg: only the
// metafile helper links this, so a fault in those libraries cannot take the
// program down, and the program does not load them at all.
#include <QByteArray>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QXmlStreamReader>
#include <poppler-qt6.h>
#include <Magick++.h>

#include <memory>
#include <mutex>
#include <stdexcept>

#include "cmyk_jpeg.h"
#include "metafile.h"
#include "picture.h"
#include "qimage_bridge.h"

namespace kestrova {

namespace {

// Metafiles are turned into SVG and drawn at the size asked for, so they stay
// sharp at any texture size.
class VectorPicture : public Picture {
 public:
  // `paper`: drawn on white, as a metafile is; an SVG keeps its transparency.
  VectorPicture(const QByteArray& svg, int himetricWidth, int himetricHeight, bool paper = true)
      : svg_(svg), paper_(paper) {
    himetricWidth_ = himetricWidth;
    himetricHeight_ = himetricHeight;
  }
  bool scalable() const override { return !paper_; }
  bool isValid() const {
    QSvgRenderer renderer(svg_);
    return renderer.isValid();
  }
  RgbaImage render(int width, int height) const override {
    QImage image(width, height, QImage::Format_RGBA8888);
    image.fill(paper_ ? Qt::white : Qt::transparent);  // a metafile draws on paper
    QSvgRenderer renderer(svg_);
    renderer.setAspectRatioMode(Qt::IgnoreAspectRatio);
    QPainter painter(&image);
    renderer.render(&painter, QRectF(0, 0, width, height));
    painter.end();
    return FromQImage(image);
  }

 private:
  QByteArray svg_;
  bool paper_ = true;
};

// A PDF's first page, on white paper, drawn by Poppler at whatever size is
// asked: print covers stay sharp.
class PdfPicture : public Picture {
 public:
  PdfPicture(std::unique_ptr<Poppler::Document> document, int page, QSizeF points)
      : document_(std::move(document)), page_(page) {
    // A point is 1/72 inch; HIMETRIC is 0.01 mm.
    himetricWidth_ = static_cast<int>(points.width() * 2540.0 / 72.0 + 0.5);
    himetricHeight_ = static_cast<int>(points.height() * 2540.0 / 72.0 + 0.5);
    points_ = points;
  }
  bool scalable() const override { return true; }
  RgbaImage render(int width, int height) const override {
    std::unique_ptr<Poppler::Page> page(document_->page(page_));
    if (!page) return {};
    QImage drawn = page->renderToImage(72.0 * width / points_.width(), 72.0 * height / points_.height(), 0, 0, width,
                                       height);
    if (drawn.isNull()) return {};
    if (drawn.size() != QSize(width, height)) drawn = drawn.scaled(width, height);
    return FromQImage(drawn);
  }

 private:
  std::unique_ptr<Poppler::Document> document_;
  int page_ = 0;
  QSizeF points_;
};

class WmfPicture : public Picture {
 public:
  WmfPicture(std::vector<uint8_t> bytes, int himetricWidth, int himetricHeight)
      : bytes_(std::move(bytes)) {
    himetricWidth_ = himetricWidth;
    himetricHeight_ = himetricHeight;
  }
  RgbaImage render(int width, int height) const override {
    std::vector<uint8_t> png;
    std::string ignored;
    if (!RenderWmf(bytes_, width, height, &png, &ignored)) return {};
    QImage drawn;
    drawn.loadFromData(png.data(), static_cast<int>(png.size()), "PNG");
    if (drawn.isNull()) return {};
    // A metafile draws on paper: what it leaves clear is white.
    QImage paper(drawn.size(), QImage::Format_RGBA8888);
    paper.fill(Qt::white);
    QPainter painter(&paper);
    painter.drawImage(0, 0, drawn);
    painter.end();
    return FromQImage(paper);
  }

 private:
  std::vector<uint8_t> bytes_;
};

// A Photoshop file's flattened composite, as ImageMagick reads it: the
// layers themselves are never decoded.
class PsdPicture : public Picture {
 public:
  explicit PsdPicture(QImage composite) : image_(std::move(composite)) {
    himetricWidth_ = PixelsToHimetric(image_.width());
    himetricHeight_ = PixelsToHimetric(image_.height());
  }
  RgbaImage render(int width, int height) const override {
    if (width == image_.width() && height == image_.height()) return FromQImage(image_);
    return FromQImage(image_.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
  }

 private:
  QImage image_;
};

uint32_t readBig32(const std::vector<uint8_t>& bytes, size_t at) {
  return static_cast<uint32_t>(bytes[at]) << 24 | static_cast<uint32_t>(bytes[at + 1]) << 16 |
         static_cast<uint32_t>(bytes[at + 2]) << 8 | bytes[at + 3];
}

uint64_t readBig64(const std::vector<uint8_t>& bytes, size_t at) {
  return static_cast<uint64_t>(readBig32(bytes, at)) << 32 | readBig32(bytes, at + 4);
}

// Whether the file holds its whole composite: its sections walked to the
// image data, and that data's length checked against what the header needs.
// A file still being saved is cut short, and ImageMagick would fill the
// missing rows rather than say so.
bool psdComplete(const std::vector<uint8_t>& bytes) {
  const bool large = bytes[5] == 2;
  const uint64_t channels = static_cast<uint64_t>(bytes[12]) << 8 | bytes[13];
  const uint64_t height = readBig32(bytes, 14);
  const uint64_t width = readBig32(bytes, 18);
  const uint64_t depth = static_cast<uint64_t>(bytes[22]) << 8 | bytes[23];
  uint64_t at = 26;
  for (int section = 0; section < 3; ++section) {
    const bool wide = large && section == 2;
    const uint64_t field = wide ? 8 : 4;
    if (at + field > bytes.size()) return false;
    const uint64_t length = wide ? readBig64(bytes, at) : readBig32(bytes, at);
    // A 64-bit length can run past the end, or wrap round to land before it.
    if (length > bytes.size() - at - field) return false;
    at += field + length;
  }
  if (at + 2 > bytes.size()) return false;
  const unsigned compression = static_cast<unsigned>(bytes[at]) << 8 | bytes[at + 1];
  at += 2;
  const uint64_t left = bytes.size() - at;
  const uint64_t rows = channels * height;
  if (compression == 0) return left >= rows * ((width * depth + 7) / 8);
  if (compression != 1) return true;  // zip: ImageMagick's own checks
  // Run-length rows: a table of each row's length, then the rows.
  const uint64_t entry = large ? 4 : 2;
  if (left < rows * entry) return false;
  uint64_t packed = 0;
  for (uint64_t row = 0; row < rows; ++row) {
    const size_t p = static_cast<size_t>(at + row * entry);
    packed += large ? readBig32(bytes, p) : (static_cast<uint64_t>(bytes[p]) << 8 | bytes[p + 1]);
  }
  return left - rows * entry >= packed;
}

// ImageMagick as the helper uses it: within the helper's own memory limit,
// never spilling to disk.
void startMagick() {
  static std::once_flag started;
  std::call_once(started, [] {
    Magick::InitializeMagick(nullptr);
    Magick::ResourceLimits::memory(512ull * 1024 * 1024);
    Magick::ResourceLimits::map(512ull * 1024 * 1024);
    Magick::ResourceLimits::disk(0);
    Magick::ResourceLimits::width(kMaxPsdSide);
    Magick::ResourceLimits::height(kMaxPsdSide);
    Magick::ResourceLimits::thread(1);
  });
}

PictureResult decodePsd(const std::vector<uint8_t>& bytes, const std::string& name) {
  PictureResult result;
  // The header's size is checked before ImageMagick sees the file: a few
  // bytes can claim a 60000-pixel square.
  const uint32_t height = bytes.size() >= 26 ? readBig32(bytes, 14) : 0;
  const uint32_t width = bytes.size() >= 26 ? readBig32(bytes, 18) : 0;
  if (width < 1 || height < 1) {
    result.error = name + ": the Photoshop file is damaged (no picture size).";
    return result;
  }
  startMagick();
  // The system's policy may hold ImageMagick to less than we ask (Debian's:
  // 16000 a side, 128 million pixels): the limit named is the one in force.
  const uint64_t side = std::min<uint64_t>(Magick::ResourceLimits::width(), Magick::ResourceLimits::height());
  const uint64_t area = Magick::ResourceLimits::area();
  if (width > side || height > side) {
    result.error = name + " is a Photoshop picture of " + std::to_string(width) + " x " + std::to_string(height) +
                   " pixels; Kestrova reads at most " + std::to_string(side) + " on a side.";
    return result;
  }
  if (area > 0 && uint64_t{width} * height > area) {
    result.error = name + " is a Photoshop picture of " + std::to_string(width) + " x " + std::to_string(height) +
                   " pixels; Kestrova reads at most " + std::to_string(area / 1000000) + " million pixels.";
    return result;
  }
  if (!psdComplete(bytes)) {
    result.error = name + ": the Photoshop file is cut short (still being saved?).";
    return result;
  }
  try {
    Magick::Image image;
    // Warnings (a file cut short, as one still being saved is) refuse it too.
    image.quiet(false);
    // The first image of a Photoshop file is its flattened composite.
    image.subImage(0);
    image.subRange(1);
    image.magick("PSD");
    image.read(Magick::Blob(bytes.data(), bytes.size()));
    if (image.colorSpace() == MagickCore::CMYKColorspace) {
      // A print cover's inks go through LittleCMS, as a CMYK JPEG's do,
      // not ImageMagick's naive formula.
      CmykPicture inks;
      inks.width = static_cast<int>(image.columns());
      inks.height = static_cast<int>(image.rows());
      inks.cmyk.resize(static_cast<size_t>(inks.width) * static_cast<size_t>(inks.height) * 4);
      image.write(0, 0, image.columns(), image.rows(), "CMYK", Magick::CharPixel, inks.cmyk.data());
      const Magick::Blob profile = image.iccColorProfile();
      const auto* from = static_cast<const uint8_t*>(profile.data());
      if (from && profile.length() > 0) inks.profile.assign(from, from + profile.length());
      RgbaImage rgba;
      std::string why;
      if (!CmykToSrgb(inks, &rgba, &why, nullptr)) throw std::runtime_error(why);
      result.picture = std::make_unique<PsdPicture>(ToQImage(rgba).copy());
      return result;
    }
    image.colorSpace(MagickCore::sRGBColorspace);
    QImage composite(static_cast<int>(image.columns()), static_cast<int>(image.rows()), QImage::Format_RGBA8888);
    if (composite.isNull()) throw std::runtime_error("too large");
    for (int y = 0; y < composite.height(); ++y) {
      image.write(0, y, image.columns(), 1, "RGBA", Magick::CharPixel, composite.scanLine(y));
    }
    result.picture = std::make_unique<PsdPicture>(std::move(composite));
  } catch (const std::exception& e) {
    result.error = name + ": the Photoshop file could not be read (" + std::string(e.what()).substr(0, 120) + ").";
  }
  return result;
}

// The first reference of an SVG to anything outside itself, or empty. Qt's
// renderer reads any picture an <image> names, so a client's drawing could
// copy a private picture (or stall on a pipe) into a published shot; only
// pictures held in the file (data:) and its own parts (#name) are drawn.
// Read with the same XML reader the renderer uses, entities expanded alike.
QString outsideReference(const QByteArray& svg) {
  QXmlStreamReader reader(svg);
  // Names as written: a prefix the file never declares ("xlink:href" with
  // no xmlns:xlink) is still a reference the renderer follows.
  reader.setNamespaceProcessing(false);
  while (!reader.atEnd()) {
    const QXmlStreamReader::TokenType token = reader.readNext();
    // A style sheet named outside the file is read by the renderer too.
    if (token == QXmlStreamReader::ProcessingInstruction &&
        reader.processingInstructionTarget().compare(QLatin1String("xml-stylesheet"), Qt::CaseInsensitive) == 0) {
      return QStringLiteral("the style sheet ") + reader.processingInstructionData().trimmed().toString();
    }
    if (token != QXmlStreamReader::StartElement) continue;
    for (const QXmlStreamAttribute& attribute : reader.attributes()) {
      const QStringView name = attribute.qualifiedName();
      if (name != QLatin1String("href") && !name.endsWith(QLatin1String(":href"))) continue;
      const QString target = attribute.value().trimmed().toString();
      if (target.isEmpty() || target.startsWith('#')) continue;
      // Pictures of pixels held in the file are drawn; a drawing held in
      // the file could name other files in turn.
      static const char* const kHeldPictures[] = {"data:image/png", "data:image/jpeg", "data:image/jpg",
                                                  "data:image/gif", "data:image/bmp", "data:image/webp"};
      bool held = false;
      for (const char* prefix : kHeldPictures) {
        const QString p = QLatin1String(prefix);
        held = held || (target.startsWith(p, Qt::CaseInsensitive) && target.size() > p.size() &&
                        (target[p.size()] == ';' || target[p.size()] == ','));
      }
      if (held) continue;
      return target;
    }
  }
  // What the reader cannot read, the renderer's own reading may take
  // differently: refused rather than guessed at.
  if (reader.hasError()) return QStringLiteral("(a drawing whose XML cannot be read: ") + reader.errorString() + ")";
  return {};
}

}  // namespace

PictureResult DecodeMetafileHere(const std::vector<uint8_t>& bytes, const std::string& name) {
  PictureResult result;
  if (IsWmf(bytes)) {
    MetafileSize size = WmfSize(bytes);
    if (!size.error.empty()) {
      result.error = name + ": " + size.error;
      return result;
    }
    result.picture = std::make_unique<WmfPicture>(bytes, size.himetricWidth, size.himetricHeight);
    return result;
  }
  if (IsEmf(bytes)) {
    MetafileSvg svg = EmfToSvg(bytes);
    if (!svg.error.empty()) {
      result.error = name + ": " + svg.error;
      return result;
    }
    auto picture = std::make_unique<VectorPicture>(
        QByteArray(svg.svg.data(), static_cast<qsizetype>(svg.svg.size())), svg.himetricWidth,
        svg.himetricHeight);
    if (!picture->isValid()) {
      result.error = name + ": the metafile could not be drawn.";
      return result;
    }
    result.picture = std::move(picture);
    return result;
  }
  if (IsPdf(bytes)) {
    const QByteArray data(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
    std::unique_ptr<Poppler::Document> document = Poppler::Document::loadFromData(data);
    if (!document || document->isLocked() || document->numPages() < 1) {
      result.error = name + ": the PDF could not be opened (damaged, locked or without pages).";
      return result;
    }
    document->setRenderHint(Poppler::Document::Antialiasing);
    document->setRenderHint(Poppler::Document::TextAntialiasing);
    const int wanted = DocumentPage();
    if (wanted >= document->numPages()) {
      result.error = name + " has " + std::to_string(document->numPages()) + " pages; there is no page " +
                     std::to_string(wanted + 1) + ".";
      return result;
    }
    std::unique_ptr<Poppler::Page> page(document->page(wanted));
    const QSizeF points = page ? page->pageSizeF() : QSizeF();
    if (!(points.width() > 0 && points.height() > 0)) {
      result.error = name + ": page " + std::to_string(wanted + 1) + " has no size.";
      return result;
    }
    result.picture = std::make_unique<PdfPicture>(std::move(document), wanted, points);
    return result;
  }
  if (IsPsd(bytes)) return decodePsd(bytes, name);
  if (IsSvg(bytes)) {
    const QByteArray svg(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
    const QString outside = outsideReference(svg);
    if (!outside.isEmpty()) {
      result.error = name + " refers to a picture outside itself (" + outside.left(80).toStdString() +
                     "); Kestrova draws only what an SVG holds: embed the picture in it as data.";
      return result;
    }
    const QSize size = QSvgRenderer(svg).defaultSize();
    if (!size.isValid() || size.isEmpty()) {
      result.error = name + ": the drawing could not be read, or has no size.";
      return result;
    }
    auto picture = std::make_unique<VectorPicture>(svg, PixelsToHimetric(size.width()),
                                                   PixelsToHimetric(size.height()), false);
    result.picture = std::move(picture);
    return result;
  }
  result.error = name + " is not a metafile.";
  return result;
}

}  // namespace kestrova
