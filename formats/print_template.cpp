#include "formats/print_template.h"

#include "formats/shop_page.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace kestrova {

namespace {

constexpr double kPointsPerMm = 72 / 25.4;
constexpr double kEpsilon = 1e-6;

// How far two panels' edges run side by side, on `side` (0 left, 1 bottom,
// 2 right, 3 top) of `a`; 0 when they do not touch there.
double touching(const LayoutPanel& a, const LayoutPanel& b, int side) {
  auto overlap = [](double a0, double a1, double b0, double b1) { return std::min(a1, b1) - std::max(a0, b0); };
  switch (side) {
    case 0: return std::fabs(a.x - (b.x + b.width)) < kEpsilon ? overlap(a.y, a.y + a.height, b.y, b.y + b.height) : 0;
    case 2: return std::fabs(a.x + a.width - b.x) < kEpsilon ? overlap(a.y, a.y + a.height, b.y, b.y + b.height) : 0;
    case 1: return std::fabs(a.y - (b.y + b.height)) < kEpsilon ? overlap(a.x, a.x + a.width, b.x, b.x + b.width) : 0;
    default: return std::fabs(a.y + a.height - b.y) < kEpsilon ? overlap(a.x, a.x + a.width, b.x, b.x + b.width) : 0;
  }
}

const LayoutPanel* beside(const PrintLayout& layout, const LayoutPanel& panel, int side) {
  const LayoutPanel* best = nullptr;
  double most = kEpsilon;
  for (const LayoutPanel& other : layout.panels) {
    const double t = &other == &panel ? 0 : touching(panel, other, side);
    if (t > most) most = t, best = &other;
  }
  return best;
}

std::string number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4f", std::isfinite(v) ? v : 0.0);
  std::string s = text;
  while (!s.empty() && s.back() == '0') s.pop_back();
  if (!s.empty() && s.back() == '.') s.pop_back();
  return s == "-0" ? "0" : s;
}

std::vector<uint8_t> deflate(const std::vector<uint8_t>& data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::vector<uint8_t> out(size);
  if (compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()), 9) != Z_OK) return {};
  out.resize(size);
  return out;
}

std::vector<uint8_t> rgbOf(const RgbaImage& image) {
  std::vector<uint8_t> rgb;
  rgb.reserve(static_cast<size_t>(image.width) * image.height * 3);
  for (size_t i = 0; i + 3 < image.pixels.size(); i += 4) rgb.insert(rgb.end(), {image.pixels[i], image.pixels[i + 1], image.pixels[i + 2]});
  return rgb;
}

std::string label(const LayoutPanel& panel) {
  return panel.name + " " + number(std::round(panel.width * 10) / 10) + " x " + number(std::round(panel.height * 10) / 10) + " mm";
}

// The label's letters in millimetres: as large as fits the panel's width,
// a quarter of its height at most, 1 to 6 mm.
double labelSize(const LayoutPanel& panel) {
  return std::clamp(std::min(panel.height / 4, 1.6 * panel.width / std::max<size_t>(1, label(panel).size())), 1.0, 6.0);
}

// A PDF string's text: its brackets and backslashes escaped.
std::string pdfText(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '(' || c == ')' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}


// One piece of a panel's picture: the target rectangle (mm) and which part
// of the picture it shows, as fractions of its width from the left (u) and
// of its height from the bottom (v); reversed where it lies upside down.
struct Piece {
  double x, y, width, height;
  double u0, u1, v0, v1;
};

