// One composed frame (the background copied, a full page of text drawn, the
// buffers flipped) and one fade step, through UpdateFrame as the loop runs it.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/engine_state.h"
#include "platform/headless/headless_platform.h"
#include "engine/frame.h"
#include "present/font.h"
#include "platform/desktop/desktop_machine.h"

namespace {

[[maybe_unused]] const bool kDesktopMachine = (ks::UseMachine(&ks::Desktop()), true);

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

// A full page over a picture. A composed frame draws everything again, as
// the frame that shows a new page does: the scene on the screen is
// forgotten before it (a held key alone no longer makes a frame compose,
// since a frame whose scene is the one shown draws nothing). A waiting frame
// finds the same scene on the screen and draws nothing.
void FullPageFrame(benchmark::State& bench, bool compose) {
  ks::EngineState s;
  std::string error;
  if (!ks::OpenFonts(s.fonts, &error)) {
    bench.SkipWithError(error.c_str());
    return;
  }
  FillPage(s);
  std::fill(s.display.backgroundSurface.pixels.begin(), s.display.backgroundSurface.pixels.end(), 0x336699u);
  ks::HeadlessPlatform platform;
  for (auto _ : bench) {
    platform.Advance(ks::kFrameMs);
    if (compose) s.display.sceneShown = false;
    benchmark::DoNotOptimize(ks::UpdateFrame(s, platform));
  }
  // Pictures put on the screen per frame: 1 when every frame composed.
  bench.counters["shown"] = benchmark::Counter(double(platform.presents()), benchmark::Counter::kAvgIterations);
}

void BM_ComposedFrameFullPage(benchmark::State& bench) { FullPageFrame(bench, /*compose=*/true); }
BENCHMARK(BM_ComposedFrameFullPage)->Unit(benchmark::kMicrosecond);

void BM_WaitingFrameFullPage(benchmark::State& bench) { FullPageFrame(bench, /*compose=*/false); }
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
