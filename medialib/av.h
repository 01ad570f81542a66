// The FFmpeg entry points the project calls, bound at run time by the library loader.
//
// Call them through this namespace (av::avcodec_send_packet(...)); every pointer is null
// while its library is not loaded. Header-only helpers (av_q2d, av_make_q, ...) may be
// used directly, but never a header inline that itself calls into a library (avio_tell,
// av_err2str, av_opt_set_int_list, ...): the project does not link the libraries, so such
// a call fails to link. Add an entry point by appending it to medialib/symbols/<lib>.inc.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavdevice/avdevice.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/avstring.h>
#include <libavutil/channel_layout.h>
#include <libavutil/cpu.h>
#include <libavutil/dict.h>
#include <libavutil/fifo.h>
#include <libavutil/imgutils.h>
#include <libavutil/mathematics.h>
#include <libavutil/opt.h>
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
#include <libavutil/samplefmt.h>
#include <libavutil/time.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace av {
#define KESTREL_SYMBOL(name) extern decltype(&::name) name;
#include "medialib/symbols/avcodec.inc"
#include "medialib/symbols/avdevice.inc"
#include "medialib/symbols/avfilter.inc"
#include "medialib/symbols/avformat.inc"
#include "medialib/symbols/avutil.inc"
#include "medialib/symbols/swresample.inc"
#include "medialib/symbols/swscale.inc"
#undef KESTREL_SYMBOL
}  // namespace av
