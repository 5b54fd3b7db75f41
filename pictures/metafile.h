#pragma once
// Windows metafiles (WMF, EMF) turned into SVG for drawing.
#include <cstdint>
#include <string>
#include <vector>

namespace kestrova {

struct MetafileSvg {
  std::string svg;
  int himetricWidth = 0;  // the metafile's own frame, 0.01 mm
  int himetricHeight = 0;
  std::string error;
};

bool IsWmf(const std::vector<uint8_t>& bytes);
bool IsEmf(const std::vector<uint8_t>& bytes);
// An SVG drawing: XML whose first element is <svg>.
bool IsSvg(const std::vector<uint8_t>& bytes);
// A PDF document (its first page is the picture).
bool IsPdf(const std::vector<uint8_t>& bytes);
// A Photoshop file (PSD or PSB); its flattened composite is the picture.
bool IsPsd(const std::vector<uint8_t>& bytes);
// The largest side of a Photoshop picture read.
constexpr int kMaxPsdSide = 16384;
// The page of a document the helper draws (0: the first).
void SetDocumentPage(int page);
int DocumentPage();

// A WMF's natural size, from its placeable header (or its extent at 96
// pixels per inch); `error` set when the file cannot be played.
struct MetafileSize {
  int himetricWidth = 0;
  int himetricHeight = 0;
  std::string error;
};
MetafileSize WmfSize(const std::vector<uint8_t>& bytes);

// Plays a WMF onto width x height pixels, as a PNG.
bool RenderWmf(const std::vector<uint8_t>& bytes, int width, int height, std::vector<uint8_t>* png,
               std::string* error);

MetafileSvg EmfToSvg(const std::vector<uint8_t>& bytes);

}  // namespace kestrova
