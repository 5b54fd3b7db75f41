// Draws the default artwork into a program folder: the six box faces, the
// book covers and page edges, the mug wrap and the mug's environment map.
// Everything a new user sees first comes from here, not from shipped files.
//
// The box's front, spine (left) and top share one design: the background is a
// function of height shared by front and spine, the top takes the front's top
// colour, and the amber band crosses from the front onto the spine at the
// same height, so the faces meet without seams.
#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>

namespace {

// Palette of the default box.
const QColor kNavyBottom(12, 22, 52);
const QColor kNavyTop(36, 62, 128);
const QColor kAmber(247, 168, 38);
const QColor kTeal(46, 196, 182);
const QColor kInk(20, 24, 32);

// Box face sizes in pixels, proportional to the drawn faces (front 45.76 x
// 58.08 units, depth 6.16 units), at 96 pixels per inch.
constexpr int kFrontW = 800;
constexpr int kFrontH = 1016;
constexpr int kDepth = 108;

// Band of the front's left edge, as fractions of the height from the bottom.
constexpr double kBandLow = 0.20;
constexpr double kBandHigh = 0.255;
// Its rise across the front (same units).
constexpr double kBandRise = 0.10;

QString sansFamily = "DejaVu Sans";
QString serifFamily = "DejaVu Serif";

void loadFonts() {
  const char* const files[] = {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf", "DejaVuSerif.ttf",
                               "DejaVuSerif-Bold.ttf", "DejaVuSerif-Italic.ttf",
                               "DejaVuSansCondensed-Bold.ttf"};
  for (const char* file : files) {
    QFontDatabase::addApplicationFont(QString("/usr/share/fonts/truetype/dejavu/") + file);
  }
}

QFont font(const QString& family, double pixelSize, int weight = QFont::Normal,
           bool italic = false, double spacing = 0) {
  QFont f(family);
  f.setPixelSize(static_cast<int>(pixelSize));
  f.setWeight(static_cast<QFont::Weight>(weight));
  f.setItalic(italic);
  f.setHintingPreference(QFont::PreferNoHinting);
  if (spacing != 0) f.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
  return f;
}

QColor mix(const QColor& a, const QColor& b, double t) {
  return QColor::fromRgbF(static_cast<float>(a.redF() + (b.redF() - a.redF()) * t),
                          static_cast<float>(a.greenF() + (b.greenF() - a.greenF()) * t),
                          static_cast<float>(a.blueF() + (b.blueF() - a.blueF()) * t));
}

// The shared background: colour at height fraction v (0 bottom, 1 top).
QColor boxBackground(double v) { return mix(kNavyBottom, kNavyTop, v * v); }

void fillBoxBackground(QPainter& p, int w, int h) {
  QLinearGradient g(0, h, 0, 0);
  for (int i = 0; i <= 16; ++i) {
    const double v = i / 16.0;
    g.setColorAt(v, boxBackground(v));
  }
  p.fillRect(0, 0, w, h, g);
}

// y in pixels of height fraction v on a face h pixels tall.
double yOf(double v, int h) { return h * (1.0 - v); }

// The emblem: an isometric cube with amber, teal and white faces.
void drawCube(QPainter& p, QPointF centre, double size) {
  const double s = size / 2;
  const double c = 0.866 * s;
  const QPointF top(centre.x(), centre.y() - s);
  const QPointF left(centre.x() - c, centre.y() - s / 2);
  const QPointF right(centre.x() + c, centre.y() - s / 2);
  const QPointF middle(centre.x(), centre.y());
  const QPointF bottomLeft(centre.x() - c, centre.y() + s / 2);
  const QPointF bottomRight(centre.x() + c, centre.y() + s / 2);
  const QPointF bottom(centre.x(), centre.y() + s);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 255, 255));
  p.drawPolygon(QPolygonF({top, right, middle, left}));
  p.setBrush(kAmber);
  p.drawPolygon(QPolygonF({left, middle, bottom, bottomLeft}));
  p.setBrush(kTeal);
  p.drawPolygon(QPolygonF({middle, right, bottomRight, bottom}));
}

