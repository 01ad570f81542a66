// Opening a file, choosing and opening its streams, and the read thread that feeds the
// packet queues, performs seeks and detects the end of the input.
#include <chrono>
#include <cstring>
#include <thread>

#include "medialib/av.h"
#include "medialib/library_loader.h"
#include "medialib/sdl.h"
#include "player/custom_player.h"
#include "player/host_services.h"
#include "player/playback_context.h"
#include "player/player_log.h"

namespace kestrel {
namespace {

void SleepMs(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int InterruptCallback(void* opaque) {
  return static_cast<PlaybackContext*>(opaque)->AbortRequest ? 1 : 0;
}

bool IsCaptureDemuxer(const char* name) {
  return name && (std::strstr(name, "video4linux2") || std::strstr(name, "x11grab"));
}

AVCodecContext* OpenDecoder(AVStream* st) {
  const AVCodec* codec = av::avcodec_find_decoder(st->codecpar->codec_id);
  if (!codec) return nullptr;
  AVCodecContext* dec = av::avcodec_alloc_context3(codec);
  if (!dec) return nullptr;
  if (av::avcodec_parameters_to_context(dec, st->codecpar) < 0) {
    av::avcodec_free_context(&dec);
    return nullptr;
  }
  dec->pkt_timebase = st->time_base;
  dec->workaround_bugs = 1;
  dec->err_recognition = AV_EF_CRCCHECK;
  dec->error_concealment = 3;
  dec->thread_count = 1;
  int result;
  {
    std::lock_guard lock(CodecLock());
    result = av::avcodec_open2(dec, codec, nullptr);
  }
  if (result < 0) {
    std::lock_guard lock(CodecLock());
    av::avcodec_free_context(&dec);
  }
  return dec;
}

void FreeDecoder(AVCodecContext*& dec) {
  if (!dec) return;
  std::lock_guard lock(CodecLock());
  av::avcodec_free_context(&dec);
}

bool OpenAudioDevice(PlaybackContext& ctx, AVCodecContext* dec) {
  const int channels = dec->ch_layout.nb_channels;
  SDL_AudioSpec wanted{};
  SDL_AudioSpec obtained{};
  wanted.freq = dec->sample_rate;
  wanted.format = AUDIO_S16SYS;
  wanted.channels = static_cast<Uint8>(channels == 1 || channels == 2 ? channels : 2);
  wanted.silence = 0;
  wanted.samples = kAudioSamplesPerRequest;
  wanted.callback = AudioCallback;
  wanted.userdata = &ctx;
  ctx.AudioDevice = sdl::SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
  if (ctx.AudioDevice == 0) {
    PlayerLog(llError, std::string("SDL_OpenAudio() failed: ") + sdl::SDL_GetError());
    return false;
  }
  ctx.AudioHardwareBufferBytes = static_cast<int>(obtained.size);
  ctx.AudioSampleRate = wanted.freq;
  ctx.AudioChannels = wanted.channels;
  return true;
}

bool OpenStreamComponent(PlaybackContext& ctx, int index) {
  AVStream* st = ctx.Input->streams[index];
  AVCodecContext* dec = OpenDecoder(st);
  if (!dec) {
    PlayerLog(llError, "avcodec_open() failed.");
    return false;
  }
  const AVMediaType type = st->codecpar->codec_type;
  if (type == AVMEDIA_TYPE_AUDIO && !OpenAudioDevice(ctx, dec)) {
    FreeDecoder(dec);
    return false;
  }
  st->discard = AVDISCARD_DEFAULT;
  switch (type) {
    case AVMEDIA_TYPE_VIDEO:
      ctx.VideoDec = dec;
      ctx.VideoSt = st;
      ctx.FrameWidth = dec->width;
      ctx.FrameHeight = dec->height;
      ctx.VideoStream = index;
      ctx.VideoQ.Start();
      ctx.VideoQ.PutFlush();
      ctx.VideoThread = std::thread(VideoThreadMain, &ctx);
      break;
    case AVMEDIA_TYPE_AUDIO:
      ctx.AudioDec = dec;
      ctx.AudioSt = st;
      ctx.AudioStream = index;
      ctx.AudioDuration = st->duration != AV_NOPTS_VALUE
                              ? av::av_rescale_q(st->duration, st->time_base, AV_TIME_BASE_Q)
                              : -1;
      {
        std::lock_guard lock(ctx.ClockMutex);
        ctx.AudioBufSize = ctx.AudioBufIndex = 0;
      }
      ctx.AudioQ.Start();
      ctx.AudioQ.PutFlush();
      sdl::SDL_PauseAudioDevice(ctx.AudioDevice, 0);
      break;
    default:
      ctx.SubtitleDec = dec;
      ctx.SubtitleSt = st;
      ctx.SubtitleStream = index;
      ctx.SubtitleQ.Start();
      ctx.SubtitleQ.PutFlush();
      ctx.SubtitleThread = std::thread(SubtitleThreadMain, &ctx);
      break;
  }
  return true;
}

void CloseStreamComponent(PlaybackContext& ctx, AVMediaType type) {
  AVStream* st = nullptr;
  if (type == AVMEDIA_TYPE_VIDEO && ctx.VideoStream >= 0) {
    ctx.VideoQ.Abort();
    {
      std::lock_guard lock(ctx.PictureMutex);
      ctx.PictureCond.notify_all();
    }
    if (ctx.VideoThread.joinable()) ctx.VideoThread.join();
    ctx.VideoQ.Flush();
    FreeDecoder(ctx.VideoDec);
    st = ctx.VideoSt;
    ctx.VideoSt = nullptr;
    ctx.VideoStream = -1;
  } else if (type == AVMEDIA_TYPE_AUDIO && ctx.AudioStream >= 0) {
    ctx.AudioQ.Abort();
    sdl::SDL_CloseAudioDevice(ctx.AudioDevice);  // waits for a running callback
    ctx.AudioDevice = 0;
    ctx.AudioQ.Flush();
    FreeDecoder(ctx.AudioDec);
    st = ctx.AudioSt;
    ctx.AudioSt = nullptr;
    ctx.AudioStream = -1;
    ctx.AudioDuration = -1;
  } else if (type == AVMEDIA_TYPE_SUBTITLE && ctx.SubtitleStream >= 0) {
    ctx.SubtitleQ.Abort();
    ctx.SubtitleStreamChanged = true;
    {
      std::lock_guard lock(ctx.SubtitleMutex);
      ctx.SubtitleCond.notify_all();
    }
    if (ctx.SubtitleThread.joinable()) ctx.SubtitleThread.join();
    ctx.SubtitleQ.Flush();
    FreeDecoder(ctx.SubtitleDec);
    st = ctx.SubtitleSt;
    ctx.SubtitleSt = nullptr;
    ctx.SubtitleStream = -1;
  }
  if (st) st->discard = AVDISCARD_ALL;
}

// Opens the input and its streams; false with LastErrMsg set on failure.
bool OpenInput(PlaybackContext& ctx) {
  TCustomPlayer& player = *ctx.Player;
  AVDictionary* options = nullptr;
  if (player.FrameWidth() > 0 && player.FrameHeight() > 0) {
    av::av_dict_set(&options, "video_size",
                    FormatText("%dx%d", player.FrameWidth(), player.FrameHeight()).c_str(), 0);
  }
  av::av_dict_set(&options, "framerate", "25", 0);
  int error =
      av::avformat_open_input(&ctx.Input, PlayerURL(ctx.FileName).c_str(), nullptr, &options);
  av::av_dict_free(&options);
  if (error < 0) {
    ctx.Input = nullptr;  // freed by the failed open
    player.SetLastErrMsg(PlayerErrorText(ctx.FileName, error));
    return false;
  }
  {
    std::lock_guard lock(CodecLock());
    error = av::avformat_find_stream_info(ctx.Input, nullptr);
  }
  if (error < 0) {
    player.SetLastErrMsg(FormatText("%s: could not find codec parameters", ctx.FileName.c_str()));
    return false;
  }
  if (ctx.Input->pb) ctx.Input->pb->eof_reached = 0;
  // Attached here, on the read thread, before any packet is read (the opener waits).
  player.AttachProbe(ctx.Input);
  const char* demuxer = ctx.Input->iformat->name;
  ctx.ImageSequence = std::strcmp(demuxer, "image2") == 0;
  ctx.CaptureDevice = IsCaptureDemuxer(demuxer);
  if (ctx.Input->start_time != AV_NOPTS_VALUE) ctx.StartTime = ctx.Input->start_time;
  ctx.Duration = ctx.Input->duration != AV_NOPTS_VALUE ? ctx.Input->duration : -1;
  ctx.BitRate = ctx.Input->bit_rate;

  for (unsigned i = 0; i < ctx.Input->nb_streams; ++i)
    ctx.Input->streams[i]->discard = AVDISCARD_ALL;
  // The library's choice ranks the streams of a kind by how many frames the analysis saw.
  const bool no_video = player.DisableVideo();
  const int video =
      no_video ? -1 : av::av_find_best_stream(ctx.Input, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  const int audio = player.DisableAudio() ? -1
                                          : av::av_find_best_stream(ctx.Input, AVMEDIA_TYPE_AUDIO,
                                                                    -1, -1, nullptr, 0);
  const int subtitle =
      no_video ? -1 : av::av_find_best_stream(ctx.Input, AVMEDIA_TYPE_SUBTITLE, -1, -1, nullptr, 0);
  if (audio >= 0) OpenStreamComponent(ctx, audio);
  if (video >= 0) OpenStreamComponent(ctx, video);
  if (subtitle >= 0) OpenStreamComponent(ctx, subtitle);
  if (ctx.AudioStream < 0 && ctx.VideoStream < 0) {
    player.SetLastErrMsg(
        FormatText("%s: could not open codecs, no stream to play.", ctx.FileName.c_str()));
    return false;
  }
  return true;
}

void FlushAfterSeek(PlaybackContext& ctx) {
  if (ctx.AudioStream >= 0) {
    ctx.AudioQ.Flush();
    ctx.AudioQ.PutFlush();
  }
  if (ctx.SubtitleStream >= 0) {
    ctx.SubtitleQ.Flush();
    ctx.SubtitleQ.PutFlush();
  }
  if (ctx.VideoStream >= 0) {
    // In this order: the video thread stops dropping only after it met the flush packet.
    ctx.DecoderFlushed = false;
    ctx.DropAfterSeek = true;
    ctx.VideoQ.Flush();
    ctx.VideoQ.PutFlush();
    ctx.Player->FrameReadyEvent().Reset();
  }
}

void PerformSeek(PlaybackContext& ctx) {
  const std::int64_t target = ctx.SeekTarget;
  const std::int64_t range = ctx.SeekRange;
  const int flags = ctx.SeekFlags;
  const std::int64_t min = range > 0 ? target - range + 2 : INT64_MIN;
  const std::int64_t max = range < 0 ? target - range - 2 : INT64_MAX;
  int result = av::avformat_seek_file(ctx.Input, -1, min, target, max, flags);
  if (result < 0) result = av::av_seek_frame(ctx.Input, -1, target, flags);
  if (result < 0) result = av::av_seek_frame(ctx.Input, -1, target, flags ^ AVSEEK_FLAG_BACKWARD);
  if (result < 0) {
    PlayerLog(llError, FormatText("%s: error while seeking", ctx.FileName.c_str()));
    if (ctx.VideoStream >= 0) ctx.Player->FrameReadyEvent().Set();
  } else {
    FlushAfterSeek(ctx);
  }
  ctx.EofReported = false;
  ctx.QueuesDrained = false;
  ctx.SeekRequest = false;
  ctx.DropAfterSeek = true;
  ctx.Player->SeekDoneEvent().Set();
  if (ctx.VideoStream < 0) ctx.Player->SetSeeking(false);
  ctx.EofMet = false;
}

bool QueuesFull(const PlaybackContext& ctx) {
  const std::int64_t total =
      ctx.AudioQ.SizeBytes() + ctx.VideoQ.SizeBytes() + ctx.SubtitleQ.SizeBytes();
  if (total > kMaxQueueBytes) return true;
  const bool audio_hungry = ctx.AudioStream >= 0 && ctx.AudioQ.SizeBytes() <= kAudioRefillBytes;
  const bool video_hungry = ctx.VideoStream >= 0 && ctx.VideoQ.Count() <= kVideoRefillPackets;
  const bool subtitle_hungry =
      ctx.SubtitleStream >= 0 && ctx.SubtitleQ.Count() <= kVideoRefillPackets;
  return !audio_hungry && !video_hungry && !subtitle_hungry;
}

bool AtEndOfInput(const PlaybackContext& ctx) {
  return ctx.EofMet || (ctx.Input->pb && av::avio_feof(ctx.Input->pb));
}

void DrainAtEnd(PlaybackContext& ctx) {
  if (ctx.VideoStream >= 0) {
    ctx.VideoQ.PutEmpty(ctx.VideoStream);
    ctx.Player->FrameReadyEvent().Set();
  }
  SleepMs(10);
  if (ctx.AudioQ.Count() == 0 && ctx.VideoQ.Count() == 0 && ctx.SubtitleQ.Count() == 0) {
    ctx.QueuesDrained = true;
  }
}

// False when the loop must end (byte reader error).
bool HandleReadFailure(PlaybackContext& ctx, int error) {
  if (ctx.VideoStream >= 0) ctx.Player->FrameReadyEvent().Set();
  if (!ctx.ImageSequence && !ctx.EofReported) {
    ctx.EofReported = true;
    if (error == AVERROR_EOF) {
      PlayerLog(llInfo, FormatText("reach end of file: %s", ctx.FileName.c_str()));
    } else {
      PlayerLog(llError,
                FormatText("error #%d while reading file: %s", error, ctx.FileName.c_str()));
    }
  }
  if (error == AVERROR_EOF) ctx.EofMet = true;
  if (ctx.Input->pb && ctx.Input->pb->error) return false;
  SleepMs(100);
  return true;
}

void RoutePacket(PlaybackContext& ctx, AVPacket* packet) {
  if (packet->stream_index == ctx.AudioStream) {
    ctx.AudioQ.Put(packet);
  } else if (packet->stream_index == ctx.VideoStream) {
    ctx.VideoQ.Put(packet);
  } else if (packet->stream_index == ctx.SubtitleStream) {
    ctx.SubtitleQ.Put(packet);
  }
  av::av_packet_unref(packet);
}

void ReadLoop(PlaybackContext& ctx) {
  AVPacket* packet = av::av_packet_alloc();
  while (!ctx.AbortRequest) {
    if (ctx.Paused != ctx.LastPaused) {
      ctx.LastPaused = ctx.Paused;
      if (ctx.LastPaused) {
        ctx.ReadPauseResult = av::av_read_pause(ctx.Input);
      } else {
        av::av_read_play(ctx.Input);
      }
    }
    if (ctx.SeekRequest) PerformSeek(ctx);
    if (QueuesFull(ctx)) {
      SleepMs(10);
      continue;
    }
    if (AtEndOfInput(ctx)) {
      DrainAtEnd(ctx);
      continue;
    }
    ctx.ReadInProgress = true;
    const int result = av::av_read_frame(ctx.Input, packet);
    ctx.ReadInProgress = false;
    if (ctx.AbortRequest) break;
    if (result == AVERROR(EAGAIN)) {
      SleepMs(10);
    } else if (result < 0) {
      if (!HandleReadFailure(ctx, result)) break;
    } else {
      RoutePacket(ctx, packet);
    }
  }
  av::av_packet_free(&packet);
}

}  // namespace

void ReadThreadMain(PlaybackContext* context) {
  PlaybackContext& ctx = *context;
  ctx.Input = av::avformat_alloc_context();
  int result = -1;
  if (ctx.Input) {
    ctx.Input->interrupt_callback.callback = InterruptCallback;
    ctx.Input->interrupt_callback.opaque = &ctx;
    if (OpenInput(ctx)) {
      ctx.Status = static_cast<int>(OpenStatus::Running);
      ReadLoop(ctx);
      while (!ctx.AbortRequest) SleepMs(100);
      result = 0;
    }
  } else {
    ctx.Player->SetLastErrMsg("av_mallocz() failed.");
  }
  if (ctx.Status != static_cast<int>(OpenStatus::Running)) {
    ctx.Status = static_cast<int>(OpenStatus::Failed);
  }
  if (ctx.Input) {
    CloseStreamComponent(ctx, AVMEDIA_TYPE_AUDIO);
    CloseStreamComponent(ctx, AVMEDIA_TYPE_VIDEO);
    CloseStreamComponent(ctx, AVMEDIA_TYPE_SUBTITLE);
    ctx.Player->DetachProbe();
    av::avformat_close_input(&ctx.Input);
  }
  if (result != 0 && ctx.Status == static_cast<int>(OpenStatus::Running)) {
    ctx.Player->PushPlayEvent(PlayEventKind::QuitRequest, &ctx);
  }
  if (ctx.Status == static_cast<int>(OpenStatus::Failed)) {
    ctx.Status = static_cast<int>(OpenStatus::FailedAndFinished);
  }
}

std::shared_ptr<PlaybackContext> OpenPlayback(TCustomPlayer* player, const std::string& file_name,
                                              bool start_paused) {
  auto ctx = std::make_shared<PlaybackContext>(player);
  if (start_paused) {
    ctx->Paused = true;
    ctx->StartPausedCounter = 1;
    player->ClearStep();
  }
  ctx->FileName = file_name;
  try {
    ctx->ReadThread = std::thread(ReadThreadMain, ctx.get());
  } catch (const std::system_error&) {
    player->ReportPlayerError("SDL_CreateThread() failed.", true);
    return nullptr;
  }
  const bool main = OnMainThread();
  while (ctx->Status == static_cast<int>(OpenStatus::Starting)) {
    if (main) ServiceMainThread();
    SleepMs(10);
  }
  if (ctx->Status == static_cast<int>(OpenStatus::Running)) {
    if (ctx->VideoStream < 0 && !player->DisableDisplay()) ctx->WaveformDisplay = true;
    ctx->RefreshThread = std::thread(RefreshThreadMain, ctx.get());
    return ctx;
  }
  while (ctx->Status == static_cast<int>(OpenStatus::Failed)) {
    if (main) ServiceMainThread();
    SleepMs(10);
  }
  ctx->ReadThread.join();
  return nullptr;
}

}  // namespace kestrel