// The picture on its panel, and past each free edge the picture mirrored
// in that edge, over the flaps the panel carries and into the bleed (the
// corners mirrored both ways): the trim shows the picture whole and
// unstretched, and what lies past it continues it.
std::vector<Piece> piecesOf(const ArtworkPlacement& a) {
  const LayoutPanel& p = *a.panel;
  const double left = a.reach[0], bottom = a.reach[1], right = a.reach[2], top = a.reach[3];
  const double mirroredLeft = std::min(1.0, left / p.width), mirroredRight = std::min(1.0, right / p.width);
  const double mirroredBottom = std::min(1.0, bottom / p.height), mirroredTop = std::min(1.0, top / p.height);
  // Columns: the left reach, the panel, the right reach; rows alike. Each
  // with the panel fractions it shows at its two ends.
  const struct {
    double from, size, f0, f1;
  } columns[3] = {{p.x - left, left, mirroredLeft, 0}, {p.x, p.width, 0, 1}, {p.x + p.width, right, 1, 1 - mirroredRight}},
    rows[3] = {{p.y - bottom, bottom, mirroredBottom, 0}, {p.y, p.height, 0, 1}, {p.y + p.height, top, 1, 1 - mirroredTop}};
  std::vector<Piece> pieces;
  for (const auto& c : columns) {
    for (const auto& r : rows) {
      if (c.size <= 0 || r.size <= 0) continue;
      Piece piece{c.from, r.from, c.size, r.size, c.f0, c.f1, r.f0, r.f1};
      if (p.turned) piece.u0 = 1 - c.f0, piece.u1 = 1 - c.f1, piece.v0 = 1 - r.f0, piece.v1 = 1 - r.f1;
      pieces.push_back(piece);
    }
  }
  return pieces;
}

// A PNG of the picture, for an SVG to carry: rows unfiltered, deflated.
std::vector<uint8_t> pngOf(const RgbaImage& image) {
  std::vector<uint8_t> raw;
  const std::vector<uint8_t> rgb = rgbOf(image);
  for (int y = 0; y < image.height; ++y) {
    raw.push_back(0);
    raw.insert(raw.end(), rgb.begin() + static_cast<std::ptrdiff_t>(y) * image.width * 3,
               rgb.begin() + static_cast<std::ptrdiff_t>(y + 1) * image.width * 3);
  }
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  auto chunk = [&png](const char* type, const std::vector<uint8_t>& data) {
    for (int i = 3; i >= 0; --i) png.push_back(static_cast<uint8_t>(data.size() >> (8 * i)));
    const size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    const uint32_t crc = static_cast<uint32_t>(crc32(0, png.data() + start, static_cast<uInt>(png.size() - start)));
    for (int i = 3; i >= 0; --i) png.push_back(static_cast<uint8_t>(crc >> (8 * i)));
  };
  std::vector<uint8_t> header;
  for (const uint32_t v : {static_cast<uint32_t>(image.width), static_cast<uint32_t>(image.height)}) {
    for (int i = 3; i >= 0; --i) header.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  header.insert(header.end(), {8, 2, 0, 0, 0});
  chunk("IHDR", header);
  chunk("IDAT", deflate(raw));
  chunk("IEND", {});
  return png;
}


}  // namespace

std::vector<ArtworkPlacement> PlaceArtwork(const PrintLayout& layout, double bleed) {
  std::vector<ArtworkPlacement> placed;
  for (const LayoutPanel& panel : layout.panels) {
    if (panel.picture == LayoutPicture::None) continue;
    ArtworkPlacement a;
    a.panel = &panel;
    for (int side = 0; side < 4; ++side) {
      const LayoutPanel* next = beside(layout, panel, side);
      if (!next) {
        a.reach[side] = bleed;  // the cut line: into the bleed
      } else if (next->picture == LayoutPicture::None) {
        // A flap it carries (a tuck, a hinge, a turn-in): over it, halfway
        // where another picture starts beyond.
        const double across = side % 2 == 0 ? next->width : next->height;
        const LayoutPanel* after = beside(layout, *next, side);
        a.reach[side] = after && after->picture != LayoutPicture::None ? across / 2 : across + bleed;
      }
    }
    placed.push_back(a);
  }
  return placed;
}

