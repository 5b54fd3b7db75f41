#pragma once
// Decoded pictures: what the loader needs of an image file, whatever its
// format: its natural size in HIMETRIC (0.01 mm) and its pixels, drawn
// stretched to any size.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "scene/rgba_image.h"

namespace kestrova {

class Picture {
 public:
  virtual ~Picture() = default;
  int himetricWidth() const { return himetricWidth_; }
  int himetricHeight() const { return himetricHeight_; }
  // The picture stretched over width x height pixels; top-down RGBA rows.
  virtual RgbaImage render(int width, int height) const = 0;
  // Drawn sharp at any size (a vector drawing), not only at its own.
  virtual bool scalable() const { return false; }

 protected:
  int himetricWidth_ = 0;
  int himetricHeight_ = 0;
};

struct PictureResult {
  std::unique_ptr<Picture> picture;
  std::string error;  // readable, when picture is null
};

// Decodes JPEG, BMP, GIF, ICO, PNG, WebP, TIFF and Photoshop (96 pixels per
// inch), placeable WMF and EMF (their own frame), SVG and PDF (their own
// size; drawn again sharp at whatever size render asks). `name` only helps the error message.
// `page`: which page of a PDF (0 the first).
// `fitSide`: a drawing that stays sharp at any size is drawn at once at
// FitDrawing's size for it (a face's texture), not first at its own; 0 for
// its own size.
PictureResult DecodePicture(const std::vector<uint8_t>& bytes, const std::string& name, int page = 0,
                            int fitSide = 0);

// The nearest power of two to `pixels` on a log scale, from 1 to `most`.
int NearestPowerOfTwo(int pixels, int most);
// The size a scalable drawing is drawn at for a face: its shape kept, the
// longer side at `side` (a power of two), each side a power of two.
void FitDrawing(int himetricWidth, int himetricHeight, int side, int* width, int* height);

// WMF and EMF decoded in this process, with libwmf and libemf2svg. Only the
// metafile helper calls it: the program itself draws metafiles apart
// (metafile_helper.h), so a fault in those libraries cannot take it down.
PictureResult DecodeMetafileHere(const std::vector<uint8_t>& bytes, const std::string& name);

// The number of scans a JPEG declares (0 for anything else), counted from its
// markers without decoding.
int JpegScanCount(const std::vector<uint8_t>& bytes);

// Reads a file, or fetches an http/https address (10 s, 64 MB at most), then
// decodes it. "cover.pdf#page=3" is page 3 of cover.pdf.
PictureResult LoadPicture(const std::string& path, int fitSide = 0);

// What decoding said of pictures that did load, though not quite as they
// asked (a colour profile that could not be used): each note once, for
// whoever shows the program's messages.
std::vector<std::string> TakePictureNotes();

// How long and how much LoadPicture waits for from a web address.
struct FetchLimits {
  int timeoutMs = 10000;
  int64_t maxBytes = 64ll * 1024 * 1024;
  int loadDeadlineMs = 30000;  // all the web pictures of one load together
};
void SetPictureFetchLimits(const FetchLimits& limits);

// Whether a picture name is fetched from the web rather than read from disk.
bool IsWebPictureName(const std::string& name);

// One deadline for all the web pictures and drawings of one load: while it
// lives, each fetch and each drawing by the helper waits at most until then,
// and never longer than its own limit, so ten slow faces cannot stall a load
// ten times over.
class WebFetchDeadline {
 public:
  WebFetchDeadline();  // the limits' loadDeadlineMs
  ~WebFetchDeadline();
  WebFetchDeadline(const WebFetchDeadline&) = delete;
  WebFetchDeadline& operator=(const WebFetchDeadline&) = delete;
};

// Milliseconds left of the deadline of the load under way (a
// WebFetchDeadline), or -1 outside one. Drawings by the helper share it.
int LoadTimeLeftMs();

// The natural size a raster picture file would load with, read from its
// header without decoding it. False for anything but a readable raster file.
bool ReadPictureSize(const std::string& path, int* himetricWidth, int* himetricHeight);

// Pixels at 96 per inch to HIMETRIC and back, rounded like MulDiv.
int PixelsToHimetric(int pixels);
int HimetricToPixels(int himetric);

}  // namespace kestrova
