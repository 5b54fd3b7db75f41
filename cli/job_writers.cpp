#include "cli/job_parts.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/render_options.h"
#include "formats/bmp_export.h"
#include "formats/file_names.h"
#include "formats/file_replace.h"
#include "formats/png_writer.h"
#include "formats/video_writer.h"
#include "pictures/qimage_bridge.h"
#include "render/deferred_assets.h"
#include "render/export_image.h"
#include "render/shop_files.h"
#include "scene/paper.h"

namespace fs = std::filesystem;

namespace kestrova {

namespace job {

// The model options the command line asks for.
ShopExportOptions shopOptionsOf(const RenderOptions& options) {
  ShopExportOptions shop;
  shop.textureSize = options.textureSize;
  std::copy(options.dimensions, options.dimensions + 3, shop.dimensions);
  return shop;
}

// A book's thickness for --pages and --paper, as printers work out a spine:
// the leaves times the paper's caliper; the hard back's two boards beside
// them (the program's are 0.14 of its 11.2 units of height each: 2.8 mm at
// its 225 mm).
double SpineMm(const SceneState& scene, const RenderOptions& options) {
  const double caliper = PaperCaliperMm(options.paperGsm).value_or(0.1);
  constexpr double kHardBackBoardsMm = 2 * 0.14 / 11.2 * 225;
  return PageBlockMm(options.pages, caliper) + (scene.bookBinding >= 2.0f ? kHardBackBoardsMm : 0.0);
}

// --glb, --usdz and --html: the product as a shop's 3D model, beside its
// picture, and a page that shows it.
bool writeShopModels(SceneState& scene, const RenderOptions& options, const fs::path& programFolder,
                     std::string* failure) {
  ShopFilesRequest request;
  if (!options.glb.empty()) request.glb = resolveOutput(options, options.glb).string();
  if (!options.usdz.empty()) request.usdz = resolveOutput(options, options.usdz).string();
  if (!options.html.empty()) request.html = resolveOutput(options, options.html).string();
  request.model = shopOptionsOf(options);
  if (options.pages > 0 && request.model.dimensions[2] <= 0 && scene.productKind <= 1.0f) {
    request.model.dimensions[2] = static_cast<float>(SpineMm(scene, options));
  }
  request.limitBytes = static_cast<uint64_t>(options.modelLimitMB) << 20;
  request.width = options.width;
  request.height = options.height;
  request.programFolder = programFolder.string();
  // The page's pictures have their own option; --turntable N alone (no
  // video, whose seconds it counts) still means N pictures, as it did.
  request.turnPictures = options.turnPictures > 0 ? options.turnPictures
                         : options.video.empty() && options.turntable > 0 ? static_cast<int>(std::lround(options.turntable))
                                                                          : 0;
  request.tooLarge = [&options](const std::string& path, uint64_t bytes) {
    return path + " would be " + Megabytes(bytes) + " MB, more than the " + std::to_string(options.modelLimitMB) +
           " MB a shop page takes: a smaller --texture-size (now " + std::to_string(options.textureSize) +
           ") makes it smaller";
  };
  std::vector<std::string> wrote;
  std::string why;
  const bool written = WriteShopFiles(scene, request, &wrote, &why);
  for (const std::string& line : wrote) std::printf("Wrote %s\n", line.c_str());
  if (!written) failed(failure, why);
  return written;
}

bool isJpeg(const std::string& path) { return EndsWithIgnoringCase(path, ".jpg") || EndsWithIgnoringCase(path, ".jpeg"); }

bool writeImage(const RgbaImage& image, const std::string& path, int quality, std::string* error,
                bool keepAlpha, const FileText& text) {
  if (EndsWithIgnoringCase(path, ".bmp")) return WriteBmpFile(path, CaptureFromRgba(image), error);
  if (EndsWithIgnoringCase(path, ".png")) {
    PngWriter png;
    return png.open(path, image.width, image.height, keepAlpha, error, text) &&
           png.write(image.pixels.data(), image.height, error) && png.finish(error);
  }
  QImage picture = ToQImage(image);
  // The frame's alpha is the clear colour's, not a cut-out: save it opaque.
  const bool jpeg = isJpeg(path);
  // Straight (not premultiplied) alpha, as PNG stores it.
  const QImage::Format format = keepAlpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888;
  QImage stored = picture.convertToFormat(format);
  // A JPEG keeps the text as its comment.
  for (const auto& [key, value] : text) stored.setText(QString::fromStdString(key), QString::fromStdString(value));
  QByteArray encoded;
  QBuffer buffer(&encoded);
  buffer.open(QIODevice::WriteOnly);
  if (!stored.save(&buffer, jpeg ? "JPEG" : "PNG", jpeg ? quality : -1)) {
    *error = "cannot write " + path + ": the picture could not be encoded";
    return false;
  }
  // Whole or not at all: a failed write keeps the file that was there.
  std::string reason;
  if (!ReplaceFile(path, {encoded.begin(), encoded.end()}, &reason)) {
    *error = "cannot write " + path + ": " + reason;
    return false;
  }
  return true;
}

// The animation of a project, or one turn about the vertical axis from the
// shot's pose, as a video. A failed export leaves no file behind.
int writeVideo(SceneState& scene, RenderHost& host, const RenderOptions& options, const std::string& path,
               const ExportOptionsFor& exportOptions, std::string* failure) {
  std::string error;
  int frames = 0;
  if (options.turntable > 0) {
    frames = TurntableFrames(options.turntable, options.fps);
  } else {
    if (scene.keyCount == 0) fail("the project has no keys to animate; try --turntable SECONDS");
    frames = scene.bakedFrameCount;
  }
  std::unique_ptr<VideoWriter> writer = VideoWriter::Open(path, options.width, options.height, options.fps, &error,
                                                               options.transparent);
  if (!writer) return failed(failure, error);
  const float startY = scene.rotation[1];
  scene.playing = false;
  for (int i = 0; i < frames; ++i) {
    std::optional<int> frame;
    if (options.turntable > 0) {
      scene.rotation[1] = TurntableAngle(startY, i, frames);
    } else {
      frame = i;
    }
    const RgbaImage image = RenderExport(scene, host, exportOptions(frame), &error);
    if (stopAsked()) error = kStoppedWhenAsked;
    if (stopAsked() || image.pixels.empty() || !writer->addFrame(image, &error)) {
      writer->abandon();
      return failed(failure, error);
    }
    std::printf("\rEncoded frame %d of %d (%d%%)", i + 1, frames, (i + 1) * 100 / frames);
    std::fflush(stdout);
  }
  if (!writer->finish(&error)) {
    return failed(failure, error);
  }
  reportModelMessages(scene);
  std::printf("\nWrote %s (%d frames, %dx%d, %d frames a second)\n", Printable(path).c_str(), frames, options.width,
              options.height, options.fps);
  return 0;
}

// The picture, the frames or the video a job asks for, drawn and written:
// 0, or 1 with `failure`.
int writePictures(SceneState& scene, const RenderOptions& options, JobContext& context, const fs::path& project,
                  const fs::path& output, const std::optional<FramePattern>& pattern, std::string* failure) {
  const FileText text = fileText(options, project);
  RenderHost host;
  std::string error;
  auto exportOptions = [&options](std::optional<int> frame) {
    ExportOptions o;
    o.width = options.width;
    o.height = options.height;
    o.supersample = options.supersample;
    o.transparent = options.transparent;
    o.frame = frame;
    return o;
  };
  if (!options.video.empty()) return writeVideo(scene, host, options, output.string(), exportOptions, failure);
  if (options.frames) {
    const auto [first, last] = *options.frames;
    if (scene.keyCount == 0) fail(options.project + " has no keys: it is one still shot; leave out --frames");
    if (last >= scene.bakedFrameCount) {
      fail(options.project + " has frames 0 to " + std::to_string(scene.bakedFrameCount - 1) + ", not " +
           std::to_string(first) + " to " + std::to_string(last));
    }
    int written = 0;
    for (int frame = first; frame <= last; ++frame) {
      // A shard draws every Nth frame, starting at its own.
      if (options.shard && (frame - first) % options.shard->second != options.shard->first) continue;
      const RgbaImage image = RenderExport(scene, host, exportOptions(frame), &error);
      if (stopAsked()) return failed(failure, kStoppedWhenAsked);
      if (image.pixels.empty()) {
        return failed(failure, error);
      }
      const std::string name = resolveOutput(options, numbered(*pattern, frame)).string();
      if (!writeImage(image, name, options.quality, &error, options.transparent, text)) {
        return failed(failure, error);
      }
      ++written;
      std::printf("\rRendered frame %d of %d-%d (%d%%)", frame, first, last,
                  static_cast<int>(100.0 * (frame - first + 1) / (last - first + 1)));
      std::fflush(stdout);
    }
    reportModelMessages(scene);
    if (written == 0) {
      std::printf("\nShard %d of %d gets none of frames %d to %d: nothing to draw\n", options.shard->first,
                  options.shard->second, first, last);
      return 0;
    }
    std::printf("\nWrote %d frames as %s\n", written, Printable(options.output).c_str());
    return 0;
  }
  std::optional<int> frame;
  if (options.frame && scene.keyCount == 0) {
    fail(options.project + " has no keys: it is one still shot; leave out --frame");
  }
  if (!options.project.empty() && scene.keyCount > 0) {
    frame = options.frame.value_or(0);
    if (*frame >= scene.bakedFrameCount) {
      fail(options.project + " has frames 0 to " + std::to_string(scene.bakedFrameCount - 1) + ", not " +
           std::to_string(*frame));
    }
  }
  phases().lap("scene");
  // The product's own pictures and models, which its first frame would load:
  // here, so the timings tell decoding from drawing.
  if (const std::optional<ShownProduct> shown = ShownProductOf(scene.productKind)) LoadAssetsFor(scene, *shown);
  phases().lap("pictures");
  if (EndsWithIgnoringCase(output.string(), ".png") && context.writeLater &&
      static_cast<long long>(options.width) * options.height <= 4096LL * 4096LL) {
    // In a batch the next row draws while this one is compressed.
    RgbaImage image = RenderExport(scene, host, exportOptions(frame), &error);
    if (image.pixels.empty()) return failed(failure, error);
    // Said written by the batch once it is in place.
    context.writeLater(std::move(image), output.string(), options.transparent, text);
    phases().lap("draw");
    reportModelMessages(scene);
    phases().print();
    return 0;
  } else if (EndsWithIgnoringCase(output.string(), ".png")) {
    // Rows go to the file as they are drawn: a picture of any size costs the
    // memory of one band of tiles.
    PngWriter png;
    const bool written =
        png.open(output.string(), options.width, options.height, options.transparent, &error, text) &&
        RenderExportRows(scene, host, exportOptions(frame),
                         [&png](const uint8_t* rgba, int, int rows, std::string* why) {
                           if (stopAsked()) {
                             *why = kStoppedWhenAsked;
                             return false;
                           }
                           return png.write(rgba, rows, why);
                         },
                         &error) &&
        png.finish(&error);
    if (!written) {
      return failed(failure, error);
    }
    phases().lap("draw and write");
  } else {
    const RgbaImage image = RenderExport(scene, host, exportOptions(frame), &error);
    if (stopAsked()) return failed(failure, kStoppedWhenAsked);
    if (image.pixels.empty()) {
      return failed(failure, error);
    }
    phases().lap("draw");
    if (!writeImage(image, output.string(), options.quality, &error, options.transparent, text)) {
      return failed(failure, error);
    }
    phases().lap("write");
  }
  reportModelMessages(scene);
  std::printf("Wrote %s (%dx%d)\n", Printable(options.output).c_str(), options.width, options.height);
  phases().print();
  return 0;
}

}  // namespace job

}  // namespace kestrova
