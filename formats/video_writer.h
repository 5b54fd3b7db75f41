#pragma once
// Animations as video files, encoded with FFmpeg's libraries: H.264 in MP4,
// VP9 in WebM, and GIF with a palette made from the frames. No Qt, no GL.
#include <memory>
#include <string>

#include "scene/rgba_image.h"

namespace kestrova {

class VideoWriter {
 public:
  // Opens `path` for frames of width x height at `fps`; the format comes
  // from the extension (.mp4, .webm, .gif). MP4 and WebM want even sizes.
  // `alpha`: the frames' alpha is kept, which only WebM (VP9) can do.
  // Null with `error` when the file cannot be made.
  static std::unique_ptr<VideoWriter> Open(const std::string& path, int width, int height, int fps,
                                           std::string* error, bool alpha = false);
  virtual ~VideoWriter() = default;

  // Adds one frame (top-down RGBA, the writer's size).
  virtual bool addFrame(const RgbaImage& frame, std::string* error) = 0;
  // Flushes the encoder and closes the file.
  virtual bool finish(std::string* error) = 0;
  // Stops and removes the partial file (a cancel or a failure).
  virtual void abandon() = 0;
};

// The largest frames written: H.264 at its highest level (6.2) takes
// 35651584 pixels a frame, 16384 a side. VP9's encoder needs about 75 bytes
// a pixel whatever it is told (measured: 4.25 GB for 8192 x 4352), so WebM
// is kept to 4096 x 4096. GIF stores 16-bit sizes.
constexpr long long kMaxVideoPixels = 35651584;
constexpr long long kMaxWebmPixels = 4096LL * 4096;
constexpr int kMaxVideoSide = 16384;
constexpr int kMaxGifSide = 65535;
// Whether frames of width x height fit the format `path` names; if not,
// `why` says so with the limit.
bool VideoSizeAllowed(const std::string& path, int width, int height, std::string* why);

// Whether `path` names a video the writer makes.
bool IsVideoName(const std::string& path);

}  // namespace kestrova
