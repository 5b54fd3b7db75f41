#include "metafile_helper.h"
#include "metafile.h"

#include <QByteArray>
#include <QProcess>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>

#include <csignal>

#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "helper_confinement.h"
#include "picture.h"

namespace kestrova {

namespace {

constexpr char kMagic[4] = {'K', 'M', 'F', '2'};
constexpr int kHeaderBytes = 4 + 5 * 4;
// What the helper may use: enough for a 4096-square drawing several times
// over, far below what the hostile files ask for.
constexpr rlim_t kHelperMemory = 1536ull * 1024 * 1024;
constexpr rlim_t kHelperCpuSeconds = 10;
constexpr int kHelperWallMs = 15000;
// The longest message of the helper's the user is shown.
constexpr size_t kMaxHelperMessage = 200;
constexpr unsigned kCloseRangeCloexec = 1u << 2;

void put32(QByteArray& out, int32_t value) { out.append(reinterpret_cast<const char*>(&value), 4); }

int32_t get32(const QByteArray& in, int at) {
  int32_t value = 0;
  std::memcpy(&value, in.constData() + at, 4);
  return value;
}

// AddressSanitizer reserves terabytes of address space for its shadow
// memory, so under it an address-space limit fails every drawing; a
// sanitizer build keeps the CPU and wall-clock limits only.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kLimitAddressSpace = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kLimitAddressSpace = false;
#else
constexpr bool kLimitAddressSpace = true;
#endif
#else
constexpr bool kLimitAddressSpace = true;
#endif

void limit(int resource, rlim_t value) {
  struct rlimit cap {value, value};
  setrlimit(resource, &cap);
}

// The helpers drawing now, so an interrupt can end them at once: slots
// an async signal handler can read.
constexpr int kHelperSlots = 64;
std::atomic<pid_t> runningHelpers[kHelperSlots];
std::atomic<bool> helpersStopped{false};

// The first line of the helper's standard error says how it is confined;
// it is for whoever runs the helper by hand, not a message for the user.
constexpr char kConfinementPrefix[] = "kestrova-metafile: ";

class RunningHelper {
 public:
  explicit RunningHelper(pid_t pid) {
    for (auto& slot : runningHelpers) {
      pid_t empty = 0;
      if (slot.compare_exchange_strong(empty, pid)) {
        slot_ = &slot;
        break;
      }
    }
    // Stopped between its start and here: the handler could not see it.
    if (helpersStopped.load()) ::kill(pid, SIGKILL);
  }
  ~RunningHelper() {
    if (slot_) slot_->store(0);
  }
  RunningHelper(const RunningHelper&) = delete;
  RunningHelper& operator=(const RunningHelper&) = delete;

 private:
  std::atomic<pid_t>* slot_ = nullptr;
};

}  // namespace

void StopPictureHelpers() {
  helpersStopped.store(true);
  for (auto& slot : runningHelpers) {
    const pid_t pid = slot.load();
    if (pid > 0) ::kill(pid, SIGKILL);
  }
}

bool PictureHelpersStopped() { return helpersStopped.load(); }

std::string MetafileHelperPath() {
  const QByteArray set = qgetenv("KESTROVA_METAFILE_HELPER");
  if (!set.isEmpty()) return set.toStdString();
  std::error_code ignored;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ignored).parent_path();
  // Beside the program (a build's program folder) or in the install's
  // library folder: never in a folder that merely lies nearby.
  for (const auto& candidate : {self / "kestrova-metafile", (self / KESTROVA_HELPER_FROM_BIN).lexically_normal()}) {
    if (std::filesystem::is_regular_file(candidate, ignored)) return candidate.string();
  }
  return (self / "kestrova-metafile").string();
}

namespace {

// What is left of the load's deadline for one drawing, at most the
// helper's own wall-clock limit; 0 when none is left.
int wallLimitMs() {
  const int left = LoadTimeLeftMs();
  return left < 0 ? kHelperWallMs : std::min(left, kHelperWallMs);
}

// The helper's complaint as the user sees it: its first line, at most 200
// characters of printable text.
std::string oneLine(QByteArray said) {
  if (said.startsWith(kConfinementPrefix)) {
    const qsizetype end = said.indexOf('\n');
    said = end < 0 ? QByteArray() : said.mid(end + 1);
  }
  std::string line;
  for (const char c : said.trimmed()) {
    if (c == '\n' || c == '\r' || line.size() >= kMaxHelperMessage) break;
    line += (static_cast<unsigned char>(c) < 32 || c == 127) ? ' ' : c;
  }
  return line;
}

}  // namespace

