#include "jobs/frame_zoom.h"

#include <array>
#include <cstdio>
#include <cstdlib>

#include "jobs/option_text.h"

namespace kestrel::jobs {
namespace {

constexpr const char* kAsSource = "as source";
// The sizes the H.263 encoder takes (and the profiles offer).
constexpr std::array<TFrameSize, 4> kH263Sizes = {{{704, 576}, {352, 288}, {176, 144}, {128, 96}}};

// Any other size is moved up to the encoder size of the next width.
TFrameSize H263Size(TFrameSize size) {
  if (size.width <= 0 || size.height <= 0) return size;
  for (const TFrameSize& known : kH263Sizes) {
    if (known.width == size.width && known.height == size.height) return size;
  }
  if (size.width > 352) return {704, 576};
  if (size.width > 176) return {352, 288};
  return {176, 144};
}

std::string SizeText(int w, int h, const char* separator) {
  return std::to_string(w) + separator + std::to_string(h);
}

std::string PadFilter(int w, int h, int x, int y) {
  return "pad=" + std::to_string(w) + ":" + std::to_string(h) + ":" + std::to_string(x) + ":" +
         std::to_string(y);
}

bool CropSet(const TlvFilesRecord& job) {
  return job.CropTop > 0 || job.CropLeft > 0 || job.CropBottom > 0 || job.CropRight > 0;
}

// The ratios and pads of the zoom modes: rw and rh are held in double precision, the
// rest is worked in extended precision.
struct TZoomGeometry {
  double rw;
  double rh;
  int pad_v;  // rows left over when the source is scaled to the target width, per side, even
  int pad_h;  // columns left over when it is scaled to the target height, per side, even

  TZoomGeometry(TFrameSize s, TFrameSize t)
      : rw(static_cast<double>(static_cast<long double>(s.width) / t.width)),
        rh(static_cast<double>(static_cast<long double>(s.height) / t.height)),
        pad_v(Pad(t.height, s.height, rw)),
        pad_h(Pad(t.width, s.width, rh)) {}

