// kestrova-render: draws shots without a window and writes them as PNG,
// JPEG, BMP or video; one job from the command line, or one per row of a
// batch.
#include <QCoreApplication>
#include <QGuiApplication>

#include <malloc.h>

#include <algorithm>
#include <csignal>
#include <chrono>
#include <future>
#include <map>

#include <sys/stat.h>
#include <optional>
#include <set>
#include <thread>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/batch.h"
#include "cli/render_job.h"
#include "cli/render_options.h"
#include "formats/file_identity.h"
#include "pictures/metafile_helper.h"
#include "render/texture_loader.h"
#include "shot/project_io.h"

using namespace kestrova;
namespace fs = std::filesystem;

namespace {

volatile std::sig_atomic_t interrupted = 0;

// A drawing under way is ended too: the picture helper's own time limit
// is 15 s.
void onInterrupt(int) {
  interrupted = 1;
  StopPictureHelpers();
}

[[noreturn]] void usage(const std::string& message) {
  std::fprintf(stderr, "kestrova-render: %s\nTry 'kestrova-render --help'.\n", Printable(message).c_str());
  std::exit(2);
}

// The columns whose cells name files read: taken from the CSV's folder.
// Outputs (output, video, describe, glb, usdz, html) are kept as written, with the folder
// beside them, so a "%" in the folder's name never reads as a frame field.
bool namesAnInput(const std::string& column) {
  return column == "project" || column == "environment" || column.rfind("face.", 0) == 0;
}

// The columns whose cells name files written.
bool namesAnOutput(const std::string& column) {
  return column == "output" || column == "video" || column == "describe" || column == "glb" || column == "usdz" ||
         column == "html";
}

std::string identityOf(const std::string& path) { return FileIdentity(path); }

// Whether `name`, written by a sheet in `folder`, stays inside that folder
// (every link followed, one that points at nothing yet too): a spreadsheet
// handed over must not write anywhere else on the machine.
bool staysInside(const fs::path& folder, const std::string& name) {
  return !fs::path(name).is_absolute() && LiesWithin(folder, folder / name);
}

// What a row reads and writes, resolved, for the checks made before any row
// is drawn.
struct RowFiles {
  std::vector<std::string> reads;
  std::vector<std::string> writes;
};

std::string normalPath(const fs::path& folder, const std::string& name) {
  const fs::path path(name);
  return (path.is_absolute() ? path : folder / path).lexically_normal().string();
}

// Two rows writing one file, a row writing what any row reads (or the
// spreadsheet itself), a row reading another's output: refused, naming the
// rows, before anything is drawn. Empty when the rows are independent.
std::string crossedRows(const std::vector<RowFiles>& rows, const std::string& spreadsheet) {
  std::map<std::string, size_t> writer;  // by identity
  const std::string sheet = identityOf(spreadsheet);
  for (size_t r = 0; r < rows.size(); ++r) {
    for (const std::string& file : rows[r].writes) {
      const auto [at, fresh] = writer.emplace(identityOf(file), r);
      if (!fresh) {
        return "rows " + std::to_string(at->second + 1) + " and " + std::to_string(r + 1) + " both write " + file;
      }
      if (identityOf(file) == sheet) return "row " + std::to_string(r + 1) + " would write over the spreadsheet " + file;
    }
  }
  for (size_t r = 0; r < rows.size(); ++r) {
    for (const std::string& file : rows[r].reads) {
      const auto found = writer.find(identityOf(file));
      if (found == writer.end()) continue;
      if (found->second == r) {
        return "row " + std::to_string(r + 1) + " writes " + file + ", which it reads";
      }
      return "row " + std::to_string(r + 1) + " reads " + file + ", which row " + std::to_string(found->second + 1) +
             " writes";
    }
  }
  return {};
}

struct FailedRow {
  size_t row;
  std::string name;
  std::string reason;
};

// The files a render read, as they were: size and modification time.
std::map<std::string, std::pair<uintmax_t, long long>> stamps(const std::set<std::string>& files) {
  std::map<std::string, std::pair<uintmax_t, long long>> seen;
  for (const std::string& file : files) {
    std::error_code missing;
    const uintmax_t size = fs::file_size(file, missing);
    const auto time = fs::last_write_time(file, missing);
    seen[file] = missing ? std::make_pair(uintmax_t{0}, -1LL)
                         : std::make_pair(size, static_cast<long long>(time.time_since_epoch().count()));
  }
  return seen;
}

// --watch: the job again after every save of its project or its pictures,
// once the files have been quiet for a moment, until SIGINT or SIGTERM.
int watchJob(const RenderOptions& options, JobContext& context) {
  std::set<std::string> inputs;
  if (!options.project.empty()) inputs.insert((fs::path(options.folder) / options.project).lexically_normal().string());
  // The cover itself, not the pieces each run cuts it into.
  if (!options.wrap.empty()) inputs.insert((fs::path(options.folder) / options.wrap).lexically_normal().string());
  ObserveTextureLoads([&inputs](const SceneState&, int, const std::string& path) { inputs.insert(path); });
  std::signal(SIGINT, onInterrupt);
  std::signal(SIGTERM, onInterrupt);
  bool first = true;
  while (!interrupted) {
    // Taken before the render reads them: a save while it draws is not lost.
    auto seen = stamps(inputs);
    std::string failure;
    try {
      if (RunJob(options, context, &failure) != 0) std::fprintf(stderr, "kestrova-render: %s\n", Printable(failure).c_str());
    } catch (const UsageError& mistake) {
      std::fprintf(stderr, "kestrova-render: %s\n", Printable(mistake.what()).c_str());
      // A command line refused from the start (an output that is one of
      // its inputs, say) is not watched: no save of a picture mends it.
      if (first) return 2;
    }
    first = false;
    // Files the first render found are as it read them.
    for (const auto& [file, stamp] : stamps(inputs)) seen.emplace(file, stamp);
    std::printf("Watching %zu files; Ctrl+C stops.\n", inputs.size());
    std::fflush(stdout);
    bool changed = false;
    while (!interrupted) {
      std::this_thread::sleep_for(std::chrono::milliseconds(150));
      const auto now = stamps(inputs);
      if (now != seen) {
        changed = true;  // still being written, perhaps: wait for a quiet look
        seen = now;
      } else if (changed) {
        break;
      }
    }
  }
  std::printf("Stopped watching.\n");
  return 0;
}

int runBatch(const std::vector<std::string>& arguments, const RenderOptions& options, JobContext& context) {
  const fs::path csv = fs::absolute(options.batch);
  BatchTable table;
  std::string error;
  if (!ReadBatch(csv.string(), &table, &error)) {
    std::fprintf(stderr, "kestrova-render: %s\n", Printable(error).c_str());
    return 2;
  }
  // The files' text keeps the cells as written, so the same spreadsheet
  // gives the same bytes from any folder.
  const BatchTable written = table;
  // Names in the table are the table's, from its own folder; names on the
  // command line the current folder's, for every row (each row's start-up
  // moves the current folder to the program's).
  const fs::path tableFolder = csv.parent_path();
  const std::string startFolder = options.folder;
  for (size_t c = 0; c < table.columns.size(); ++c) {
    const std::string& column = table.columns[c];
    for (size_t r = 0; r < table.rows.size(); ++r) {
      std::string& cell = table.rows[r][c];
      if (cell.empty()) continue;
      if (namesAnOutput(column) && !staysInside(tableFolder, cell)) {
        std::fprintf(stderr, "kestrova-render: %s: row %zu writes %s outside the spreadsheet's folder; nothing was drawn\n",
                     Printable(csv.string()).c_str(), r + 1, Printable(cell).c_str());
        return 2;
      }
      // The sheet's models, pages and descriptions land beside it, whoever
      // names the row's picture (its output cell keeps its own way).
      const bool beside = namesAnInput(column) || column == "describe" || column == "glb" || column == "usdz" || column == "html";
      if (beside && fs::path(cell).is_relative()) cell = (tableFolder / cell).string();
    }
  }
  std::vector<std::string> shared;
  for (size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] == "--batch" || arguments[i] == "--shard") {
      ++i;
      continue;
    }
    shared.push_back(arguments[i]);
  }
  auto outputColumn = [&](size_t row) {
    for (size_t c = 0; c < table.columns.size(); ++c) {
      if ((table.columns[c] == "output" || table.columns[c] == "video") && !table.rows[row][c].empty()) return true;
    }
    return false;
  };
  auto jobOf = [&](size_t row, std::string* reason) -> std::optional<RenderOptions> {
    std::vector<std::string> rowArguments = shared;
    if (!RowArguments(table, row, &rowArguments, reason)) return std::nullopt;
    RenderOptions job = ParseOptions(rowArguments);
    job.folder = startFolder;
    if (outputColumn(row)) job.outputFolder = tableFolder.string();
    return job;
  };
  // Every row's files first: rows that would tread on each other draw nothing.
  {
    std::vector<RowFiles> files(table.rows.size());
    for (size_t row = 0; row < table.rows.size(); ++row) {
      std::string ignored;
      std::optional<RenderOptions> job;
      try {
        job = jobOf(row, &ignored);
      } catch (const UsageError&) {
      }
      if (!job) continue;  // fails on its own, with its own message
      const fs::path outFolder = job->outputFolder.empty() ? fs::path(startFolder) : fs::path(job->outputFolder);
      const std::string out = job->video.empty() ? job->output : job->video;
      if (!out.empty()) files[row].writes.push_back(normalPath(outFolder, out));
      for (const std::string* also : {&job->describe, &job->glb, &job->usdz, &job->html}) {
        if (!also->empty()) files[row].writes.push_back(normalPath(outFolder, *also));
      }
      if (!job->project.empty()) {
        // The project and the pictures it names: another row must not
        // write over a face this one shows.
        const std::string project = normalPath(startFolder, job->project);
        files[row].reads.push_back(project);
        for (const std::string& face : ProjectFaceFiles(project)) files[row].reads.push_back(face);
      }
      for (const auto& [face, image] : job->faces) files[row].reads.push_back(normalPath(startFolder, image));
      if (!job->look.environment.empty()) files[row].reads.push_back(normalPath(startFolder, job->look.environment));
    }
    const std::string crossed = crossedRows(files, csv.lexically_normal().string());
    if (!crossed.empty()) {
      std::fprintf(stderr, "kestrova-render: %s: %s; nothing was drawn\n", Printable(csv.string()).c_str(), Printable(crossed).c_str());
      return 2;
    }
  }
  // Covers, backs and the default artwork recur from row to row: each is
  // decoded once.
  KeepPreparedTextures(static_cast<size_t>(options.cacheMegabytes) << 20);
  std::signal(SIGINT, onInterrupt);
  std::signal(SIGTERM, onInterrupt);
  const size_t total = table.rows.size();
  size_t rendered = 0;
  std::vector<FailedRow> failures;
  // One picture is compressed and written while the next row draws.
  std::future<std::string> writing;
  FailedRow writingRow{};
  auto collect = [&] {
    if (!writing.valid()) return;
    const std::string reason = writing.get();
    if (reason.empty()) {
      std::printf("Wrote %s\n", Printable(writingRow.name).c_str());
      std::fflush(stdout);
      return;
    }
    --rendered;
    writingRow.reason = reason;
    failures.push_back(writingRow);
    std::fprintf(stderr, "kestrova-render: row %zu (%s) failed: %s\n", writingRow.row, Printable(writingRow.name).c_str(),
                 Printable(reason).c_str());
  };
  size_t current = 0;
  std::string currentName;
  size_t assigned = 0;
  context.writeLater = [&](RgbaImage image, std::string path, bool alpha, FileText text) {
    collect();
    writingRow = {current + 1, currentName, {}};
    writing = std::async(std::launch::async, [image = std::move(image), path, alpha, text]() {
      std::string error;
      return WritePng(image, path, alpha, text, &error) ? std::string() : error;
    });
  };
  for (size_t row = 0; row < total && !interrupted; ++row) {
    if (options.shard && static_cast<int>(row % static_cast<size_t>(options.shard->second)) != options.shard->first) {
      continue;
    }
    ++assigned;
    std::printf("row %zu/%zu\n", row + 1, total);
    std::fflush(stdout);
    std::string reason;
    std::string name;
    int status = 1;
    {
      try {
        std::optional<RenderOptions> parsed = jobOf(row, &reason);
        if (!parsed) throw UsageError(reason);
        RenderOptions job = std::move(*parsed);
        std::vector<std::string> asWritten = shared;
        RowArguments(written, row, &asWritten, &reason);
        job.given.clear();
        for (const std::string& argument : asWritten) job.given += (job.given.empty() ? "" : " ") + argument;
        // The picture's text keeps a few kilobytes of it, however long the cells.
        if (job.given.size() > 4096) job.given = job.given.substr(0, 4096) + " ...";
        name = job.video.empty() ? job.output : job.video;
        current = row;
        currentName = name;
        status = RunJob(job, context, &reason);
      } catch (const UsageError& mistake) {
        reason = mistake.what();
      }
    }
    if (status == 0) {
      ++rendered;
      continue;
    }
    failures.push_back({row + 1, name, reason});
    std::fprintf(stderr, "kestrova-render: row %zu (%s) failed: %s\n", row + 1, Printable(name).c_str(), Printable(reason).c_str());
  }
  collect();
  context.writeLater = nullptr;
  if (options.shard && assigned == 0) {
    std::printf("Shard %d of %d gets none of the %zu rows: nothing to draw\n", options.shard->first,
                options.shard->second, total);
  }
  std::printf("%zu rows rendered, %zu failed%s\n", rendered, failures.size(),
              interrupted ? "; stopped when asked (the row being drawn kept its old file)" : "");
  for (const FailedRow& failure : failures) {
    std::printf("  row %zu (%s): %s\n", failure.row, Printable(failure.name).c_str(), Printable(failure.reason).c_str());
  }
  if (interrupted) return 130;
  return failures.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  // Picture-sized buffers come and go (decoded faces, tiles): each is given
  // back to the system when freed, instead of staying in the heap, so the
  // peak is the largest moment, not the sum of them.
  mallopt(M_MMAP_THRESHOLD, 1 << 20);
  PrintTimings(false);
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  RenderOptions options;
  try {
    options = ParseOptions(arguments);
  } catch (const UsageError& mistake) {
    usage(mistake.what());
  }
  if (options.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (options.version) {
    std::printf("kestrova-render %s\n", KESTROVA_VERSION);
    return 0;
  }
  // Names are the user's, from the folder they ran us in: a folder deleted
  // under the shell gives them no meaning.
  std::error_code lost;
  options.folder = fs::current_path(lost).string();
  if (lost) {
    std::fprintf(stderr,
                 "kestrova-render: the folder it was started in no longer exists (%s); start it from one that "
                 "does\n",
                 lost.message().c_str());
    return 2;
  }
  PrintTimings(options.timings);
  // Ctrl+C and SIGTERM stop at the next band of rows or frame, leaving the
  // file that was at the output; a file-size limit is a failed write with a
  // message, not a dead program.
  std::signal(SIGINT, onInterrupt);
  std::signal(SIGTERM, onInterrupt);
  std::signal(SIGXFSZ, SIG_IGN);
  StopWhenSet(&interrupted);
  // Web pictures are fetched through Qt's network access, which runs on an
  // event loop: without an application object its timeouts never fire.
  // A browser window's title is drawn with a font, which takes a GUI
  // application; off screen, where no display is asked for.
  const bool text = !options.look.title.empty() || !options.project.empty() || !options.batch.empty();
  if (text && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  std::unique_ptr<QCoreApplication> application =
      text ? std::make_unique<QGuiApplication>(argc, argv) : std::make_unique<QCoreApplication>(argc, argv);
  JobContext context;
  if (!options.batch.empty()) {
    const int status = runBatch(arguments, options, context);
    std::fflush(nullptr);
    std::_Exit(status);
  }
  if (options.watch) {
    const int status = watchJob(options, context);
    std::fflush(nullptr);
    std::_Exit(status);
  }
  std::string failure;
  int status = 1;
  try {
    status = RunJob(options, context, &failure);
  } catch (const UsageError& mistake) {
    usage(mistake.what());
  }
  if (status != 0 && interrupted) {
    std::fprintf(stderr, "kestrova-render: stopped when asked; %s was left as it was\n",
                 Printable(options.video.empty() ? options.output : options.video).c_str());
    return 130;
  }
  if (status != 0) {
    std::fprintf(stderr, "kestrova-render: %s\n", Printable(failure).c_str());
    return status;
  }
  // The picture is on disk and closed. Taking down the GL driver, its
  // threads and a few hundred megabytes of mappings one by one would cost
  // a fifth of a small render's time; the system frees them at once.
  std::fflush(nullptr);
  std::_Exit(0);
}
