#include "toolbar_art.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <algorithm>

namespace kestrova {

namespace {

struct Palette {
  QColor ink;    // outlines
  QColor main;   // the object's body
  QColor light;  // highlights
  QColor accent;
};

Palette paletteFor(ToolbarArt state) {
  switch (state) {
    case ToolbarArt::Hot: return {QColor(10, 30, 70), QColor(80, 160, 255), QColor(255, 255, 255), QColor(255, 190, 60)};
    case ToolbarArt::Disabled: return {QColor(120, 120, 120), QColor(175, 175, 175), QColor(225, 225, 225), QColor(160, 160, 160)};
    case ToolbarArt::Normal: break;
  }
  return {QColor(25, 35, 60), QColor(45, 105, 200), QColor(220, 232, 250), QColor(235, 140, 30)};
}

// A camera: the screenshot.
void drawCamera(QPainter& p, const Palette& c) {
  p.setPen(QPen(c.ink, 2));
  p.setBrush(c.main);
  p.drawRoundedRect(QRectF(5, 14, 38, 26), 5, 5);
  p.drawRect(QRectF(16, 9, 14, 6));
  p.setBrush(c.light);
  p.drawEllipse(QPointF(24, 27), 9, 9);
  p.setBrush(c.ink);
  p.drawEllipse(QPointF(24, 27), 4, 4);
  p.setBrush(c.accent);
  p.setPen(Qt::NoPen);
  p.drawRect(QRectF(35, 17, 5, 3));
}

// An open book: the control panel.
void drawBook(QPainter& p, const Palette& c) {
  p.setPen(QPen(c.ink, 2));
  p.setBrush(c.main);
  QPainterPath cover;
  cover.moveTo(4, 14);
  cover.lineTo(24, 18);
  cover.lineTo(44, 14);
  cover.lineTo(44, 40);
  cover.lineTo(24, 44);
  cover.lineTo(4, 40);
  cover.closeSubpath();
  p.drawPath(cover);
  p.setBrush(c.light);
  QPainterPath left;
  left.moveTo(7, 12);
  left.quadTo(16, 10, 24, 15);
  left.lineTo(24, 40);
  left.quadTo(16, 36, 7, 37);
  left.closeSubpath();
  QPainterPath right;
  right.moveTo(41, 12);
  right.quadTo(32, 10, 24, 15);
  right.lineTo(24, 40);
  right.quadTo(32, 36, 41, 37);
  right.closeSubpath();
  p.drawPath(left);
  p.drawPath(right);
  p.setPen(QPen(c.main, 1.5));
  for (int line = 0; line < 4; ++line) {
    const double y = 19 + line * 5;
    p.drawLine(QPointF(10, y), QPointF(21, y + 2));
    p.drawLine(QPointF(27, y + 2), QPointF(38, y));
  }
}

// A painter's palette: the background colour.
void drawPalette(QPainter& p, const Palette& c, bool grey) {
  p.setPen(QPen(c.ink, 2));
  p.setBrush(c.light);
  QPainterPath board;
  board.addEllipse(QRectF(4, 8, 40, 32));
  QPainterPath hole;
  hole.addEllipse(QRectF(30, 26, 8, 7));
  p.drawPath(board.subtracted(hole));
  const QColor dabs[] = {grey ? QColor(140, 140, 140) : QColor(220, 50, 50),
                         grey ? QColor(160, 160, 160) : QColor(250, 200, 40),
                         grey ? QColor(130, 130, 130) : QColor(60, 170, 80), c.main};
  const QPointF at[] = {{14, 17}, {24, 14}, {34, 17}, {13, 28}};
  p.setPen(QPen(c.ink, 1));
  for (int i = 0; i < 4; ++i) {
    p.setBrush(dabs[i]);
    p.drawEllipse(at[i], 4.5, 4.5);
  }
}

// A letter i in a disc: About.
void drawAbout(QPainter& p, const Palette& c) {
  p.setPen(QPen(c.ink, 2));
  QRadialGradient shade(QPointF(18, 16), 26);
  shade.setColorAt(0, c.light);
  shade.setColorAt(1, c.main);
  p.setBrush(shade);
  p.drawEllipse(QPointF(24, 24), 19, 19);
  p.setPen(Qt::NoPen);
  p.setBrush(c.ink);
  p.drawEllipse(QPointF(24, 14), 3.5, 3.5);
  p.drawRoundedRect(QRectF(20.5, 20, 7, 17), 2, 2);
}

}  // namespace

QImage ToolbarStrip(ToolbarArt state) {
  QImage strip(kToolbarButtonSize * kToolbarButtonCount, kToolbarButtonSize, QImage::Format_ARGB32_Premultiplied);
  strip.fill(Qt::transparent);
  const Palette colours = paletteFor(state);
  QPainter p(&strip);
  p.setRenderHint(QPainter::Antialiasing);
  drawCamera(p, colours);
  p.translate(kToolbarButtonSize, 0);
  drawBook(p, colours);
  p.translate(kToolbarButtonSize, 0);
  drawPalette(p, colours, state == ToolbarArt::Disabled);
  p.translate(kToolbarButtonSize, 0);
  drawAbout(p, colours);
  return strip;
}

namespace {

// A box in three-quarter view filling `area`.
void drawBox(QPainter& p, const QRectF& area) {
  const double w = area.width() / 100.0;
  const double h = area.height() / 100.0;
  auto at = [&](double x, double y) { return QPointF(area.left() + x * w, area.top() + y * h); };
  const QPointF front[] = {at(14, 18), at(62, 26), at(62, 96), at(14, 88)};
  const QPointF side[] = {at(62, 26), at(86, 14), at(86, 82), at(62, 96)};
  const QPointF top[] = {at(14, 18), at(38, 6), at(86, 14), at(62, 26)};
  p.setPen(QPen(QColor(15, 20, 35), std::max(1.0, area.width() / 48.0)));
  QLinearGradient face(front[0], front[2]);
  face.setColorAt(0, QColor(45, 105, 200));
  face.setColorAt(1, QColor(25, 45, 110));
  p.setBrush(face);
  p.drawPolygon(front, 4);
  p.setBrush(QColor(20, 35, 85));
  p.drawPolygon(side, 4);
  p.setBrush(QColor(40, 190, 170));
  p.drawPolygon(top, 4);
  // The orange band of the default artwork.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(245, 160, 40));
  const QPointF band[] = {at(14, 66), at(62, 74), at(62, 82), at(14, 74)};
  p.drawPolygon(band, 4);
}

}  // namespace

QImage AppIcon(int size) {
  QImage icon(size, size, QImage::Format_ARGB32_Premultiplied);
  icon.fill(Qt::transparent);
  QPainter p(&icon);
  p.setRenderHint(QPainter::Antialiasing);
  drawBox(p, QRectF(size * 0.06, size * 0.02, size * 0.88, size * 0.94));
  return icon;
}

QImage ProjectFileIcon(int size) {
  QImage icon(size, size, QImage::Format_ARGB32_Premultiplied);
  icon.fill(Qt::transparent);
  QPainter p(&icon);
  p.setRenderHint(QPainter::Antialiasing);
  const double s = size / 100.0;
  QPainterPath sheet;
  sheet.moveTo(16 * s, 4 * s);
  sheet.lineTo(64 * s, 4 * s);
  sheet.lineTo(84 * s, 24 * s);
  sheet.lineTo(84 * s, 96 * s);
  sheet.lineTo(16 * s, 96 * s);
  sheet.closeSubpath();
  p.setPen(QPen(QColor(90, 100, 120), std::max(1.0, size / 48.0)));
  p.setBrush(QColor(250, 251, 253));
  p.drawPath(sheet);
  drawBox(p, QRectF(24 * s, 34 * s, 52 * s, 56 * s));
  return icon;
}

QImage AboutArtwork(int width, int height) {
  QImage art(width, height, QImage::Format_RGB32);
  QPainter p(&art);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, height);
  sky.setColorAt(0, QColor(28, 44, 82));
  sky.setColorAt(1, QColor(90, 130, 190));
  p.fillRect(art.rect(), sky);
  // A software box in three-quarter view.
  const double s = height / 100.0;
  const QPointF front[] = {{30 * s, 20 * s}, {62 * s, 26 * s}, {62 * s, 88 * s}, {30 * s, 82 * s}};
  const QPointF side[] = {{62 * s, 26 * s}, {74 * s, 20 * s}, {74 * s, 80 * s}, {62 * s, 88 * s}};
  const QPointF top[] = {{30 * s, 20 * s}, {42 * s, 14 * s}, {74 * s, 20 * s}, {62 * s, 26 * s}};
  p.setPen(QPen(QColor(15, 20, 35), 1.5));
  QLinearGradient face(front[0], front[2]);
  face.setColorAt(0, QColor(240, 140, 40));
  face.setColorAt(1, QColor(200, 70, 30));
  p.setBrush(face);
  p.drawPolygon(front, 4);
  p.setBrush(QColor(150, 50, 25));
  p.drawPolygon(side, 4);
  p.setBrush(QColor(250, 190, 110));
  p.drawPolygon(top, 4);
  p.setPen(QColor(255, 250, 240));
  QFont font = p.font();
  font.setBold(true);
  font.setPixelSize(static_cast<int>(9 * s));
  p.setFont(font);
  p.save();
  p.translate(33 * s, 48 * s);
  p.rotate(10);
  p.drawText(QPointF(0, 0), "Kestrova");
  p.restore();
  font.setPixelSize(static_cast<int>(14 * s));
  p.setFont(font);
  p.setPen(QColor(235, 240, 250));
  p.drawText(QRectF(82 * s, 30 * s, width - 86 * s, 40 * s), Qt::AlignLeft | Qt::AlignVCenter, "Kestrova");
  return art;
}

}  // namespace kestrova
