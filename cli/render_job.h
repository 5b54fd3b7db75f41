#pragma once
// One job of kestrova-render: a picture, a run of frames, a video or an
// --info report, drawn on a headless context that jobs share.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "render/headless_context.h"

namespace kestrova {

struct RenderOptions;

// What jobs share: the GL context, made by the first job that draws.
struct JobContext {
  std::unique_ptr<HeadlessContext> gl;
};

// Text chunks a written picture carries (key, value).
using FileText = std::vector<std::pair<std::string, std::string>>;

// --timings for the jobs that follow.
void PrintTimings(bool on);

// Runs one job. 0 when done; 1 with `failure` saying why. A usage mistake
// found only now (a frame past the animation) throws UsageError.
int RunJob(const RenderOptions& options, JobContext& context, std::string* failure);

}  // namespace kestrova
