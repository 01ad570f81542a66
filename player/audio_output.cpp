// The audio path: SDL's callback pulls decoded sound, converted to signed 16-bit samples,
// mixes it at the player's volume (or plays silence when muted) and drives the audio clock.
#include <algorithm>
#include <cstring>

#include "medialib/av.h"
#include "medialib/sdl.h"
#include "player/custom_player.h"
#include "player/playback_context.h"
#include "player/player_log.h"

namespace kestrel {
namespace {

constexpr int kSilenceBytes = 1024;

bool EnsureResampler(PlaybackContext& ctx, const AVFrame* frame) {
  const int channels = frame->ch_layout.nb_channels;
  if (ctx.Resampler && ctx.ResamplerFormat == frame->format &&
      ctx.ResamplerRate == frame->sample_rate && ctx.ResamplerChannels == channels) {
    return true;
  }
  av::swr_free(&ctx.Resampler);
  AVChannelLayout out_layout;
  av::av_channel_layout_default(&out_layout, ctx.AudioChannels);
  AVChannelLayout in_layout{};
  av::av_channel_layout_copy(&in_layout, &frame->ch_layout);
  if (in_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
    av::av_channel_layout_uninit(&in_layout);
    av::av_channel_layout_default(&in_layout, channels);
  }
  const int result = av::swr_alloc_set_opts2(
      &ctx.Resampler, &out_layout, AV_SAMPLE_FMT_S16, frame->sample_rate, &in_layout,
      static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
  av::av_channel_layout_uninit(&in_layout);
  if (result < 0 || av::swr_init(ctx.Resampler) < 0) {
    av::swr_free(&ctx.Resampler);
    const char* from = av::av_get_sample_fmt_name(static_cast<AVSampleFormat>(frame->format));
    PlayerLog(llError,
              FormatText("Cannot convert %s sample format to %s sample format",
                         from ? from : "unknown", av::av_get_sample_fmt_name(AV_SAMPLE_FMT_S16)));
    return false;
  }
  ctx.ResamplerFormat = frame->format;
  ctx.ResamplerRate = frame->sample_rate;
  ctx.ResamplerChannels = channels;
  return true;
}

// Converted bytes in ctx.AudioBuffer, or -1.
int ConvertFrame(PlaybackContext& ctx, const AVFrame* frame) {
  if (!EnsureResampler(ctx, frame)) return -1;
  uint8_t* out[1] = {ctx.AudioBuffer.data()};
  const int capacity = kAudioBufferBytes / (2 * ctx.AudioChannels);
  const int samples =
      av::swr_convert(ctx.Resampler, out, capacity,
                      const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
  if (samples < 0) {
    PlayerLog(llError, "av_audio_convert() failed");
    return -1;
  }
  return samples * 2 * ctx.AudioChannels;
}

// Decodes the next chunk of sound into ctx.AudioBuffer; its size in bytes, or -1.
int DecodeAudioChunk(PlaybackContext& ctx) {
  for (;;) {
    if (ctx.AudioPacketPending) {
      const int result = av::avcodec_receive_frame(ctx.AudioDec, ctx.AudioFrame);
      if (result == 0) {
        const int bytes = ConvertFrame(ctx, ctx.AudioFrame);
        av::av_frame_unref(ctx.AudioFrame);
        if (bytes <= 0) continue;
        std::lock_guard lock(ctx.ClockMutex);
        ctx.AudioClock +=
            static_cast<double>(bytes) / (2.0 * ctx.AudioChannels * ctx.AudioSampleRate);
        return bytes;
      }
      if (result != AVERROR(EAGAIN) && result != AVERROR_EOF) {
        PlayerLog(llInfo, "avcodec_decode_audio2() failed");
      }
      ctx.AudioPacketPending = false;
    }
    if (ctx.Paused || ctx.AudioQ.Aborted()) return -1;
    AVPacket* packet = nullptr;
    if (ctx.AudioQ.Get(&packet, false) <= 0) return -1;
    if (IsFlushPacket(packet)) {
      av::avcodec_flush_buffers(ctx.AudioDec);
    } else {
      if (av::avcodec_send_packet(ctx.AudioDec, packet) < 0) {
        PlayerLog(llInfo, "avcodec_decode_audio2() failed");
      } else {
        ctx.AudioPacketPending = true;
      }
      if (packet->pts != AV_NOPTS_VALUE) {
        std::lock_guard lock(ctx.ClockMutex);
        ctx.AudioClock = packet->pts * av_q2d(ctx.AudioSt->time_base);
      }
    }
    av::av_packet_free(&packet);
  }
}

void CopyToSampleRing(PlaybackContext& ctx, int bytes) {
  const auto* samples = reinterpret_cast<const std::int16_t*>(ctx.AudioBuffer.data());
  int index = ctx.SampleRingIndex;
  for (int i = 0; i < bytes / 2; ++i) {
    ctx.SampleRing[index].store(samples[i], std::memory_order_relaxed);
    index = (index + 1) % kSampleRingSize;
  }
  ctx.SampleRingIndex = index;
}

}  // namespace

void AudioCallback(void* opaque, Uint8* stream, int length) {
  PlaybackContext& ctx = *static_cast<PlaybackContext*>(opaque);
  TCustomPlayer& player = *ctx.Player;
  std::memset(stream, 0, static_cast<std::size_t>(length));
  int sound_bytes = 0;
  while (length > 0) {
    int size, index;
    bool silent;
    {
      std::lock_guard lock(ctx.ClockMutex);
      size = ctx.AudioBufSize;
      index = ctx.AudioBufIndex;
      silent = ctx.AudioBufSilent;
    }
    if (index >= size) {
      size = DecodeAudioChunk(ctx);
      if (ctx.AudioQ.Aborted()) return;
      silent = size < 0;
      if (silent) {
        size = kSilenceBytes;
        std::memset(ctx.AudioBuffer.data(), 0, kSilenceBytes);
      } else if (ctx.WaveformDisplay) {
        CopyToSampleRing(ctx, size);
      }
      index = 0;
      std::lock_guard lock(ctx.ClockMutex);
      ctx.AudioBufSize = size;
      ctx.AudioBufIndex = 0;
      ctx.AudioBufSilent = silent;
    }
    const int count = std::min(size - index, length);
    if (!player.Mute()) {
      sdl::SDL_MixAudioFormat(stream, ctx.AudioBuffer.data() + index, AUDIO_S16SYS,
                              static_cast<Uint32>(count), player.AudioVolume());
    }
    if (!silent) sound_bytes += count;
    length -= count;
    stream += count;
    std::lock_guard lock(ctx.ClockMutex);
    ctx.AudioBufIndex = index + count;
  }
  // The device plays what it was handed from now on; the clock interpolates from here.
  std::lock_guard lock(ctx.ClockMutex);
  const double bytes_per_second = 2.0 * ctx.AudioChannels * ctx.AudioSampleRate;
  const int unplayed = ctx.AudioBufSilent ? 0 : ctx.AudioBufSize - ctx.AudioBufIndex;
  ctx.AudioClockAtCallback = ctx.AudioClock - unplayed / bytes_per_second;
  ctx.AudioSoundAtCallback = sound_bytes / bytes_per_second;
  ctx.AudioCallbackTime = NowMicroseconds();
}

}  // namespace kestrel
