#include "video_reader.h"

#include <algorithm>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace kestrova::test {

VideoInfo ReadVideo(const std::string& path, int keep, RgbaImage* kept) {
  VideoInfo info;
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return info;
  avformat_find_stream_info(format, nullptr);
  const int index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (index < 0) {
    avformat_close_input(&format);
    return info;
  }
  AVStream* stream = format->streams[index];
  info.alphaTagged = av_dict_get(stream->metadata, "alpha_mode", nullptr, 0) != nullptr;
  const AVCodec* codec = stream->codecpar->codec_id == AV_CODEC_ID_VP9 ? avcodec_find_decoder_by_name("libvpx-vp9")
                                                                        : nullptr;
  if (!codec) codec = avcodec_find_decoder(stream->codecpar->codec_id);
  AVCodecContext* decoder = avcodec_alloc_context3(codec);
  avcodec_parameters_to_context(decoder, stream->codecpar);
  avcodec_open2(decoder, codec, nullptr);
  info.width = stream->codecpar->width;
  info.height = stream->codecpar->height;
  info.fps = av_q2d(stream->avg_frame_rate.num ? stream->avg_frame_rate : stream->r_frame_rate);
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  auto take = [&] {
    while (avcodec_receive_frame(decoder, frame) == 0) {
      if (frame->format == AV_PIX_FMT_YUVA420P) info.alphaPlane = true;
      if (info.frames == keep && kept) {
        kept->width = frame->width;
        kept->height = frame->height;
        const size_t row = static_cast<size_t>(frame->width) * 4;
        SwsContext* sws = sws_getContext(frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                         frame->width, frame->height, AV_PIX_FMT_RGBA, SWS_BICUBIC, nullptr, nullptr,
                                         nullptr);
        // Its vector code writes whole blocks: rows padded to 64 bytes and
        // a margin after the last, then copied out.
        const size_t padded = (row + 63) / 64 * 64;
        std::vector<uint8_t> scaled(padded * static_cast<size_t>(frame->height) + 256);
        uint8_t* out[1] = {scaled.data()};
        const int stride[1] = {static_cast<int>(padded)};
        sws_scale(sws, frame->data, frame->linesize, 0, frame->height, out, stride);
        sws_freeContext(sws);
        kept->pixels.resize(row * static_cast<size_t>(frame->height));
        for (int y = 0; y < frame->height; ++y) {
          std::copy_n(scaled.data() + padded * static_cast<size_t>(y), row, kept->pixels.data() + row * static_cast<size_t>(y));
        }
      }
      ++info.frames;
    }
  };
  while (av_read_frame(format, packet) >= 0) {
    if (packet->stream_index == index && avcodec_send_packet(decoder, packet) >= 0) take();
    av_packet_unref(packet);
  }
  avcodec_send_packet(decoder, nullptr);
  take();
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&decoder);
  avformat_close_input(&format);
  return info;
}

}  // namespace kestrova::test