void drawCentredText(QPainter& p, const QRectF& box, const QString& text, const QFont& f,
                     const QColor& colour, int flags = Qt::AlignCenter) {
  p.setFont(f);
  p.setPen(colour);
  p.drawText(box, flags, text);
}

bool save(const QImage& image, const QString& path, const char* format, int quality = 92) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  if (!image.save(path, format, quality)) {
    std::fprintf(stderr, "make-artwork: cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

QImage canvas(int w, int h) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(Qt::white);
  return image;
}

void setUp(QPainter& p) {
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
}

// --- The box ---------------------------------------------------------------

QImage boxFront() {
  QImage image = canvas(kFrontW, kFrontH);
  QPainter p(&image);
  setUp(p);
  const int w = kFrontW;
  const int h = kFrontH;
  fillBoxBackground(p, w, h);

  // Soft light behind the emblem.
  QRadialGradient glow(QPointF(w * 0.5, h * 0.40), w * 0.55);
  glow.setColorAt(0, QColor(90, 140, 230, 110));
  glow.setColorAt(1, QColor(90, 140, 230, 0));
  p.fillRect(0, 0, w, h, glow);

  // The amber band rising from the left edge (where it meets the spine) to
  // the right, with a teal hairline above it.
  QPainterPath band;
  band.moveTo(0, yOf(kBandLow, h));
  band.lineTo(w, yOf(kBandLow + kBandRise, h));
  band.lineTo(w, yOf(kBandHigh + kBandRise, h));
  band.lineTo(0, yOf(kBandHigh, h));
  band.closeSubpath();
  p.fillPath(band, kAmber);
  QPainterPath hair;
  hair.moveTo(0, yOf(kBandHigh + 0.02, h));
  hair.lineTo(w, yOf(kBandHigh + 0.02 + kBandRise, h));
  hair.lineTo(w, yOf(kBandHigh + 0.028 + kBandRise, h));
  hair.lineTo(0, yOf(kBandHigh + 0.028, h));
  hair.closeSubpath();
  p.fillPath(hair, kTeal);

  // A teal rule along the top edge; it carries on over the top face.
  p.fillRect(QRectF(0, 0, w, h * 0.012), kTeal);

  drawCube(p, QPointF(w * 0.5, h * 0.215), w * 0.25);
  drawCentredText(p, QRectF(0, h * 0.33, w, h * 0.13), "Kestrova",
                  font(sansFamily, h * 0.105, QFont::Bold), Qt::white);
  drawCentredText(p, QRectF(0, h * 0.455, w, h * 0.05), "PRODUCT SHOT STUDIO",
                  font(sansFamily, h * 0.028, QFont::Bold, false, 7), QColor(190, 210, 255));
  drawCentredText(p, QRectF(w * 0.1, h * 0.50, w * 0.8, h * 0.08),
                  "Flat artwork in.\nThree-dimensional product shots out.",
                  font(serifFamily, h * 0.026, QFont::Normal, true), QColor(235, 240, 255));

  // "for Linux" pill and the version, low on the face below the band.
  const QRectF pill(w * 0.08, h * 0.86, w * 0.30, h * 0.055);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 255, 255, 235));
  p.drawRoundedRect(pill, pill.height() / 2, pill.height() / 2);
  drawCentredText(p, pill, "for Linux", font(sansFamily, h * 0.026, QFont::Bold), kNavyBottom);
  drawCentredText(p, QRectF(w * 0.55, h * 0.86, w * 0.37, h * 0.055), "Version 1.0",
                  font(sansFamily, h * 0.026, QFont::Bold), Qt::white,
                  Qt::AlignRight | Qt::AlignVCenter);
  return image;
}

