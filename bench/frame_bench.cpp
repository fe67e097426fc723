// One composed frame (the background copied, a full page of text drawn, the
// buffers flipped) and one fade step, through UpdateFrame as the loop runs it.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "engine/engine_state.h"
#include "platform/headless/headless_platform.h"
#include "engine/frame.h"
#include "present/font.h"

namespace {

// A page as full as the buffer holds: 999 bytes of Shift-JIS in lines of 34
// full-width characters ("あいうえお…") with CR LF between them.
void FillPage(ks::EngineState& s) {
  uint32_t n = 0;
  for (int line = 0; n + 70 <= ks::kMaxPageLength; ++line) {
    for (int c = 0; c < 34; ++c) {
      s.page.pageText[n++] = char(0x82);
      s.page.pageText[n++] = char(0x9F + (line * 34 + c) % 83);
    }
    s.page.pageText[n++] = '\r';
    s.page.pageText[n++] = '\n';
  }
  s.page.pageText[n] = '\0';
  s.page.pageLength = n;
}

// A full page over a picture. With a key held every frame composes; with
// none, a frame finds the same picture on the screen and draws nothing.
void FullPageFrame(benchmark::State& bench, bool keyHeld) {
  ks::EngineState s;
  std::string error;
  if (!ks::OpenFonts(s.fonts, &error)) {
    bench.SkipWithError(error.c_str());
    return;
  }
  FillPage(s);
  std::fill(s.display.backgroundSurface.pixels.begin(), s.display.backgroundSurface.pixels.end(), 0x336699u);
  ks::KeyToken keys;
  keys.keys.down = keyHeld;  // Down does nothing on a page
  ks::HeadlessPlatform platform({keys});
  for (auto _ : bench) {
    platform.Advance(ks::kFrameMs);
    benchmark::DoNotOptimize(ks::UpdateFrame(s, platform));
  }
}

void BM_ComposedFrameFullPage(benchmark::State& bench) { FullPageFrame(bench, /*keyHeld=*/true); }
BENCHMARK(BM_ComposedFrameFullPage)->Unit(benchmark::kMicrosecond);

void BM_WaitingFrameFullPage(benchmark::State& bench) { FullPageFrame(bench, /*keyHeld=*/false); }
BENCHMARK(BM_WaitingFrameFullPage)->Unit(benchmark::kMicrosecond);

void BM_FadeFrame(benchmark::State& bench) {
  ks::EngineState s;
  ks::HeadlessPlatform platform;
  for (auto _ : bench) {
    bench.PauseTiming();
    std::fill(s.display.primarySurface.pixels.begin(), s.display.primarySurface.pixels.end(), 0xFFFFFFu);
    s.screen.fadeActive = 1;
    platform.Advance(ks::kFrameMs);
    bench.ResumeTiming();
    benchmark::DoNotOptimize(ks::UpdateFrame(s, platform));
  }
}
BENCHMARK(BM_FadeFrame)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
