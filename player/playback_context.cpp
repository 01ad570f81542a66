#include "player/playback_context.h"

#include "medialib/av.h"

namespace kestrel {

PlaybackContext::PlaybackContext(TCustomPlayer* owner)
    : Player(owner),
      AudioBuffer(kAudioBufferBytes),
      AudioFrame(av::av_frame_alloc()),
      SampleRing(new std::atomic<std::int16_t>[kSampleRingSize]) {
  for (int i = 0; i < kSampleRingSize; ++i) SampleRing[i].store(0, std::memory_order_relaxed);
}

PlaybackContext::~PlaybackContext() {
  FreePictures(*this);
  FreeSubtitleQueue(*this);
  av::av_frame_free(&AudioFrame);
  av::swr_free(&Resampler);
  if (DisplayScaler) av::sws_freeContext(DisplayScaler);
}

void ClosePlaybackContext(PlaybackContext& ctx) {
  ctx.AbortRequest = true;
  WakeRefresh(ctx);
  if (ctx.ReadThread.joinable()) ctx.ReadThread.join();
  if (ctx.RefreshThread.joinable()) ctx.RefreshThread.join();
  FreePictures(ctx);
  FreeSubtitleQueue(ctx);
}

}  // namespace kestrel