QImage boxSpine(bool left) {
  // The left face is the spine. Its right edge meets the front's left edge;
  // the right face's left edge meets the front's right edge.
  QImage image = canvas(kDepth, kFrontH);
  QPainter p(&image);
  setUp(p);
  const int w = kDepth;
  const int h = kFrontH;
  fillBoxBackground(p, w, h);
  if (left) {
    p.fillRect(QRectF(0, yOf(kBandHigh, h), w, yOf(kBandLow, h) - yOf(kBandHigh, h)), kAmber);
    p.fillRect(QRectF(0, yOf(kBandHigh + 0.028, h), w, h * 0.008), kTeal);
  } else {
    const double low = kBandLow + kBandRise;
    const double high = kBandHigh + kBandRise;
    p.fillRect(QRectF(0, yOf(high, h), w, yOf(low, h) - yOf(high, h)), kAmber);
    p.fillRect(QRectF(0, yOf(high + 0.028, h), w, h * 0.008), kTeal);
  }
  p.fillRect(QRectF(0, 0, w, h * 0.012), kTeal);
  drawCube(p, QPointF(w * 0.5, h * 0.075), w * 0.55);

  // The name runs top to bottom, as on a shelf.
  p.save();
  p.translate(w * 0.5, h * 0.15);
  p.rotate(90);
  drawCentredText(p, QRectF(0, -w * 0.5, h * 0.5, w), "KESTROVA",
                  font(sansFamily, w * 0.42, QFont::Bold, false, 4), Qt::white,
                  Qt::AlignLeft | Qt::AlignVCenter);
  p.restore();
  drawCentredText(p, QRectF(0, h * 0.9, w, h * 0.05), "1.0",
                  font(sansFamily, w * 0.3, QFont::Bold), QColor(190, 210, 255));
  return image;
}

QImage boxTop() {
  // Its bottom edge meets the front's top edge.
  QImage image = canvas(kFrontW, kDepth);
  QPainter p(&image);
  setUp(p);
  p.fillRect(image.rect(), boxBackground(1.0));
  p.fillRect(QRectF(0, kDepth * 0.86, kFrontW, kDepth * 0.14), kTeal);
  drawCube(p, QPointF(kFrontW * 0.08, kDepth * 0.45), kDepth * 0.5);
  drawCentredText(p, QRectF(kFrontW * 0.14, 0, kFrontW * 0.8, kDepth * 0.86), "KESTROVA",
                  font(sansFamily, kDepth * 0.36, QFont::Bold, false, 6), Qt::white,
                  Qt::AlignLeft | Qt::AlignVCenter);
  return image;
}

QImage boxBottom() {
  QImage image = canvas(kFrontW, kDepth);
  QPainter p(&image);
  setUp(p);
  p.fillRect(image.rect(), boxBackground(0.0));
  drawCentredText(p, QRectF(0, 0, kFrontW, kDepth),
                  "Kestrova 1.0 for Linux  ·  www.kestrova.example  ·  Made with care",
                  font(sansFamily, kDepth * 0.2), QColor(170, 185, 220));
  return image;
}

void drawBarcode(QPainter& p, const QRectF& area, quint32 seed) {
  p.fillRect(area, Qt::white);
  QRandomGenerator random(seed);
  const QRectF bars = area.adjusted(area.width() * 0.08, area.height() * 0.1,
                                    -area.width() * 0.08, -area.height() * 0.3);
  double x = bars.left();
  bool dark = true;
  while (x < bars.right()) {
    const double width = bars.width() / 95.0 * (1 + random.bounded(3));
    if (dark) p.fillRect(QRectF(x, bars.top(), std::min(width, bars.right() - x), bars.height()), kInk);
    x += width;
    dark = !dark;
  }
  drawCentredText(p, QRectF(area.left(), bars.bottom(), area.width(), area.height() * 0.28),
                  "4 006381 333931", font(sansFamily, area.height() * 0.15), kInk);
}

