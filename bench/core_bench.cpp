// The interpreter and the fade, on their own: a multi-megabyte story indexed
// and read through page by page, the checker over hostile scripts, and one
// fade step over a white screen.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/engine_state.h"
#include "present/fade.h"
#include "script/checker.h"
#include "script/interpreter.h"
#include "script/label_index.h"
#include "script/script_file.h"
#include "platform/desktop/desktop_machine.h"

namespace {

[[maybe_unused]] const bool kDesktopMachine = (ks::UseMachine(&ks::Desktop()), true);

// About `megabytes` of story: pages of Shift-JIS text with CR LF line ends,
// label definitions, picture-less commands and a choice list every ten pages.
std::vector<uint8_t> LargeScript(int megabytes) {
  const std::string line = "\x82\xb1\x82\xea\x82\xcd\x83\x65\x83\x58\x83\x67\x82\xc5\x82\xb7\x81\x42"
                           "\x96\xe9\x82\xcc\x92\xac\x82\xf0\x95\xe0\x82\xa2\x82\xbd\x81\x42\r\n";
  std::string script;
  for (int page = 0; script.size() < size_t(megabytes) << 20; ++page) {
    script += "@S" + std::to_string(page % 100) + "\r\nx@R@H";
    for (int i = 0; i < 8; ++i) script += line;
    script += "@N@E\r\n";
    if (page % 10 == 9) script += "@C\x82\xcd\x82\xa2,1\r\n\x82\xa2\x82\xa2\x82\xa6,2\r\n@\r\n";
  }
  return {script.begin(), script.end()};
}

void BM_BuildLabelIndex(benchmark::State& bench) {
  ks::EngineState s;
  ks::SetScript(s, LargeScript(int(bench.range(0))));
  for (auto _ : bench) {
    ks::BuildLabelIndex(s);
    benchmark::DoNotOptimize(s.script.labelTable);
  }
  bench.SetBytesProcessed(int64_t(bench.iterations()) * s.script.scriptSize);
}
BENCHMARK(BM_BuildLabelIndex)->Arg(4)->Unit(benchmark::kMillisecond);

// Every page of the story in turn, as Enter would bring them; a choice list
// simply goes on after its closing "@".
void BM_RunScriptThroughStory(benchmark::State& bench) {
  ks::EngineState s;
  ks::SetScript(s, LargeScript(int(bench.range(0))));
  ks::BuildLabelIndex(s);
  int64_t pages = 0;
  for (auto _ : bench) {
    s.script.scriptPos = 0;
    while (s.script.scriptPos < s.script.scriptSize) {
      ks::RunScript(s);
      s.screen.uiMode = 0;
      ++pages;
    }
  }
  bench.SetBytesProcessed(int64_t(bench.iterations()) * s.script.scriptSize);
  bench.counters["pages"] = benchmark::Counter(double(pages), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RunScriptThroughStory)->Arg(4)->Unit(benchmark::kMillisecond);

// Checks `text` as a script once per iteration, in bytes a second.
void CheckRepeatedly(benchmark::State& bench, const std::string& text) {
  const std::vector<uint8_t> original(text.begin(), text.end());
  ks::EngineState s;
  ks::SetScript(s, original);
  ks::BuildLabelIndex(s);
  for (auto _ : bench) benchmark::DoNotOptimize(ks::CheckScript(s, original));
  bench.SetBytesProcessed(int64_t(bench.iterations()) * s.script.scriptSize);
}

// The checker over a hostile megabyte: lines of "@@S1", each a definition
// the label index skips, then one "@S1" that counts (once quadratic: 111 s).
void BM_CheckHostileScript(benchmark::State& bench) {
  std::string text;
  while (text.size() < size_t(1) << 20) text += "@@S1\n";
  CheckRepeatedly(bench, text + "@S1\n");
}
BENCHMARK(BM_CheckHostileScript)->Unit(benchmark::kMillisecond);

// A line of full-width spaces each before "S" and no line end: an "@S" every
// three bytes whose number field runs to the script's end (once quadratic:
// 2.5 MB over 150 s). Megabytes as the argument.
void BM_CheckFullWidthSpacesBeforeS(benchmark::State& bench) {
  std::string text;
  while (text.size() < size_t(bench.range(0)) << 20) text += "\x81\x40S";
  CheckRepeatedly(bench, text);
}
BENCHMARK(BM_CheckFullWidthSpacesBeforeS)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);

void BM_FadeStepWhite(benchmark::State& bench) {
  ks::EngineState s;
  for (auto _ : bench) {
    bench.PauseTiming();
    std::fill(s.display.primarySurface.pixels.begin(), s.display.primarySurface.pixels.end(), 0x00FFFFFFu);
    bench.ResumeTiming();
    benchmark::DoNotOptimize(ks::FadeStep(s.display.primarySurface));
  }
}
BENCHMARK(BM_FadeStepWhite)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
