#include "cli/job_parts.h"

#include <QByteArrayView>
#include <QCryptographicHash>

#include <cctype>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "cli/render_options.h"
#include "formats/file_identity.h"
#include "pictures/picture.h"

namespace fs = std::filesystem;

namespace kestrova {

namespace job {

[[noreturn]] void fail(const std::string& message) { throw UsageError(message); }

const volatile std::sig_atomic_t* stopFlag = nullptr;

bool stopAsked() { return stopFlag != nullptr && *stopFlag != 0; }

int failed(std::string* failure, const std::string& why) {
  if (failure) *failure = why;
  return 1;
}

fs::path resolve(const RenderOptions& options, const std::string& name) {
  const fs::path path(name);
  if (path.is_absolute() || options.folder.empty()) return fs::absolute(path);
  return fs::path(options.folder) / path;
}

// Outputs named in a spreadsheet's cell are the spreadsheet's, from its
// folder; others the current folder's.
fs::path resolveOutput(const RenderOptions& options, const std::string& name) {
  const fs::path path(name);
  if (path.is_absolute() || options.outputFolder.empty()) return resolve(options, name);
  return fs::path(options.outputFolder) / path;
}

std::optional<FramePattern> ParseFramePattern(const std::string& pattern) {
  std::optional<FramePattern> found;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%') continue;
    if (found) return std::nullopt;
    size_t j = i + 1;
    FramePattern field;
    if (j < pattern.size() && pattern[j] == '0') {
      field.zeros = true;
      ++j;
    }
    const size_t digits = j;
    while (j < pattern.size() && std::isdigit(static_cast<unsigned char>(pattern[j])) && j - digits < 2) {
      field.width = field.width * 10 + (pattern[j] - '0');
      ++j;
    }
    if (j >= pattern.size() || pattern[j] != 'd') return std::nullopt;
    field.before = pattern.substr(0, i);
    field.after = pattern.substr(j + 1);
    found = field;
    i = j;
  }
  return found;
}

std::string numbered(const FramePattern& pattern, int frame) {
  std::string number = std::to_string(frame);
  if (static_cast<int>(number.size()) < pattern.width) {
    number.insert(0, static_cast<size_t>(pattern.width) - number.size(), pattern.zeros ? '0' : ' ');
  }
  return pattern.before + number + pattern.after;
}

// The text a picture carries: what made it, from which project, with which
// options. The same inputs give the same text, so the same bytes.
FileText fileText(const RenderOptions& options, const fs::path& project) {
  FileText text;
  if (!options.metadata) return text;
  text.emplace_back("Software", std::string("Kestrova kestrova-render ") + KESTROVA_VERSION);
  if (!project.empty()) {
    std::ifstream in(project, std::ios::binary);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    char block[65536];
    while (in.read(block, sizeof block) || in.gcount() > 0) hash.addData(QByteArrayView(block, in.gcount()));
    text.emplace_back("Project SHA-256", hash.result().toHex().toStdString());
  }
  text.emplace_back("Options", options.given);
  return text;
}

// A render never writes over what it reads: the same file by identity
// (a link or another name for it counts), whatever it is called.
void refuseCrossedFiles(const RenderOptions& options, const SceneState& scene, const fs::path& project,
                        const std::vector<std::pair<TextureSlot, std::string>>& faces, const fs::path& output,
                        const std::optional<FramePattern>& pattern) {
  std::vector<fs::path> inputs;
  if (!project.empty()) inputs.push_back(project);
  for (const auto& [slot, image] : faces) inputs.push_back(image);
  // The pictures the project itself shows, found wherever they were.
  for (const FaceArtwork& artwork : scene.artwork) {
    if (!artwork.path.empty() && !IsWebPictureName(artwork.path)) inputs.push_back(artwork.path);
  }
  if (!scene.look.environment.empty()) inputs.push_back(scene.look.environment);
  if (!options.wrap.empty()) inputs.push_back(resolve(options, options.wrap));
  std::vector<fs::path> outputs;
  if (!options.frames && !options.output.empty()) outputs.push_back(output);
  if (!options.printTemplate.empty()) outputs.push_back(resolveOutput(options, options.printTemplate));
  // Each frame's own name is an output (they differ from each other by
  // their numbers).
  std::vector<fs::path> frameNames;
  if (options.frames && pattern) {
    for (int frame = options.frames->first; frame <= options.frames->second; ++frame) {
      frameNames.push_back(resolveOutput(options, numbered(*pattern, frame)));
    }
  }
  for (const fs::path& out : frameNames) {
    for (const fs::path& in : inputs) {
      if (FileIdentity(out) == FileIdentity(in)) fail("the output " + out.string() + " is an input of this render: " + in.string());
    }
    for (const fs::path& other : outputs) {
      if (FileIdentity(out) == FileIdentity(other)) {
        fail("two outputs of this render are one file: " + out.string() + " and " + other.string());
      }
    }
  }
  if (!options.describe.empty()) outputs.push_back(resolve(options, options.describe));
  for (const std::string* model : {&options.glb, &options.usdz, &options.html}) {
    if (!model->empty()) outputs.push_back(resolveOutput(options, *model));
  }
  for (size_t i = 0; i < outputs.size(); ++i) {
    const fs::path& out = outputs[i];
    for (const fs::path& in : inputs) {
      if (FileIdentity(out) == FileIdentity(in)) fail("the output " + out.string() + " is an input of this render: " + in.string());
    }
    // Two outputs of one render in one file: the last would replace the
    // first, and the run would say both were written.
    for (size_t j = i + 1; j < outputs.size(); ++j) {
      if (FileIdentity(out) == FileIdentity(outputs[j])) {
        fail("two outputs of this render are one file: " + out.string() + " and " + outputs[j].string());
      }
    }
  }
}

}  // namespace job

}  // namespace kestrova