QImage boxBack() {
  QImage image = canvas(kFrontW, kFrontH);
  QPainter p(&image);
  setUp(p);
  const int w = kFrontW;
  const int h = kFrontH;
  fillBoxBackground(p, w, h);
  p.fillRect(QRectF(0, 0, w, h * 0.012), kTeal);

  drawCentredText(p, QRectF(w * 0.08, h * 0.05, w * 0.84, h * 0.1),
                  "Your product,\nin three dimensions.",
                  font(sansFamily, h * 0.038, QFont::Bold), Qt::white, Qt::AlignLeft | Qt::AlignTop);

  // A small picture of the program at work: a window with a turned box.
  const QRectF window(w * 0.08, h * 0.19, w * 0.84, h * 0.27);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(235, 238, 245));
  p.drawRoundedRect(window, 10, 10);
  p.setBrush(QColor(205, 212, 228));
  p.drawRoundedRect(QRectF(window.left(), window.top(), window.width(), h * 0.03), 10, 10);
  QLinearGradient stage(window.topLeft(), window.bottomLeft());
  stage.setColorAt(0, QColor(250, 250, 252));
  stage.setColorAt(1, QColor(214, 220, 232));
  p.fillRect(window.adjusted(8, h * 0.035, -8, -8), stage);
  const QPointF c(window.center().x(), window.center().y() + h * 0.02);
  const double s = window.height() * 0.33;
  p.setBrush(kNavyTop);
  p.drawPolygon(QPolygonF({c + QPointF(-s * 0.9, -s), c + QPointF(s * 0.3, -s * 1.1),
                           c + QPointF(s * 0.3, s * 0.95), c + QPointF(-s * 0.9, s)}));
  p.setBrush(kNavyBottom);
  p.drawPolygon(QPolygonF({c + QPointF(s * 0.3, -s * 1.1), c + QPointF(s * 0.55, -s * 0.95),
                           c + QPointF(s * 0.55, s * 0.8), c + QPointF(s * 0.3, s * 0.95)}));
  p.setBrush(kAmber);
  p.drawPolygon(QPolygonF({c + QPointF(-s * 0.9, s * 0.1), c + QPointF(s * 0.3, -s * 0.15),
                           c + QPointF(s * 0.3, s * 0.05), c + QPointF(-s * 0.9, s * 0.3)}));

  const char* const features[] = {
      "Eight box styles, books, mugs and screen-shot boards",
      "Turn, pan, zoom and scale with the mouse",
      "Spot lighting and any background colour",
      "Keyframe animation with smooth playback",
      "Save whole shots as project files",
      "Export images or copy them to the clipboard",
  };
  double y = h * 0.50;
  for (const char* feature : features) {
    p.setPen(Qt::NoPen);
    p.setBrush(kAmber);
    p.drawEllipse(QPointF(w * 0.1, y + h * 0.017), h * 0.008, h * 0.008);
    drawCentredText(p, QRectF(w * 0.14, y, w * 0.8, h * 0.035), feature,
                    font(sansFamily, h * 0.021), Qt::white, Qt::AlignLeft | Qt::AlignVCenter);
    y += h * 0.045;
  }
  drawCentredText(p, QRectF(w * 0.08, h * 0.80, w * 0.5, h * 0.12),
                  "Requires Linux with OpenGL 1.1.\nwww.kestrova.example",
                  font(sansFamily, h * 0.017), QColor(170, 185, 220), Qt::AlignLeft | Qt::AlignTop);
  drawBarcode(p, QRectF(w * 0.62, h * 0.80, w * 0.3, h * 0.12), 7);
  return image;
}

// --- The book --------------------------------------------------------------

const QColor kCream(244, 236, 220);
const QColor kTerracotta(196, 92, 58);
const QColor kForest(34, 66, 52);

// Drawn at the hard back's proportions (the default book): its cover is
// 0.68 as wide as high, within 5 % of the paperback's 0.64 too; its spine
// is a quarter of its height (the paperback's, a tenth, shows it squeezed).
constexpr int kBookW = 661;
constexpr int kBookH = 1008;
constexpr int kBookSpine = 246;
// The spine's lettering keeps the size it had on the narrow spine.
constexpr double kSpineLetters = 106;

QImage bookFront() {
  QImage image = canvas(kBookW, kBookH);
  QPainter p(&image);
  setUp(p);
  const int w = kBookW;
  const int h = kBookH;
  p.fillRect(image.rect(), kCream);
  // A low sun over a horizon: the light every product shot is after.
  p.setPen(Qt::NoPen);
  p.setBrush(kTerracotta);
  p.drawEllipse(QPointF(w * 0.5, h * 0.58), w * 0.3, w * 0.3);
  p.fillRect(QRectF(0, h * 0.58, w, h * 0.42), kForest);
  for (int i = 0; i < 5; ++i) {
    p.fillRect(QRectF(w * (0.2 + i * 0.02), h * (0.62 + i * 0.045), w * (0.6 - i * 0.04), h * 0.012),
               QColor(244, 236, 220, 60 - i * 10));
  }
  drawCentredText(p, QRectF(0, h * 0.07, w, h * 0.1), "LIGHT & SURFACE",
                  font(serifFamily, h * 0.055, QFont::Bold, false, 2), kForest);
  drawCentredText(p, QRectF(0, h * 0.17, w, h * 0.05), "A field guide to the product shot",
                  font(serifFamily, h * 0.026, QFont::Normal, true), kTerracotta);
  drawCentredText(p, QRectF(0, h * 0.86, w, h * 0.07), "TOMAS VENN",
                  font(sansFamily, h * 0.032, QFont::Bold, false, 6), kCream);
  return image;
}

