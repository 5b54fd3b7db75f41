#pragma once
// The parts of a render job, each in the file that says what it does:
// job_files (the names a job reads and writes, and the check that none is
// both), job_writers (each output's writer), job_report (what a job says:
// timings, --info, --shop-check, --preflight) and render_job (the job).
// For kestrova-render's own files only.
#include <csignal>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/render_job.h"
#include "render/export_image.h"
#include "render/render_host.h"
#include "render/shop_export.h"
#include "scene/rgba_image.h"
#include "scene/scene_state.h"

namespace kestrova {

struct RenderOptions;

namespace job {

namespace fs = std::filesystem;

extern const volatile std::sig_atomic_t* stopFlag;

// The one "%d" field of a frame-name pattern ("%d", "%4d", "%04d"); other
// "%" signs are refused, so a name never reaches printf as a format.
struct FramePattern {
  std::string before, after;
  int width = 0;
  bool zeros = false;
};


// Refuses (as a usage error) a render whose outputs include one of its
// inputs (faces, project, the pictures the project shows, the environment,
// the cover) or two outputs in one file, before anything is written.
void refuseCrossedFiles(const RenderOptions& options, const SceneState& scene, const fs::path& project,
                        const std::vector<std::pair<TextureSlot, std::string>>& faces, const fs::path& output,
                        const std::optional<FramePattern>& pattern);

// The picture, the frames or the video a job asks for, drawn and written:
// 0, or 1 with `failure`.
int writePictures(SceneState& scene, const RenderOptions& options, JobContext& context, const fs::path& project,
                  const fs::path& output, const std::optional<FramePattern>& pattern, std::string* failure);

// A frame's (or the still's) export options.
using ExportOptionsFor = std::function<ExportOptions(std::optional<int> frame)>;

[[noreturn]] void fail(const std::string& message);

bool stopAsked();

int failed(std::string* failure, const std::string& why);

fs::path resolve(const RenderOptions& options, const std::string& name);

// Outputs named in a spreadsheet's cell are the spreadsheet's, from its
// folder; others the current folder's.
fs::path resolveOutput(const RenderOptions& options, const std::string& name);

// The model options the command line asks for.
ShopExportOptions shopOptionsOf(const RenderOptions& options);

// A book's thickness for --pages and --paper, as printers work out a spine:
// the leaves times the paper's caliper; the hard back's two boards beside
// them (the program's are 0.14 of its 11.2 units of height each: 2.8 mm at
// its 225 mm).
double SpineMm(const SceneState& scene, const RenderOptions& options);

// --glb, --usdz and --html: the product as a shop's 3D model, beside its
// picture, and a page that shows it.
bool writeShopModels(SceneState& scene, const RenderOptions& options, const fs::path& programFolder,
                     std::string* failure);

// What the model loader said of the models the render read, if anything.
void reportModelMessages(const SceneState& scene);

bool isJpeg(const std::string& path);

bool writeImage(const RgbaImage& image, const std::string& path, int quality, std::string* error,
                bool keepAlpha, const FileText& text);

int modelInfo(const std::string& path);

int projectInfo(const std::string& path);

std::optional<FramePattern> ParseFramePattern(const std::string& pattern);

std::string numbered(const FramePattern& pattern, int frame);

// The text a picture carries: what made it, from which project, with which
// options. The same inputs give the same text, so the same bytes.
FileText fileText(const RenderOptions& options, const fs::path& project);

// Moves the classic camera back until the product, turned any way about its
// pivot, stays whole in a width x height picture.
void FrameWholeProduct(SceneState& scene, int width, int height);

// Whether the product of the shot shows the picture of `slot`.
bool ShowsSlot(const SceneState& scene, TextureSlot slot);

// The faces that carry a seller's artwork: a book's page edges are the
// product's own.
bool IsArtworkFace(const SceneState& scene, TextureSlot slot);

// Once a render names any face, the faces it leaves out show plain card of
// one colour, never the program's sample artwork: a seller's box must not
// carry someone else's name on its top.
bool blankFacesNotGiven(SceneState& scene, const std::vector<TextureSlot>& given, uint32_t colour, std::string* why);

// The --face name of a slot.
const char* SlotFaceName(TextureSlot slot);

// The artwork check: a table or JSON on standard output, warnings failing
// the run only when asked to.
// --shop-check: the model --glb and --usdz would write, against a shop's
// rules, each with where it comes from. Nothing is written.
int shopCheck(SceneState& scene, const RenderOptions& options, std::string* failure);

int preflight(SceneState& scene, const RenderOptions& options,
              const std::vector<std::pair<std::string, std::string>>& unreadable, std::string* failure);

// The animation of a project, or one turn about the vertical axis from the
// shot's pose, as a video. A failed export leaves no file behind.
int writeVideo(SceneState& scene, RenderHost& host, const RenderOptions& options, const std::string& path,
               const ExportOptionsFor& exportOptions, std::string* failure);

// --timings: how long each phase took, printed to stderr at the end, so
// anyone can see where a render's time goes.
class PhaseClock {
 public:
  void start(bool on) {
    on_ = on;
    last_ = begin_ = std::chrono::steady_clock::now();
  }
  void lap(const char* phase) {
    if (!on_) return;
    const auto now = std::chrono::steady_clock::now();
    laps_.emplace_back(phase, std::chrono::duration<double, std::milli>(now - last_).count());
    last_ = now;
  }
  // The laps, the total and the memory, to stderr.
  void print();

 private:
  bool on_ = false;
  std::chrono::steady_clock::time_point begin_, last_;
  std::vector<std::pair<const char*, double>> laps_;
};

PhaseClock& phases();

}  // namespace job

}  // namespace kestrova
