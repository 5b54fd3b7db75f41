// The video writer lives in a module of its own, loaded the first time a
// video is written: FFmpeg's libraries and the dozens of codec libraries
// they pull in take longer to load than a whole small render, and most runs
// never write a video.
#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <vector>

#include "file_names.h"
#include "video_writer.h"

namespace kestrova {

namespace {

using OpenVideo = kestrova::VideoWriter* (*)(const char*, int, int, int, int, std::string*);

// Where the module is: named by KESTROVA_VIDEO_MODULE, installed under the
// prefix's library folder, or beside the executables in a build.
std::vector<std::filesystem::path> candidates() {
  std::vector<std::filesystem::path> paths;
  if (const char* set = std::getenv("KESTROVA_VIDEO_MODULE"); set && *set) paths.emplace_back(set);
  std::error_code ignored;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ignored).parent_path();
  paths.push_back(self / KESTROVA_VIDEO_MODULE_FROM_BIN);
  paths.push_back(self / "kestrova-video.so");
  paths.push_back(self.parent_path() / "program" / "kestrova-video.so");
  return paths;
}

OpenVideo loadModule(std::string* why) {
  static std::once_flag once;
  static OpenVideo open = nullptr;
  static std::string failure;
  std::call_once(once, [] {
    std::string tried;
    for (const std::filesystem::path& path : candidates()) {
      std::error_code ignored;
      if (!std::filesystem::is_regular_file(path, ignored)) {
        tried += (tried.empty() ? "" : ", ") + path.string();
        continue;
      }
      void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (!module) {
        failure = "the video module " + path.string() + " could not be loaded: " + ::dlerror();
        return;
      }
      open = reinterpret_cast<OpenVideo>(::dlsym(module, "kestrova_open_video2"));
      if (!open) failure = "the video module " + path.string() + " is not Kestrova's";
      return;
    }
    failure = "the video module kestrova-video.so was not found (looked for " + tried + ")";
  });
  if (!open && why) *why = failure;
  return open;
}

}  // namespace

bool IsVideoName(const std::string& path) {
  return EndsWithIgnoringCase(path, ".mp4") || EndsWithIgnoringCase(path, ".webm") || EndsWithIgnoringCase(path, ".gif");
}

bool VideoSizeAllowed(const std::string& path, int width, int height, std::string* why) {
  const bool gif = EndsWithIgnoringCase(path, ".gif");
  const bool webm = EndsWithIgnoringCase(path, ".webm");
  const long long side = gif ? kMaxGifSide : kMaxVideoSide;
  const long long area = gif ? side * side : webm ? kMaxWebmPixels : kMaxVideoPixels;
  if (width >= 1 && height >= 1 && width <= side && height <= side && static_cast<long long>(width) * height <= area) {
    return true;
  }
  if (why) {
    *why = "cannot write " + path + ": " + std::to_string(width) + " x " + std::to_string(height) + " is too large for " +
           (gif ? "a GIF, which takes at most " + std::to_string(side) + " pixels a side"
                : webm ? "VP9 in WebM, which Kestrova keeps to " + std::to_string(kMaxWebmPixels) +
                             " pixels a frame (4096 x 4096) and " + std::to_string(side) +
                             " a side: its encoder needs about 75 bytes a pixel"
                       : "H.264 in MP4, whose players take at most " + std::to_string(kMaxVideoPixels) +
                             " pixels a frame (8192 x 4352) and " + std::to_string(side) + " a side");
  }
  return false;
}

std::unique_ptr<VideoWriter> VideoWriter::Open(const std::string& path, int width, int height, int fps,
                                               std::string* error, bool alpha) {
  if (fps < 1 || fps > 120) {
    if (error) *error = "a frame rate is 1 to 120 frames a second";
    return nullptr;
  }
  if (!VideoSizeAllowed(path, width, height, error)) return nullptr;
  const OpenVideo open = loadModule(error);
  if (!open) return nullptr;
  return std::unique_ptr<VideoWriter>(open(path.c_str(), width, height, fps, alpha ? 1 : 0, error));
}

}  // namespace kestrova