MetafileRaster DrawMetafileApart(const std::vector<uint8_t>& bytes, int page, int width, int height,
                                 int fitSide) {
  MetafileRaster result;
  if (helpersStopped.load()) {
    result.error = "drawing was stopped";
    return result;
  }
  const std::string program = MetafileHelperPath();
  // Said at once, not after the start's time limit.
  if (::access(program.c_str(), X_OK) != 0) {
    result.error = "the picture helper " + program + " cannot be started (" + std::strerror(errno) + ")";
    return result;
  }
  QProcess helper;
  helper.setProgram(QString::fromStdString(program));
  QStringList arguments;
  if (page > 0) arguments << "--page" << QString::number(page);
  const bool sized = width > 0 && height > 0;
  fitSide = sized ? 0 : std::clamp(fitSide, 0, kMaxDrawingSide);
  if (fitSide > 0) arguments << "--fit" << QString::number(fitSide);
  if (sized) {
    width = std::min(width, kMaxDrawingSide);
    height = std::min(height, kMaxDrawingSide);
    arguments << "--size" << QString::number(width) + "x" + QString::number(height);
  }
  helper.setArguments(arguments);
  const int wallMs = wallLimitMs();
  if (wallMs == 0) {
    result.error = "no time was left to draw it (the load's drawings took 30 s)";
    return result;
  }
  // The helper dies with the program and starts with only its standard
  // input, output and error: nothing of the program's (its sockets, its
  // files) is within reach of a drawing that takes it over.
  // Marked close-on-exec rather than closed: Qt's own pipe, which reports a
  // failed start, must stay open until the helper's program replaces us.
  helper.setChildProcessModifier([] {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    ::syscall(SYS_close_range, 3u, ~0u, kCloseRangeCloexec);
  });
  // At most the picture asked for (else one of the largest side) and its
  // header: a helper flooding its output is stopped, not buffered.
  const qint64 largest = std::max(kMaxMetafileSide, fitSide);
  const qint64 most = kHeaderBytes + (sized ? qint64{width} * height : largest * largest) * 4;
  QByteArray out;
  QByteArray said;
  bool flooded = false;
  QObject::connect(&helper, &QProcess::readyReadStandardOutput, [&] {
    out.append(helper.readAllStandardOutput());
    if (out.size() > most && !flooded) {
      flooded = true;
      helper.kill();
    }
  });
  QObject::connect(&helper, &QProcess::readyReadStandardError, [&] {
    const QByteArray more = helper.readAllStandardError();
    if (said.size() < 4096) said.append(more.left(4096 - said.size()));
  });
  helper.start(QIODevice::ReadWrite);
  if (!helper.waitForStarted(5000)) {
    result.error = "the picture helper " + program + " could not be started (" + helper.errorString().toStdString() + ")";
    return result;
  }
  const RunningHelper running(static_cast<pid_t>(helper.processId()));
  helper.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
  helper.closeWriteChannel();
  if (!helper.waitForFinished(wallMs)) {
    helper.kill();
    if (helpersStopped.load()) {
      helper.waitForFinished(1000);
      result.error = "drawing was stopped";
      return result;
    }
    helper.waitForFinished(1000);
    result.error = wallMs < kHelperWallMs ? "no time was left to draw it (the load's drawings took 30 s)"
                                          : "the metafile took too long to draw";
    return result;
  }
  if (!flooded) out.append(helper.readAllStandardOutput());
  said.append(helper.readAllStandardError().left(std::max<qsizetype>(0, 4096 - said.size())));
  if (flooded || out.size() > most) {
    result.error = "the metafile helper sent more than a picture; it was stopped";
    return result;
  }
  if (helpersStopped.load()) {
    result.error = "drawing was stopped";
    return result;
  }
  if (helper.exitStatus() != QProcess::NormalExit || helper.exitCode() != 0) {
    const std::string line = oneLine(said);
    result.error = line.empty() || helper.exitStatus() != QProcess::NormalExit
                       ? std::string("the metafile is damaged or asks for more than Kestrova allows")
                       : line;
    return result;
  }
  if (out.size() < kHeaderBytes || std::memcmp(out.constData(), kMagic, 4) != 0) {
    result.error = "the metafile helper gave no picture";
    return result;
  }
  const int drawnWidth = get32(out, 12);
  const int drawnHeight = get32(out, 16);
  const int limit = sized ? kMaxDrawingSide : std::max(kMaxMetafileSide, fitSide);
  if (drawnWidth < 1 || drawnHeight < 1 || drawnWidth > limit || drawnHeight > limit ||
      (sized && (drawnWidth != width || drawnHeight != height)) ||
      out.size() != kHeaderBytes + static_cast<qsizetype>(drawnWidth) * drawnHeight * 4) {
    result.error = "the metafile helper gave a damaged picture";
    return result;
  }
  result.himetricWidth = get32(out, 4);
  result.himetricHeight = get32(out, 8);
  result.scalable = (get32(out, 20) & 1) != 0;
  result.pixels.width = drawnWidth;
  result.pixels.height = drawnHeight;
  result.pixels.pixels.assign(reinterpret_cast<const uint8_t*>(out.constData()) + kHeaderBytes,
                              reinterpret_cast<const uint8_t*>(out.constData()) + out.size());
  return result;
}

