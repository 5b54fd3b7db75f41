#pragma once
// What the command line's tests share: running the programs, reading what
// they wrote, and the pictures and files the tests make. Included by each
// of tests/cli's test files.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QTemporaryDir>
#include <chrono>
#include <csignal>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <vector>
#include <regex>
#include <sstream>
#include <string>

#include "tests/cli/cli_run.h"
#include "tests/support/png_text.h"
#include "tests/support/video_reader.h"

namespace fs = std::filesystem;

namespace {

namespace fs = std::filesystem;

inline std::string bytesOf(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A CSV of `rows` small box renders, turned a little more each row.
inline void writeBatch(const fs::path& csv, int rows) {
  std::ofstream out(csv);
  out << "output,rotation,size\n";
  for (int i = 0; i < rows; ++i) out << "out/" << i << ".png,\"30," << 10 * i << ",0\",96x72\n";
}

}  // namespace


namespace {

inline std::string fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Files in `folder` other than `keep`: temporaries left behind.
inline std::vector<std::string> othersIn(const std::string& folder, const std::string& keep) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().filename() != keep) names.push_back(entry.path().filename().string());
  }
  return names;
}

// Each output kind, written where it cannot fit, over an older file.
struct Overwrite {
  const char* name;
  const char* arguments;
};
constexpr Overwrite kOverwrites[] = {
    {"shot.png", "-o {} --size 3000x3000"},
    {"shot.jpg", "-o {} --size 3000x3000 --quality 100"},
    {"shot.bmp", "-o {} --size 3000x3000"},
    {"spin.mp4", "--video {} --turntable 2 --size 1280x720"},
    {"spin.webm", "--video {} --turntable 2 --size 1280x720"},
};

inline std::string withOutput(const char* pattern, const std::string& path) {
  std::string arguments = pattern;
  arguments.replace(arguments.find("{}"), 2, path);
  return arguments;
}

}  // namespace


namespace {

// A version-5 project written field by field, naming `front` as the box's
// front picture, turned to face the camera.
inline std::vector<uint8_t> handWrittenProject(const std::string& front, const std::string& mug = "") {
  std::vector<uint8_t> b;
  auto f32 = [&b](float v) {
    uint32_t u;
    std::memcpy(&u, &v, 4);
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(u >> (8 * i)));
  };
  auto i32 = [&f32](int32_t v) {
    float f;
    std::memcpy(&f, &v, 4);
    f32(f);
  };
  auto str = [&b](const std::string& s) {
    b.push_back(static_cast<uint8_t>(s.size()));  // names under 255 bytes: one length byte
    b.insert(b.end(), s.begin(), s.end());
  };
  f32(0), f32(0), f32(0);  // lighting, texture scroll
  str("\x05");
  f32(0);   // box style
  str("");  // web link
  str(""), str(""), str("");  // book front, back, spine
  f32(0), f32(0), f32(0);
  str(mug), f32(static_cast<float>(mug.size()));  // mug
  for (int face = 0; face < 5; ++face) str(""), f32(0);  // bottom, top, right, left, back
  str(front), f32(static_cast<float>(front.size()));
  f32(4);                                   // the box
  f32(0), f32(0), f32(0);                   // rotation
  f32(0), f32(0), f32(0);                   // pan
  f32(1), f32(1), f32(10);                  // spot
  f32(0), f32(14), f32(-45);                // scale
  i32(640), i32(480);                       // view
  f32(1), f32(0.26f), f32(0.21f), f32(0.035f), f32(0);  // binding, box size, spin
  i32(0);                                   // book style
  f32(1), f32(1), f32(1);                   // background
  f32(0);                                   // book flag
  i32(0);                                   // no keys
  for (int v = 0; v < 12; ++v) f32(v >= 6 && v < 9 ? 1 : 0);  // base pose
  return b;
}

inline void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

// The middle of a picture: how red and how green.
inline std::pair<int, int> middleRedGreen(const std::string& path) {
  const QImage image(QString::fromStdString(path));
  const QRgb p = image.pixel(image.width() / 2, image.height() / 2);
  return {qRed(p), qGreen(p)};
}

}  // namespace


namespace {

// Luminance (Rec. 709 weights on the stored values) of a picture over white,
// averaged over 2 x 2 blocks: the path tracer's grain counts for less.
inline std::vector<double> luminanceOverWhite(const QImage& picture) {
  const QImage image = picture.convertToFormat(QImage::Format_RGBA8888);
  const int w = image.width() / 2, h = image.height() / 2;
  std::vector<double> out(static_cast<size_t>(w * h));
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      double sum = 0;
      for (int k = 0; k < 4; ++k) {
        const QRgb p = image.pixel(2 * x + k % 2, 2 * y + k / 2);
        const double a = qAlpha(p) / 255.0;
        const double l = (0.2126 * qRed(p) + 0.7152 * qGreen(p) + 0.0722 * qBlue(p)) / 255.0;
        sum += l * a + (1 - a);
      }
      out[static_cast<size_t>(y * w + x)] = sum / 4;
    }
  }
  return out;
}