QImage bookBack() {
  QImage image = canvas(kBookW, kBookH);
  QPainter p(&image);
  setUp(p);
  const int w = kBookW;
  const int h = kBookH;
  p.fillRect(image.rect(), kCream);
  p.fillRect(QRectF(0, h * 0.9, w, h * 0.1), kForest);
  drawCentredText(p, QRectF(w * 0.1, h * 0.08, w * 0.8, h * 0.08),
                  "\u201CThe best shot is the one\nnobody notices was taken.\u201D",
                  font(serifFamily, h * 0.028, QFont::Normal, true), kTerracotta);
  drawCentredText(
      p, QRectF(w * 0.1, h * 0.22, w * 0.8, h * 0.42),
      "Every object has a best side and a best light. Tomas Venn has spent twenty years "
      "finding both, for boxes, books and the humble coffee mug.\n\nThis field guide shows "
      "how to turn, light and frame a product so that it looks as good on a page as it "
      "does in the hand: with a camera, or with nothing but the artwork and a little care.",
      font(serifFamily, h * 0.021), kInk, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap);
  drawCentredText(p, QRectF(w * 0.1, h * 0.68, w * 0.5, h * 0.08), "Kestrel Press",
                  font(serifFamily, h * 0.024, QFont::Bold), kForest, Qt::AlignLeft | Qt::AlignVCenter);
  drawBarcode(p, QRectF(w * 0.58, h * 0.68, w * 0.32, h * 0.12), 11);
  return image;
}

QImage bookSpine() {
  QImage image = canvas(kBookSpine, kBookH);
  QPainter p(&image);
  setUp(p);
  const int w = kBookSpine;
  const int h = kBookH;
  p.fillRect(image.rect(), kForest);
  p.setPen(Qt::NoPen);
  p.setBrush(kTerracotta);
  const double l = kSpineLetters;
  p.drawEllipse(QPointF(w * 0.5, h * 0.08), l * 0.28, l * 0.28);
  p.save();
  p.translate(w * 0.5, h * 0.16);
  p.rotate(90);
  drawCentredText(p, QRectF(0, -w * 0.5, h * 0.5, w), "LIGHT & SURFACE",
                  font(serifFamily, l * 0.3, QFont::Bold, false, 2), kCream,
                  Qt::AlignLeft | Qt::AlignVCenter);
  drawCentredText(p, QRectF(h * 0.5, -w * 0.5, h * 0.27, w), "TOMAS VENN",
                  font(sansFamily, l * 0.2, QFont::Bold, false, 3), QColor(230, 180, 150),
                  Qt::AlignRight | Qt::AlignVCenter);
  p.restore();
  drawCentredText(p, QRectF(0, h * 0.92, w, h * 0.05), "KP", font(serifFamily, l * 0.26, QFont::Bold),
                  kCream);
  return image;
}

QImage pageEdges() {
  // Paper seen edge-on: fine lines across the picture's width, each page a
  // little different in tone, with a faint grain the other way.
  constexpr int kW = 256;
  constexpr int kH = 256;
  QImage image(kW, kH, QImage::Format_RGB32);
  QRandomGenerator random(3);
  int tones[kW];
  for (int x = 0; x < kW; ++x) tones[x] = (x % 3 == 0) ? -22 - random.bounded(12) : random.bounded(8);
  for (int y = 0; y < kH; ++y) {
    const int grain = random.bounded(5);
    for (int x = 0; x < kW; ++x) {
      const int t = tones[x] - grain;
      image.setPixel(x, y, qRgb(std::clamp(246 + t, 0, 255), std::clamp(240 + t, 0, 255),
                                std::clamp(226 + t, 0, 255)));
    }
  }
  return image;
}

