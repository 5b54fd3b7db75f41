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

// The largest side a metafile is drawn at: the largest face texture.
constexpr int kMaxMetafileSide = 4096;

struct MetafileRaster {
  RgbaImage pixels;  // at the metafile's own size at 96 per inch, capped
  int himetricWidth = 0;
  int himetricHeight = 0;
  std::string error;  // readable; empty on success
};

// Runs the helper on a WMF or EMF held in memory.
// `page`: which page of a PDF (0 the first); other drawings have one.
MetafileRaster DrawMetafileApart(const std::vector<uint8_t>& bytes, int page = 0);

// The helper's side: reads the metafile on standard input, writes the
// raster on standard output (or a message on standard error). Returns the
// exit status.
// The players are passed in (DecodeMetafileHere), so only the helper links them.
using MetafileDecoder = std::function<PictureResult(const std::vector<uint8_t>& bytes, const std::string& name)>;
// `arguments`: the helper's command line ("--page N").
int RunMetafileHelper(const MetafileDecoder& decode, int argc = 0, char** argv = nullptr);

// Where the helper is: beside the running executable, or in the build's
// program folder beside the folder of the running executable (tests and
// benchmarks). KESTROVA_METAFILE_HELPER overrides both.
std::string MetafileHelperPath();

}  // namespace kestrova
