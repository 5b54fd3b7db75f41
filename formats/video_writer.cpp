#include "video_writer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <vector>

#include "file_names.h"
#include "file_replace.h"

namespace kestrova {

namespace {

std::string avError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

// A palette for GIF: the 256 most used colours of the first frame, counted at
// 5 bits a channel, and every 5-bit colour's nearest entry.
class Palette {
 public:
  explicit Palette(const RgbaImage& frame) {
    std::vector<uint32_t> counts(32768, 0);
    for (size_t i = 0; i < frame.pixels.size(); i += 4) ++counts[key(&frame.pixels[i])];
    std::vector<uint32_t> order(32768);
    for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    std::partial_sort(order.begin(), order.begin() + 256, order.end(),
                      [&counts](uint32_t a, uint32_t b) { return counts[a] > counts[b]; });
    for (int i = 0; i < 256; ++i) {
      const uint32_t k = order[static_cast<size_t>(i)];
      colours_[static_cast<size_t>(i)] = {static_cast<uint8_t>((k >> 10) << 3 | 4), static_cast<uint8_t>(((k >> 5) & 31) << 3 | 4),
                                          static_cast<uint8_t>((k & 31) << 3 | 4)};
    }
    nearest_.resize(32768);
    for (uint32_t k = 0; k < 32768; ++k) {
      const int r = static_cast<int>((k >> 10) << 3 | 4), g = static_cast<int>(((k >> 5) & 31) << 3 | 4),
                b = static_cast<int>((k & 31) << 3 | 4);
      int best = 0;
      int bestDistance = 1 << 30;
      for (int i = 0; i < 256; ++i) {
        const auto& c = colours_[static_cast<size_t>(i)];
        const int d = (r - c[0]) * (r - c[0]) + (g - c[1]) * (g - c[1]) + (b - c[2]) * (b - c[2]);
        if (d < bestDistance) {
          bestDistance = d;
          best = i;
        }
      }
      nearest_[k] = static_cast<uint8_t>(best);
    }
  }
  uint8_t index(const uint8_t* rgba) const { return nearest_[key(rgba)]; }
  // AV_PIX_FMT_PAL8's palette: 32-bit ARGB words.
  void fill(uint32_t* palette) const {
    for (size_t i = 0; i < 256; ++i) {
      palette[i] = 0xFF000000u | uint32_t{colours_[i][0]} << 16 | uint32_t{colours_[i][1]} << 8 | colours_[i][2];
    }
  }

 private:
  static uint32_t key(const uint8_t* p) { return uint32_t{p[0]} >> 3 << 10 | uint32_t{p[1]} >> 3 << 5 | p[2] >> 3; }
  std::array<std::array<uint8_t, 3>, 256> colours_{};
  std::vector<uint8_t> nearest_;
};

class FfmpegWriter : public VideoWriter {
 public:
  ~FfmpegWriter() override {
    if (!finished_) abandon();
    release();
  }

  bool open(const std::string& path, int width, int height, int fps, bool alpha, std::string* error) {
    path_ = path;
    gif_ = EndsWithIgnoringCase(path, ".gif");
    const bool webm = EndsWithIgnoringCase(path, ".webm");
    auto fail = [&](const std::string& why) {
      if (error) *error = "cannot write " + path + ": " + why;
      return false;
    };
    if (alpha && !webm) return fail("only a WebM video keeps transparency: name a .webm file");
    const AVPixelFormat planes = alpha ? AV_PIX_FMT_YUVA420P : AV_PIX_FMT_YUV420P;
    if (!gif_ && (width % 2 || height % 2)) return fail("MP4 and WebM want an even width and height");
    // Written under a temporary name beside the target and renamed into
    // place when finished: a failure or an interruption keeps the old file.
    std::string reason;
    if (!pending_.open(path, &reason)) return fail(reason);
    if (avformat_alloc_output_context2(&format_, nullptr, gif_ ? "gif" : webm ? "webm" : "mp4",
                                       pending_.temporaryPath().c_str()) < 0 ||
        !format_) {
      return fail("no such video format");
    }
    const AVCodec* codec =
        avcodec_find_encoder(gif_ ? AV_CODEC_ID_GIF : webm ? AV_CODEC_ID_VP9 : AV_CODEC_ID_H264);
    if (!codec) return fail("this FFmpeg has no encoder for it");
    codec_ = avcodec_alloc_context3(codec);
    codec_->width = width;
    codec_->height = height;
    codec_->time_base = {1, fps};
    codec_->framerate = {fps, 1};
    codec_->pix_fmt = gif_ ? AV_PIX_FMT_PAL8 : planes;
    codec_->gop_size = fps * 2;
    if (!gif_ && !webm) {
      av_opt_set(codec_->priv_data, "preset", "veryfast", 0);
      av_opt_set(codec_->priv_data, "crf", "20", 0);
    } else if (webm) {
      av_opt_set(codec_->priv_data, "deadline", "realtime", 0);
      av_opt_set(codec_->priv_data, "cpu-used", "8", 0);
      av_opt_set(codec_->priv_data, "crf", "30", 0);
      codec_->bit_rate = 0;
    }
    if (format_->oformat->flags & AVFMT_GLOBALHEADER) codec_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int status = avcodec_open2(codec_, codec, nullptr);
    if (status < 0) return fail(avError(status));
    stream_ = avformat_new_stream(format_, nullptr);
    avcodec_parameters_from_context(stream_->codecpar, codec_);
    stream_->time_base = codec_->time_base;
    stream_->avg_frame_rate = {fps, 1};
    // Players look for this tag before they read a WebM's alpha.
    if (alpha) av_dict_set(&stream_->metadata, "alpha_mode", "1", 0);
    status = avio_open(&format_->pb, pending_.temporaryPath().c_str(), AVIO_FLAG_WRITE);
    if (status < 0) return fail(avError(status));
    opened_ = true;
    status = avformat_write_header(format_, nullptr);
    if (status < 0) return fail(avError(status));
    frame_ = av_frame_alloc();
    frame_->format = codec_->pix_fmt;
    frame_->width = width;
    frame_->height = height;
    if (av_frame_get_buffer(frame_, 0) < 0) return fail("out of memory");
    packet_ = av_packet_alloc();
    if (!gif_) {
      sws_ = sws_getContext(width, height, AV_PIX_FMT_RGBA, width, height, planes, SWS_BICUBIC, nullptr, nullptr,
                            nullptr);
    }
    return true;
  }