int RunMetafileHelper(const MetafileDecoder& decode, int argc, char** argv) {
  // Whatever the program that started us left open is closed before any
  // drawing is read.
  ::syscall(SYS_close_range, 3u, ~0u, 0u);
  int askedWidth = 0;
  int askedHeight = 0;
  int fitSide = 0;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--fit") == 0) fitSide = std::clamp(std::atoi(argv[i + 1]), 0, kMaxDrawingSide);
    if (std::strcmp(argv[i], "--page") == 0) SetDocumentPage(std::atoi(argv[i + 1]));
    if (std::strcmp(argv[i], "--size") == 0 && std::sscanf(argv[i + 1], "%dx%d", &askedWidth, &askedHeight) != 2) {
      askedWidth = askedHeight = 0;
    }
  }
  if (kLimitAddressSpace) limit(RLIMIT_AS, kHelperMemory);
  limit(RLIMIT_CPU, kHelperCpuSeconds);
  limit(RLIMIT_CORE, 0);
  std::vector<uint8_t> bytes;
  uint8_t chunk[65536];
  for (;;) {
    const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
    if (n <= 0) break;
    bytes.insert(bytes.end(), chunk, chunk + n);
    if (bytes.size() > 64u * 1024 * 1024) {
      std::fputs("the metafile is larger than 64 MB", stderr);
      return 1;
    }
  }
  // The picture is in hand: from here on the players can read nothing but
  // their own libraries and data, whatever a drawing names.
  std::error_code ignored;
  const std::string ownFolder =
      std::filesystem::read_symlink("/proc/self/exe", ignored).parent_path().string();
  const Confinement confinement = ConfineToLibraries(ownFolder);
  std::fprintf(stderr, "%s%s\n", kConfinementPrefix, confinement.said.c_str());
  std::fflush(stderr);
  const PictureResult decoded = decode(bytes, "the metafile");
  if (!decoded.picture) {
    std::fputs(decoded.error.c_str(), stderr);
    return 1;
  }
  // Drawn at its own size at 96 per inch, at most a texture's side: a tiny
  // file claiming a frame of 100 metres costs no more than a real picture.
  int width = std::clamp(HimetricToPixels(decoded.picture->himetricWidth()), 1, kMaxMetafileSide);
  int height = std::clamp(HimetricToPixels(decoded.picture->himetricHeight()), 1, kMaxMetafileSide);
  if (askedWidth > 0 && askedHeight > 0) {
    width = std::min(askedWidth, kMaxDrawingSide);
    height = std::min(askedHeight, kMaxDrawingSide);
  } else if (decoded.picture->scalable()) {
    // A drawing is drawn large, so a face shown big stays sharp: its longer
    // side at kSharpSide pixels, never past the limit.
    constexpr double kSharpSide = 2048;
    const double scale = std::min(kSharpSide / std::max(width, height),
                                  static_cast<double>(kMaxMetafileSide) / std::max(width, height));
    if (scale > 1) {
      width = std::clamp(static_cast<int>(width * scale + 0.5), 1, kMaxMetafileSide);
      height = std::clamp(static_cast<int>(height * scale + 0.5), 1, kMaxMetafileSide);
    }
  }
  if (fitSide > 0 && decoded.picture->scalable() && askedWidth == 0) {
    // Drawn at once at the size its face needs: one drawing, not two.
    FitDrawing(decoded.picture->himetricWidth(), decoded.picture->himetricHeight(), fitSide, &width, &height);
  }
  const RgbaImage drawn = decoded.picture->render(width, height);
  if (drawn.width != width || drawn.height != height) {
    std::fputs("the metafile could not be drawn", stderr);
    return 1;
  }
  QByteArray out(kMagic, 4);
  put32(out, decoded.picture->himetricWidth());
  put32(out, decoded.picture->himetricHeight());
  put32(out, width);
  put32(out, height);
  put32(out, decoded.picture->scalable() ? 1 : 0);
  out.append(reinterpret_cast<const char*>(drawn.pixels.data()), static_cast<qsizetype>(drawn.pixels.size()));
  size_t done = 0;
  while (done < static_cast<size_t>(out.size())) {
    const ssize_t n = ::write(STDOUT_FILENO, out.constData() + done, static_cast<size_t>(out.size()) - done);
    if (n <= 0) return 1;
    done += static_cast<size_t>(n);
  }
  return 0;
}

}  // namespace kestrova
