// Megapixels per second of the renderer's per-pixel passes on one thread.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "effects/color_adjust.h"
#include "effects/image_mark.h"

namespace {

using kestrel::TBgrFrame;

struct Picture {
  Picture(int width, int height) : w(width), h(height), bytes(3 * width * height) {
    std::mt19937 rng(42);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
  }
  TBgrFrame Frame() { return {bytes.data(), w, h, 3 * w}; }
  int w, h;
  std::vector<std::uint8_t> bytes;
};

void CountPixels(benchmark::State& state, const Picture& p) {
  state.counters["Mpx/s"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * p.w * p.h / 1e6, benchmark::Counter::kIsRate);
}

void BM_ColorAdjust(benchmark::State& state) {
  Picture p(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  for (auto _ : state) {
    kestrel::ApplyColorAdjust(p.Frame(), 300, 20, 300);
    benchmark::ClobberMemory();
  }
  CountPixels(state, p);
}

void BM_Exposure(benchmark::State& state) {
  Picture p(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  for (auto _ : state) {
    kestrel::ApplyExposure(p.Frame(), 100.0f);
    benchmark::ClobberMemory();
  }
  CountPixels(state, p);
}

// A mark as large as the frame: every pixel is blended. Argument 2 is the style.
void BM_BlendImage(benchmark::State& state) {
  Picture p(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  Picture mark(p.w, p.h);
  const int style = static_cast<int>(state.range(2));
  for (auto _ : state) {
    kestrel::BlendImageMark(p.Frame(), mark.Frame(), 0, 0, 168, style);
    benchmark::ClobberMemory();
  }
  CountPixels(state, p);
}

BENCHMARK(BM_ColorAdjust)->Args({640, 480})->Args({1920, 1080});
BENCHMARK(BM_Exposure)->Args({640, 480})->Args({1920, 1080});
BENCHMARK(BM_BlendImage)
    ->Args({640, 480, 1})
    ->Args({1920, 1080, 1})
    ->Args({640, 480, 2})
    ->Args({1920, 1080, 2});

}  // namespace

BENCHMARK_MAIN();