// --- The mug ---------------------------------------------------------------

QImage mugWrap() {
  // Once round the mug: the left and right edges meet at the back. At the
  // body's proportions (round 2.38 times as long as high) and large enough
  // for a 1920 x 1080 picture of it.
  constexpr int kW = 2048;
  constexpr int kH = 860;
  QImage image = canvas(kW, kH);
  QPainter p(&image);
  setUp(p);
  p.fillRect(image.rect(), QColor(250, 248, 243));
  p.fillRect(QRectF(0, kH * 0.86, kW, kH * 0.08), kNavyTop);
  p.fillRect(QRectF(0, kH * 0.83, kW, kH * 0.02), kAmber);
  p.fillRect(QRectF(0, kH * 0.06, kW, kH * 0.015), kTeal);
  // The logo (right half) faces the viewer, the tagline the other way; the
  // seam at the picture's edges hides behind the handle.
  drawCube(p, QPointF(kW * 0.667, kH * 0.36), kH * 0.3);
  drawCentredText(p, QRectF(kW * 0.417, kH * 0.56, kW * 0.5, kH * 0.14), "Kestrova",
                  font(sansFamily, kH * 0.11, QFont::Bold), kNavyTop);
  drawCentredText(p, QRectF(0, kH * 0.22, kW * 0.5, kH * 0.45),
                  "First coffee.\nThen product shots.",
                  font(serifFamily, kH * 0.085, QFont::Normal, true), kNavyBottom);
  return image;
}

QImage environmentMap() {
  // A studio seen in a sphere: black (adds nothing when blended) with a
  // large soft window high on the left, a smaller lamp on the right and a
  // faint floor glow. The reflection pass adds it on top of the wrap.
  constexpr int kSize = 256;
  QImage image(kSize, kSize, QImage::Format_RGB32);
  image.fill(Qt::black);
  QPainter p(&image);
  setUp(p);
  QRadialGradient window(QPointF(kSize * 0.3, kSize * 0.28), kSize * 0.22);
  window.setColorAt(0, QColor(150, 150, 155));
  window.setColorAt(0.6, QColor(70, 70, 75));
  window.setColorAt(1, QColor(0, 0, 0));
  p.fillRect(image.rect(), window);
  p.setCompositionMode(QPainter::CompositionMode_Plus);
  // A tall softbox left of the camera: on a round body it becomes the long
  // vertical highlight that reads as glaze.
  QLinearGradient softbox(kSize * 0.26, 0, kSize * 0.46, 0);
  softbox.setColorAt(0, QColor(0, 0, 0));
  softbox.setColorAt(0.5, QColor(105, 105, 110));
  softbox.setColorAt(1, QColor(0, 0, 0));
  p.fillRect(QRectF(kSize * 0.26, kSize * 0.12, kSize * 0.2, kSize * 0.7), softbox);
  QRadialGradient lamp(QPointF(kSize * 0.76, kSize * 0.4), kSize * 0.09);
  lamp.setColorAt(0, QColor(120, 115, 105));
  lamp.setColorAt(1, QColor(0, 0, 0));
  p.fillRect(image.rect(), lamp);
  QLinearGradient floor(0, kSize * 0.7, 0, kSize);
  floor.setColorAt(0, QColor(0, 0, 0));
  floor.setColorAt(1, QColor(28, 28, 32));
  p.fillRect(image.rect(), floor);
  p.end();
  return image;
}

// --- A screen shot for the board -----------------------------------------------

