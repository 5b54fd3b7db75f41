#pragma once
// One job of kestrova-render: a picture, a run of frames, a video or an
// --info report, drawn on a headless context that jobs share.
#include <csignal>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "render/headless_context.h"
#include "scene/rgba_image.h"

namespace kestrova {

struct RenderOptions;

// Text chunks a written picture carries (key, value).
using FileText = std::vector<std::pair<std::string, std::string>>;

// What jobs share: the GL context, made by the first job that draws.
struct JobContext {
  std::unique_ptr<HeadlessContext> gl;
  // Set, a finished PNG picture goes here to be written while the next job
  // draws; unset, it is written before the job ends.
  std::function<void(RgbaImage image, std::string path, bool alpha, FileText text)> writeLater;
};

// Writes a PNG file whole: 0, or 1 with `failure` saying why.
bool WritePng(const RgbaImage& image, const std::string& path, bool alpha, const FileText& text, std::string* error);

// A job stops at its next band of rows or frame once `*flag` is set (by
// SIGINT or SIGTERM): its temporary file is removed, the file that was at
// its output stays, and it fails with kStoppedWhenAsked.
void StopWhenSet(const volatile std::sig_atomic_t* flag);
extern const char* const kStoppedWhenAsked;

// --timings for the jobs that follow.
void PrintTimings(bool on);

// Runs one job. 0 when done; 1 with `failure` saying why. A usage mistake
// found only now (a frame past the animation) throws UsageError.
int RunJob(const RenderOptions& options, JobContext& context, std::string* failure);

}  // namespace kestrova