std::vector<uint8_t> WriteTemplatePdf(const PrintLayout& layout, const TemplateArtwork& artwork,
                                      const TemplateOptions& options) {
  const double b = options.bleed;
  std::vector<std::string> objects;  // bodies, object n at objects[n - 1]
  std::vector<std::vector<uint8_t>> streams;  // their streams, empty for none
  auto add = [&](std::string body, std::vector<uint8_t> stream = {}) {
    objects.push_back(std::move(body));
    streams.push_back(std::move(stream));
    return static_cast<int>(objects.size());
  };
  // Fixed numbers: 1 catalog, 2 pages, 3 page, 4 contents, 5-8 layers, 9-10
  // the two inks, 11 overprint, 12 the font; pictures after.
  for (int i = 0; i < 12; ++i) add("");
  const char* layers[4] = {"Artwork", "CutContour", "Crease", "Labels"};
  for (int i = 0; i < 4; ++i) {
    objects[static_cast<size_t>(4 + i)] = std::string("<< /Type /OCG /Name (") + layers[i] + ")" +
                                          (i == 3 ? " /Usage << /Print << /PrintState /OFF >> /View << /ViewState /ON >> >>" : "") + " >>";
  }
  // Each ink a spot colour that shows as a process colour on screen.
  objects[8] = "[/Separation /CutContour /DeviceCMYK << /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] /C1 [0 1 0 0] /N 1 >>]";
  objects[9] = "[/Separation /Crease /DeviceCMYK << /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] /C1 [1 0 0 0] /N 1 >>]";
  objects[10] = "<< /Type /ExtGState /OP true /op true /OPM 1 >>";
  objects[11] = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>";

  std::ostringstream content;
  std::ostringstream pictures;
  const double k = kPointsPerMm;
  content << number(k) << " 0 0 " << number(k) << " " << number(b * k) << " " << number(b * k) << " cm\n";
  // The artwork: each picture on its panel, its edges drawn out over
  // what the panel carries and into the bleed.
  content << "/OC /L1 BDC\n";
  std::map<LayoutPicture, std::string> names;
  for (const ArtworkPlacement& a : PlaceArtwork(layout, b)) {
    const auto found = artwork.find(a.panel->picture);
    if (found == artwork.end() || found->second.width < 1 || found->second.height < 1) continue;
    std::string& name = names[a.panel->picture];
    if (name.empty()) {
      const RgbaImage& image = found->second;
      const std::vector<uint8_t> data = deflate(rgbOf(image));
      const int object = add("<< /Type /XObject /Subtype /Image /Width " + std::to_string(image.width) + " /Height " +
                                 std::to_string(image.height) +
                                 " /ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter /FlateDecode /Length " +
                                 std::to_string(data.size()) + " >>",
                             data);
      name = "Im" + std::to_string(object);
      pictures << "/" << name << " " << object << " 0 R ";
    }
    for (const Piece& d : piecesOf(a)) {
      // The whole picture's unit square placed so that its part lands on
      // the piece.
      const double sx = d.width / (d.u1 - d.u0), sy = d.height / (d.v1 - d.v0);
      content << "q " << number(d.x) << " " << number(d.y) << " " << number(d.width) << " " << number(d.height)
              << " re W n " << number(sx) << " 0 0 " << number(sy) << " " << number(d.x - d.u0 * sx) << " "
              << number(d.y - d.v0 * sy) << " cm /" << name << " Do Q\n";
    }
  }
  content << "EMC\n";
  // The dies: thin lines in their own inks, overprinting.
  const double hairline = 0.25 / k;
  content << "/OC /L2 BDC q /GSo gs /CSCut CS 1 SCN " << number(hairline) << " w 1 j\n";
  for (const auto& cut : layout.cuts) {
    for (size_t i = 0; i < cut.size(); ++i) content << number(cut[i].x) << " " << number(cut[i].y) << (i ? " l\n" : " m\n");
    content << "h S\n";
  }
  content << "Q EMC\n/OC /L3 BDC q /GSo gs /CSCrease CS 1 SCN " << number(hairline) << " w [2 1] 0 d\n";
  for (const auto& [from, to] : layout.folds) {
    content << number(from.x) << " " << number(from.y) << " m " << number(to.x) << " " << number(to.y) << " l S\n";
  }
  content << "Q EMC\n";
  // The names and sizes, and the safe line, on the layer that does not
  // print; hidden until the designer shows it, as a printer's RIP may not
  // read what a layer is used for.
  content << "/OC /L4 BDC q 0 0.45 0.9 RG 0 0.45 0.9 rg " << number(hairline) << " w [1 1] 0 d\n";
  for (const LayoutPanel& p : layout.panels) {
    if (p.picture != LayoutPicture::None && p.width > 2 * options.safe && p.height > 2 * options.safe) {
      content << number(p.x + options.safe) << " " << number(p.y + options.safe) << " " << number(p.width - 2 * options.safe)
              << " " << number(p.height - 2 * options.safe) << " re S\n";
    }
    const std::string text = label(p);
    const double size = labelSize(p);
    const bool upright = p.width < p.height * 0.5;
    const double cx = p.x + p.width / 2, cy = p.y + p.height / 2, half = 0.25 * size * static_cast<double>(text.size());
    content << "BT /F1 " << number(upright ? std::min(size * 2.5, p.width * 0.6) : size) << " Tf ";
    if (upright) {
      const double s = std::min(size * 2.5, p.width * 0.6), along = 0.25 * s * static_cast<double>(text.size());
      content << "0 1 -1 0 " << number(cx + s / 3) << " " << number(cy - along) << " Tm";
    } else {
      content << "1 0 0 1 " << number(cx - half) << " " << number(cy - size / 3) << " Tm";
    }
    content << " (" << pdfText(text) << ") Tj ET\n";
  }
  content << "Q EMC\n";
  const std::string text = content.str();
  objects[3] = "<< /Length " + std::to_string(text.size()) + " >>";
  streams[3].assign(text.begin(), text.end());

  const double mw = (layout.width + 2 * b) * k, mh = (layout.height + 2 * b) * k;
  const std::string media = "[0 0 " + number(mw) + " " + number(mh) + "]";
  const std::string trim = "[" + number(b * k) + " " + number(b * k) + " " + number(mw - b * k) + " " + number(mh - b * k) + "]";
  objects[0] =
      "<< /Type /Catalog /Pages 2 0 R /OCProperties << /OCGs [5 0 R 6 0 R 7 0 R 8 0 R] /D << /Name (Layers) "
      "/Order [5 0 R 6 0 R 7 0 R 8 0 R] /ON [5 0 R 6 0 R 7 0 R] /OFF [8 0 R] "
      "/AS [<< /Event /Print /OCGs [8 0 R] /Category [/Print] >> << /Event /View /OCGs [8 0 R] /Category [/View] >>] >> >> >>";
  objects[1] = "<< /Type /Pages /Kids [3 0 R] /Count 1 >>";
  objects[2] = "<< /Type /Page /Parent 2 0 R /MediaBox " + media + " /BleedBox " + media + " /TrimBox " + trim +
               " /CropBox " + media + " /Contents 4 0 R /Resources << /ColorSpace << /CSCut 9 0 R /CSCrease 10 0 R >> "
               "/ExtGState << /GSo 11 0 R >> /Font << /F1 12 0 R >> /Properties << /L1 5 0 R /L2 6 0 R /L3 7 0 R /L4 8 0 R >> "
               "/XObject << " + pictures.str() + ">> >> >>";

  std::vector<uint8_t> pdf;
  auto put = [&pdf](const std::string& s) { pdf.insert(pdf.end(), s.begin(), s.end()); };
  put("%PDF-1.6\n%\xE2\xE3\xCF\xD3\n");
  std::vector<size_t> offsets;
  for (size_t i = 0; i < objects.size(); ++i) {
    offsets.push_back(pdf.size());
    put(std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\n");
    if (!streams[i].empty()) {
      put("stream\n");
      pdf.insert(pdf.end(), streams[i].begin(), streams[i].end());
      put("\nendstream\n");
    }
    put("endobj\n");
  }
  const size_t xref = pdf.size();
  put("xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n");
  for (const size_t offset : offsets) {
    char line[32];
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
    put(line);
  }
  put("trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) +
      "\n%%EOF\n");
  return pdf;
}

std::string WriteTemplateSvg(const PrintLayout& layout, const TemplateArtwork& artwork, const TemplateOptions& options) {
  const double b = options.bleed, w = layout.width + 2 * b, h = layout.height + 2 * b;
  // SVG's y runs down: a layout point (x, y) lies at (x + b, h - b - y).
  auto X = [b](double x) { return number(x + b); };
  auto Y = [b, h](double y) { return number(h - b - y); };
  std::ostringstream svg;
  svg << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
         "xmlns:inkscape=\"http://www.inkscape.org/namespaces/inkscape\" width=\""
      << number(w) << "mm\" height=\"" << number(h) << "mm\" viewBox=\"0 0 " << number(w) << " " << number(h) << "\">\n"
      << "<title>" << MarkupText(layout.name) << "</title>\n"
      << "<desc>Trim " << number(layout.width) << " x " << number(layout.height) << " mm, bleed " << number(b)
      << " mm. Cut and fold lines are the spot colours CutContour and Crease.</desc>\n";
  svg << "<g id=\"Artwork\" inkscape:groupmode=\"layer\" inkscape:label=\"Artwork\">\n";
  std::map<LayoutPicture, std::string> encoded;
  int clip = 0;
  for (const ArtworkPlacement& a : PlaceArtwork(layout, b)) {
    const auto found = artwork.find(a.panel->picture);
    if (found == artwork.end() || found->second.width < 1 || found->second.height < 1) continue;
    std::string& data = encoded[a.panel->picture];
    if (data.empty()) data = "data:image/png;base64," + Base64(pngOf(found->second));
    for (const Piece& d : piecesOf(a)) {
      const std::string id = "c" + std::to_string(++clip);
      svg << "<clipPath id=\"" << id << "\"><rect x=\"" << X(d.x) << "\" y=\"" << Y(d.y + d.height) << "\" width=\""
          << number(d.width) << "\" height=\"" << number(d.height) << "\"/></clipPath>\n";
      // The picture's unit square (its top at 0) placed so that its part
      // lands on the piece; SVG's y runs down.
      const double sx = d.width / (d.u1 - d.u0), sy = d.height / (d.v1 - d.v0);
      svg << "<g clip-path=\"url(#" << id << ")\"><image preserveAspectRatio=\"none\" x=\"0\" y=\"0\" width=\"1\" "
             "height=\"1\" transform=\"matrix(" << number(sx) << " 0 0 " << number(sy) << " " << number(b + d.x - d.u0 * sx) << " "
          << number(h - b - d.y - (1 - d.v0) * sy) << ")\" xlink:href=\"" << data << "\"/></g>\n";
    }
  }
  svg << "</g>\n";
  svg << "<g id=\"CutContour\" inkscape:groupmode=\"layer\" inkscape:label=\"CutContour\" fill=\"none\" "
         "stroke=\"#EC008C\" stroke-width=\"0.09\">\n";
  for (const auto& cut : layout.cuts) {
    svg << "<path d=\"";
    for (size_t i = 0; i < cut.size(); ++i) svg << (i ? " L" : "M") << X(cut[i].x) << " " << Y(cut[i].y);
    svg << " Z\"/>\n";
  }
  svg << "</g>\n<g id=\"Crease\" inkscape:groupmode=\"layer\" inkscape:label=\"Crease\" fill=\"none\" stroke=\"#00AEEF\" "
         "stroke-width=\"0.09\" stroke-dasharray=\"2 1\">\n";
  for (const auto& [from, to] : layout.folds) {
    svg << "<path d=\"M" << X(from.x) << " " << Y(from.y) << " L" << X(to.x) << " " << Y(to.y) << "\"/>\n";
  }
  svg << "</g>\n<g id=\"Labels\" inkscape:groupmode=\"layer\" inkscape:label=\"Labels (not printed)\" "
         "font-family=\"DejaVu Sans, sans-serif\" fill=\"#0073E6\">\n";
  for (const LayoutPanel& p : layout.panels) {
    const double size = labelSize(p);
    svg << "<text x=\"" << X(p.x + p.width / 2) << "\" y=\"" << Y(p.y + p.height / 2) << "\" font-size=\"" << number(size)
        << "\" text-anchor=\"middle\" dominant-baseline=\"middle\">" << MarkupText(label(p)) << "</text>\n";
    if (p.picture != LayoutPicture::None && p.width > 2 * options.safe && p.height > 2 * options.safe) {
      svg << "<rect x=\"" << X(p.x + options.safe) << "\" y=\"" << Y(p.y + p.height - options.safe) << "\" width=\""
          << number(p.width - 2 * options.safe) << "\" height=\"" << number(p.height - 2 * options.safe)
          << "\" fill=\"none\" stroke=\"#0073E6\" stroke-width=\"0.09\" stroke-dasharray=\"1 1\"/>\n";
    }
  }
  svg << "</g>\n</svg>\n";
  return svg.str();
}

}  // namespace kestrova