  static int Pad(int target, int source, double ratio) {
    const std::int64_t scaled = Trunc(static_cast<long double>(source) / ratio);
    return static_cast<int>(2 * ((target - 2 * (scaled / 2)) / 4));
  }
};

void ApplyFull(const TlvFilesRecord& job, TFrameSize t, TOutputOptions& out) {
  if (CropSet(job)) {
    out.CropTop = job.CropTop;
    out.CropBottom = job.CropBottom;
    out.CropLeft = job.CropLeft;
    out.CropRight = job.CropRight;
  }
  out.FrameSize = SizeText(t.width, t.height, "x");
  out.FrameAspectRatio = SizeText(t.width, t.height, ":");
}

std::string ApplyLetterbox(const TlvFilesRecord& job, TFrameSize s, TFrameSize t,
                           TOutputOptions& out) {
  const TZoomGeometry g(s, t);
  const int top = g.rw > g.rh ? g.pad_v : 0;
  const int left = g.rw < g.rh ? g.pad_h : 0;
  const int inner_w = t.width - 2 * left;
  const int inner_h = t.height - 2 * top;
  out.FrameAspectRatio = SizeText(inner_w, inner_h, ":");
  const std::string pad = PadFilter(t.width, t.height, left, top);
  if (!CropSet(job)) {
    out.FrameSize = SizeText(inner_w, inner_h, "x");
    return pad;
  }
  return "crop=" + std::to_string(job.CropLeft) + ":" + std::to_string(job.CropTop) + ":" +
         std::to_string(s.width - job.CropLeft - job.CropRight) + ":" +
         std::to_string(s.height - job.CropTop - job.CropBottom) + "," +
         "scale=" + SizeText(inner_w, inner_h, ":") + "," + pad;
}

// Rounded toward zero to an even number.
std::int64_t EvenTowardZero(std::int64_t m) {
  return m - m % 2;
}

void ApplyPan(const TlvFilesRecord& job, TFrameSize s, TFrameSize t, TOutputOptions& out) {
  const long double q = static_cast<long double>(s.width - job.CropLeft - job.CropRight) /
                        static_cast<long double>(s.height - job.CropTop - job.CropBottom);
  const long double sw = s.width;
  const long double sh = s.height;
  if (q > kFourThirds) {
    const std::int64_t m =
        EvenTowardZero(std::llabs(Trunc((sw / sh - kFourThirds) * sw) / 2) + job.CropLeft);
    out.CropLeft = out.CropRight = static_cast<std::int32_t>(m);
  } else if (q < kFourThirds) {
    const std::int64_t m =
        EvenTowardZero(std::llabs(Trunc((sh / sw - kFourThirds) * sh) / 2) + job.CropTop);
    out.CropTop = out.CropBottom = static_cast<std::int32_t>(m);
  }
  out.FrameSize = SizeText(t.width, t.height, "x");
  out.FrameAspectRatio = SizeText(t.width, t.height, ":");
}

std::string ApplyCenter(TFrameSize s, TFrameSize t, TOutputOptions& out) {
  const TZoomGeometry g(s, t);
  std::string pad;
  out.FrameSize = SizeText(t.width, t.height, "x");
  if (g.rw > g.rh) {
    pad = t.width <= s.width && t.height <= s.height
              ? PadFilter(t.width, t.height, 0, g.pad_v)
              : PadFilter(s.width, s.height + 2 * g.pad_v, 0, g.pad_v);
  } else if (g.rw < g.rh) {
    out.FrameSize = SizeText(t.width - 2 * g.pad_h, t.height, "x");
    pad = PadFilter(s.width + 2 * g.pad_h, s.height, g.pad_h, 0);
  } else {
    pad = PadFilter(s.width, s.height, 0, 0);
  }
  out.FrameAspectRatio = SizeText(t.width, t.height, ":");
  return pad + ":black";
}

// The size the profile's text names: the source's for "as source" or a part that is not
// an integer; the question decides when there is no size to read.
TFrameSize ReadFrameSize(const std::string& video_size, TFrameSize source,
                         const TFrameSizeQuestion& ask) {
  if (video_size == kAsSource) return source;
  const size_t x = video_size.find('x');
  if (x != std::string::npos && x >= 1 && x + 1 != video_size.size()) {
    const auto w = ParseInteger(std::string_view(video_size).substr(0, x));
    const auto h = ParseInteger(std::string_view(video_size).substr(x + 1));
    TFrameSize size{w ? *w : source.width, h ? *h : source.height};
    // A size of nothing cannot be converted to: it is as unreadable as a missing "x".
    if (size.width > 0 && size.height > 0) {
      return size;
    }
  }
  if (ask && ask(kFrameSizeQuestion)) return {320, 240};
  return source;
}

}  // namespace

TFrameSize TargetFrameSize(const std::string& video_size, const std::string& video_codec,
                           TFrameSize source, const TFrameSizeQuestion& ask) {
  const TFrameSize size = ReadFrameSize(video_size, source, ask);
  return Lower(video_codec) == "h263" ? H263Size(size) : size;
}

void ApplyZoom(const TlvFilesRecord& job, TFrameSize source, TFrameSize target,
               TOutputOptions& out) {
  // Without both sizes there is nothing to scale or pad: the engine keeps the source's.
  if (source.width <= 0 || source.height <= 0 || target.width <= 0 || target.height <= 0) return;
  std::string filter;
  if (job.Zoom == "full") {
    ApplyFull(job, target, out);
  } else if (job.Zoom == "lbox") {
    filter = ApplyLetterbox(job, source, target, out);
  } else if (job.Zoom == "pan") {
    ApplyPan(job, source, target, out);
  } else if (job.Zoom == "center") {
    filter = ApplyCenter(source, target, out);
  }
  if (filter.empty()) return;
  out.VideoFilters = out.VideoFilters.empty() ? filter : out.VideoFilters + "," + filter;
}

}  // namespace kestrel::jobs
