// A print template's SVG read by Qt's own SVG renderer: the cut line lies
// on the trim in its magenta, the folds in their cyan. (Qt draws SVG Tiny,
// without clipping paths: the pictures are checked in Chromium, in the
// command line's tests.)
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include "formats/print_template.h"

using namespace kestrova;

TEST(PrintSvg, QtsRendererFindsTheCutOnTheTrimAndTheFolds) {
  const PrintLayout layout = DvdWrapLayout({135, 190, 14});
  // The front: red above, blue below.
  RgbaImage front;
  front.width = 4;
  front.height = 4;
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) front.pixels.insert(front.pixels.end(), {uint8_t(y < 2 ? 220 : 20), 20, uint8_t(y < 2 ? 20 : 220), 255});
  }
  TemplateOptions options;
  const std::string svg = WriteTemplateSvg(layout, {{LayoutPicture::Front, front}}, options);
  QSvgRenderer renderer(QByteArray::fromStdString(svg));
  ASSERT_TRUE(renderer.isValid());
  // Ten pixels a millimetre: the hairlines are most of a pixel wide.
  const double perMm = 10, b = options.bleed;
  QImage image(static_cast<int>((layout.width + 2 * b) * perMm), static_cast<int>((layout.height + 2 * b) * perMm),
               QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  renderer.render(&painter);
  painter.end();
  auto at = [&](double x, double y) {  // layout millimetres, y up
    return image.pixel(static_cast<int>((x + b) * perMm), static_cast<int>((layout.height + b - y) * perMm));
  };
  auto magenta = [](QRgb p) { return qRed(p) > qGreen(p) + 60 && qBlue(p) > qGreen(p) + 30; };
  auto cyan = [](QRgb p) { return qBlue(p) > qRed(p) + 60 && qGreen(p) > qRed(p) + 30; };
  // The cut's left edge, halfway up; a fold between spine and front.
  bool cut = false, fold = false;
  for (double dx = -0.5; dx <= 0.5; dx += 0.25) {
    cut = cut || magenta(at(dx, layout.height / 2));
    fold = fold || cyan(at(129.5 + 14 + dx, layout.height / 3));
  }
  EXPECT_TRUE(cut) << "no cut line on the trim";
  EXPECT_TRUE(fold) << "no fold between the spine and the front";
}
