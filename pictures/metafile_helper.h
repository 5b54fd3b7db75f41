#pragma once
// Metafiles are drawn by a helper process of ours ("kestrova-metafile"): the
// libraries that play them have crashed, looped and asked for gigabytes on
// hostile files. The helper runs with limits on memory, CPU time and output,
// and whatever goes wrong there comes back as a message.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "pictures/picture.h"
#include "scene/rgba_image.h"

namespace kestrova {

// The largest side a metafile is drawn at on its own: the largest face
// texture. A drawing asked for at a size (a face in a large export) may be
// drawn up to kMaxDrawingSide.
constexpr int kMaxMetafileSide = 4096;
constexpr int kMaxDrawingSide = 8192;

struct MetafileRaster {
  RgbaImage pixels;  // at the metafile's own size at 96 per inch, capped
  int himetricWidth = 0;
  int himetricHeight = 0;
  bool scalable = false;  // a drawing that stays sharp at any size (SVG, PDF)
  std::string error;  // readable; empty on success
};

// Runs the helper on a WMF, EMF, SVG, PDF or PSD held in memory.
// `page`: which page of a PDF (0 the first); other drawings have one.
// `width` x `height`: the size to draw at (up to kMaxDrawingSide); 0 for
// the drawing's own size (a scalable one larger, up to kMaxMetafileSide).
// `fitSide`: with no size given, a drawing that stays sharp at any size
// (SVG, PDF) is drawn at FitDrawing's size for that side, the size its face
// needs, rather than its own; others are drawn at their own size.
MetafileRaster DrawMetafileApart(const std::vector<uint8_t>& bytes, int page = 0, int width = 0, int height = 0,
                                 int fitSide = 0);

// Ends every helper drawing now and refuses to start more: for Ctrl+C and
// SIGTERM, so a program that was asked to stop does not wait out a drawing.
// Safe to call from a signal handler.
void StopPictureHelpers();
bool PictureHelpersStopped();

// The helper's side: reads the metafile on standard input, writes the
// raster on standard output (or a message on standard error). Returns the
// exit status.
// The players are passed in (DecodeMetafileHere), so only the helper links them.
using MetafileDecoder = std::function<PictureResult(const std::vector<uint8_t>& bytes, const std::string& name)>;
// `arguments`: the helper's command line ("--page N", "--size WxH").
int RunMetafileHelper(const MetafileDecoder& decode, int argc = 0, char** argv = nullptr);

// Where the helper is: beside the running executable, or in the build's
// program folder beside the folder of the running executable (tests and
// benchmarks). KESTROVA_METAFILE_HELPER overrides both.
std::string MetafileHelperPath();

}  // namespace kestrova