// The mean structural similarity of two pictures over 8 x 8 windows.
inline double ssim(const std::vector<double>& a, const std::vector<double>& b, int w, int h) {
  const double c1 = 0.01 * 0.01, c2 = 0.03 * 0.03;
  double total = 0;
  int windows = 0;
  for (int y = 0; y + 8 <= h; y += 4) {
    for (int x = 0; x + 8 <= w; x += 4) {
      double ma = 0, mb = 0;
      for (int j = 0; j < 64; ++j) ma += a[static_cast<size_t>((y + j / 8) * w + x + j % 8)], mb += b[static_cast<size_t>((y + j / 8) * w + x + j % 8)];
      ma /= 64, mb /= 64;
      double va = 0, vb = 0, cov = 0;
      for (int j = 0; j < 64; ++j) {
        const double da = a[static_cast<size_t>((y + j / 8) * w + x + j % 8)] - ma;
        const double db = b[static_cast<size_t>((y + j / 8) * w + x + j % 8)] - mb;
        va += da * da, vb += db * db, cov += da * db;
      }
      va /= 63, vb /= 63, cov /= 63;
      total += ((2 * ma * mb + c1) * (2 * cov + c2)) / ((ma * ma + mb * mb + c1) * (va + vb + c2));
      ++windows;
    }
  }
  return total / windows;
}

}  // namespace


namespace {

// A script of this folder run with node from the test tools' folder, where
// its packages (glTF-Validator, three.js) were installed by the test set-up.
inline CliRun nodeScript(const std::string& script, const std::string& arguments) {
  const std::string copy = std::string(KESTROVA_NPM_TOOLS) + "/" + script;
  std::error_code failed;
  fs::copy_file(std::string(KESTROVA_CLI_SCRIPTS) + "/" + script, copy, fs::copy_options::overwrite_existing, failed);
  return runProgram("node " + copy, arguments);
}

// The JSON objects a tool printed on lines starting with `tag` and a space.
inline std::vector<QJsonObject> taggedLines(const std::string& output, const std::string& tag) {
  std::vector<QJsonObject> found;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(tag + " ", 0) != 0) continue;
    found.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(line.substr(tag.size() + 1))).object());
  }
  return found;
}

inline void flatPicture(const std::string& path, QRgb colour) {
  QImage picture(64, 64, QImage::Format_RGB32);
  picture.fill(colour);
  ASSERT_TRUE(picture.save(QString::fromStdString(path)));
}

}  // namespace


namespace {

inline bool greyish(QRgb p) { return std::abs(qRed(p) - qGreen(p)) < 8 && std::abs(qGreen(p) - qBlue(p)) < 8; }

inline std::string flatPicture(const std::string& path, QColor colour) {
  QImage picture(64, 32, QImage::Format_RGB32);
  picture.fill(colour);
  picture.save(QString::fromStdString(path));
  return path;
}

}  // namespace


namespace {

inline double toLinear(double v) {
  v /= 255;
  return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}
inline double toLevels(double v) {
  v = std::clamp(v, 0.0, 1.0);
  return 255 * (v <= 0.0031308 ? v * 12.92 : 1.055 * std::pow(v, 1 / 2.4) - 0.055);
}

// Lanczos-3 along one axis of a linear-light picture, to `out` samples.
inline std::vector<double> lanczosAxis(const std::vector<double>& in, int width, int height, int out, bool alongRows) {
  const int n = alongRows ? width : height;
  const double scale = static_cast<double>(out) / n, support = 3 / std::min(scale, 1.0);
  const int w2 = alongRows ? out : width, h2 = alongRows ? height : out;
  std::vector<double> result(static_cast<size_t>(w2) * h2);
  auto sinc = [](double x) { return x == 0 ? 1.0 : std::sin(M_PI * x) / (M_PI * x); };
  for (int i = 0; i < out; ++i) {
    const double centre = (i + 0.5) / scale - 0.5;
    std::vector<std::pair<int, double>> taps;
    double total = 0;
    for (int k = static_cast<int>(std::floor(centre - support)) + 1; k <= static_cast<int>(std::floor(centre + support)); ++k) {
      const double x = (k - centre) * std::min(scale, 1.0), weight = sinc(x) * sinc(x / 3);
      taps.emplace_back(std::clamp(k, 0, n - 1), weight);
      total += weight;
    }
    const int lines = alongRows ? height : width;
    for (int line = 0; line < lines; ++line) {
      double sum = 0;
      for (const auto& [k, weight] : taps) sum += weight * in[alongRows ? static_cast<size_t>(line) * width + k : static_cast<size_t>(k) * width + line];
      result[alongRows ? static_cast<size_t>(line) * w2 + i : static_cast<size_t>(i) * w2 + line] = sum / total;
    }
  }
  return result;
}

}  // namespace


namespace {

inline QImage drawn(const std::string& arguments, const QTemporaryDir& dir, const char* name) {
  const std::string out = dir.filePath(name).toStdString();
  const CliRun made = run(arguments + " -o " + out);
  EXPECT_EQ(made.status, 0) << made.output;
  return QImage(QString::fromStdString(out)).convertToFormat(QImage::Format_RGB32);
}

}  // namespace


namespace {

// pdfinfo's box, in points: left, bottom, right, top.
inline std::array<double, 4> pdfBox(const std::string& info, const std::string& box) {
  std::array<double, 4> at{};
  std::istringstream lines(info);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(box + ":", 0) != 0) continue;
    std::istringstream(line.substr(box.size() + 1)) >> at[0] >> at[1] >> at[2] >> at[3];
  }
  return at;
}

constexpr double kPointsPerMm = 72 / 25.4;

}  // namespace