QImage screenShot() {
  // The program at work, as a user would capture it: a window with a toolbar,
  // the view with a turned box, and the control panel beside it.
  constexpr int kW = 640;
  constexpr int kH = 400;
  QImage image = canvas(kW, kH);
  QPainter p(&image);
  setUp(p);
  p.fillRect(image.rect(), QColor(236, 239, 244));
  p.fillRect(QRectF(0, 0, kW, 28), QColor(44, 52, 70));
  drawCentredText(p, QRectF(0, 0, kW, 28), "Kestrova", font(sansFamily, 13, QFont::Bold), Qt::white);
  for (int i = 0; i < 3; ++i) {
    p.setBrush(QColor(i == 0 ? 240 : 120, i == 0 ? 90 : 130, i == 0 ? 80 : 150));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(14 + i * 18, 14), 5, 5);
  }
  p.fillRect(QRectF(0, 28, kW, 34), QColor(250, 251, 253));
  for (int i = 0; i < 8; ++i) {
    p.setBrush(i % 3 == 0 ? kTeal : QColor(150, 160, 180));
    p.drawRoundedRect(QRectF(10 + i * 34, 34, 24, 22), 4, 4);
  }
  const QRectF view(10, 70, 440, 320);
  QLinearGradient stage(view.topLeft(), view.bottomLeft());
  stage.setColorAt(0, Qt::white);
  stage.setColorAt(1, QColor(218, 224, 236));
  p.fillRect(view, stage);
  const QPointF c = view.center();
  p.setBrush(kNavyTop);
  p.drawPolygon(QPolygonF({c + QPointF(-70, -110), c + QPointF(60, -125), c + QPointF(60, 115), c + QPointF(-70, 110)}));
  p.setBrush(kNavyBottom);
  p.drawPolygon(QPolygonF({c + QPointF(-95, -100), c + QPointF(-70, -110), c + QPointF(-70, 110), c + QPointF(-95, 98)}));
  p.setBrush(kAmber);
  p.drawPolygon(QPolygonF({c + QPointF(-70, 30), c + QPointF(60, 5), c + QPointF(60, 25), c + QPointF(-70, 52)}));
  p.setBrush(QColor(250, 251, 253));
  const QRectF panel(460, 70, 170, 320);
  p.drawRoundedRect(panel, 6, 6);
  drawCentredText(p, QRectF(470, 78, 150, 20), "Control Panel", font(sansFamily, 12, QFont::Bold), kInk,
                  Qt::AlignLeft | Qt::AlignVCenter);
  for (int i = 0; i < 3; ++i) {
    const double y = 120 + i * 40;
    p.fillRect(QRectF(472, y, 146, 4), QColor(200, 206, 218));
    p.setBrush(kTeal);
    p.drawEllipse(QPointF(500 + i * 38, y + 2), 7, 7);
  }
  for (int i = 0; i < 6; ++i) {
    p.setBrush(QColor(226, 231, 240));
    p.drawRoundedRect(QRectF(472 + (i % 2) * 76, 250 + (i / 2) * 34, 70, 26), 4, 4);
  }
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: kestrova-make-artwork PROGRAM_FOLDER\n");
    return 2;
  }
  loadFonts();
  const QString folder = QString::fromLocal8Bit(argv[1]);
  bool ok = true;
  ok &= save(boxFront(), folder + "/Boxes/standard-box-front.jpg", "JPG");
  ok &= save(boxBack(), folder + "/Boxes/standard-box-back.jpg", "JPG");
  ok &= save(boxSpine(true), folder + "/Boxes/standard-box-left.jpg", "JPG");
  ok &= save(boxSpine(false), folder + "/Boxes/standard-box-right.jpg", "JPG");
  ok &= save(boxTop(), folder + "/Boxes/standard-box-top.jpg", "JPG");
  ok &= save(boxBottom(), folder + "/Boxes/standard-box-bottom.jpg", "JPG");
  ok &= save(screenShot(), folder + "/Boxes/kestrova-screenshot.jpg", "JPG");
  ok &= save(bookFront(), folder + "/Books/standard-book-front.jpg", "JPG");
  ok &= save(bookBack(), folder + "/Books/standard-book-back.jpg", "JPG");
  ok &= save(bookSpine(), folder + "/Books/standard-book-left.jpg", "JPG");
  ok &= save(pageEdges(), folder + "/Books/ePage.jpg", "JPG");
  ok &= save(mugWrap(), folder + "/Mug/MugTexture.jpg", "JPG");
  ok &= save(environmentMap().convertToFormat(QImage::Format_RGB888), folder + "/Mug/Envroll.bmp", "BMP");
  return ok ? 0 : 1;
}