  bool addFrame(const RgbaImage& image, std::string* error) override {
    if (image.width != codec_->width || image.height != codec_->height) {
      if (error) *error = "a frame of the wrong size";
      return false;
    }
    av_frame_make_writable(frame_);
    if (gif_) {
      if (!palette_) palette_ = std::make_unique<Palette>(image);
      for (int y = 0; y < image.height; ++y) {
        uint8_t* row = frame_->data[0] + static_cast<ptrdiff_t>(y) * frame_->linesize[0];
        for (int x = 0; x < image.width; ++x) row[x] = palette_->index(image.at(x, y));
      }
      palette_->fill(reinterpret_cast<uint32_t*>(frame_->data[1]));
    } else {
      const uint8_t* source[1] = {image.pixels.data()};
      const int stride[1] = {image.width * 4};
      sws_scale(sws_, source, stride, 0, image.height, frame_->data, frame_->linesize);
    }
    frame_->pts = next_++;
    return send(frame_, error);
  }

  bool finish(std::string* error) override {
    if (!send(nullptr, error)) return false;
    const int status = av_write_trailer(format_);
    avio_closep(&format_->pb);
    finished_ = true;
    if (status < 0) {
      if (error) *error = "cannot finish " + path_ + ": " + avError(status);
      pending_.discard();
      return false;
    }
    std::string reason;
    if (!pending_.commit(&reason)) {
      if (error) *error = "cannot finish " + path_ + ": " + reason;
      return false;
    }
    return true;
  }

  void abandon() override {
    if (format_ && format_->pb) avio_closep(&format_->pb);
    pending_.discard();  // the file that was there stays
    finished_ = true;
  }

 private:
  bool send(AVFrame* frame, std::string* error) {
    int status = avcodec_send_frame(codec_, frame);
    while (status >= 0) {
      status = avcodec_receive_packet(codec_, packet_);
      if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return true;
      if (status < 0) break;
      av_packet_rescale_ts(packet_, codec_->time_base, stream_->time_base);
      packet_->stream_index = stream_->index;
      status = av_interleaved_write_frame(format_, packet_);
    }
    if (error) *error = "cannot write " + path_ + ": " + avError(status);
    return false;
  }

  void release() {
    sws_freeContext(sws_);
    av_packet_free(&packet_);
    av_frame_free(&frame_);
    avcodec_free_context(&codec_);
    if (format_) {
      if (format_->pb) avio_closep(&format_->pb);
      avformat_free_context(format_);
    }
  }

  std::string path_;
  PendingFile pending_;
  bool gif_ = false;
  bool opened_ = false;
  bool finished_ = false;
  AVFormatContext* format_ = nullptr;
  AVCodecContext* codec_ = nullptr;
  AVStream* stream_ = nullptr;
  SwsContext* sws_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  int64_t next_ = 0;
  std::unique_ptr<Palette> palette_;
};

}  // namespace

}  // namespace kestrova

// The module's one entry point (video_module.cpp finds it by name).
extern "C" __attribute__((visibility("default"))) kestrova::VideoWriter* kestrova_open_video2(
    const char* path, int width, int height, int fps, int alpha, std::string* error) {
  // The encoders' own chatter is not for the user.
  av_log_set_level(AV_LOG_ERROR);
  auto writer = std::make_unique<kestrova::FfmpegWriter>();
  if (!writer->open(path, width, height, fps, alpha != 0, error)) return nullptr;
  return writer.release();
}
