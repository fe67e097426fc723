#!/usr/bin/env bash
# The figures of the README's performance table, each from five runs, as
# min / median / max:
#   - the real player under an Xvfb of its own (640 x 480 x 24, -br -noreset),
#     measured from outside by build/bin/player_probe: start → first page
#     complete on the screen, Enter down (held 100 ms) → next page complete,
#     CPU and wakeups while the first page waits 10 s, peak memory (VmHWM and
#     /usr/bin/time -v);
#   - the frame gate's pacing (build/bin/frame_pacing, 300 frames a run);
#   - the core on its own (build/bin/core_bench and frame_bench, Google
#     Benchmark, five repetitions): fade step, composed frame, label index,
#     reading.
# The story is a two-page story made here (one 640 x 480 picture from the
# demo, two pages of Shift-JIS text, @P with a Page.wav), so that runs on any
# machine play the same thing; --demo measures the demo story instead. The
# pictures the screen must show are the replay tool's: after frame 1 for the
# first page, a few frames after Enter for the next one.
# Each run of the player gets fresh settings and read marks (XDG_CONFIG_HOME,
# XDG_DATA_HOME in the temporary folder) and no SDL_AUDIODRIVER: without a
# sound card the player plays silently. --card gives it SDL's dummy driver,
# which stands in for a sound card: a device that takes the mixed sound and
# wakes for every buffer, as a real one does.
# --quit measures quitting instead, each way out in turn (Escape, the menu's
# quit row, @Z, the window closed), with music playing (the demo's theme)
# and the read marks of the second page waiting to be written; implies --card.
#   bench/player_bench.sh [--demo] [--card] [--quit] [BUILD_DIR]  (default: build)
# KS_BENCH_RUNS sets the number of runs (5).
set -euo pipefail
cd "$(dirname "$0")/.."
demo=0
card=0
quit=0
build=build
for arg in "$@"; do
  case $arg in
    --demo) demo=1 ;;
    --card) card=1 ;;
    --quit) quit=1 card=1 ;;
    -*) echo "usage: bench/player_bench.sh [--demo] [--card] [--quit] [BUILD_DIR]" >&2; exit 2 ;;
    *) build=$arg ;;
  esac
done
runs=${KS_BENCH_RUNS:-5}
bin="$PWD/$build/bin"
for tool in Xvfb /usr/bin/time iconv; do
  command -v "$tool" >/dev/null || { echo "player_bench: $tool is needed" >&2; exit 1; }
done
for program in kamishibai kamishibai-replay player_probe frame_pacing core_bench frame_bench; do
  [ -x "$bin/$program" ] || { echo "player_bench: $bin/$program is missing: build first" >&2; exit 1; }
done
[ -d "$build/demo/DATA" ] || { echo "player_bench: $build/demo is missing: build first" >&2; exit 1; }

work=$(mktemp -d)
xvfb_pid=""
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
unset SDL_AUDIODRIVER
[ "$card" = 1 ] && export SDL_AUDIODRIVER=dummy

# The story.
story="$work/story"
mkdir -p "$story/DATA"
if [ "$demo" = 1 ]; then
  cp -r "$build/demo/." "$story/"
  rm -f "$story/DATA/save.txt"
  story_name="the demo story"
else
  cp "$build/demo/street.bmp" "$story/picture.bmp"
  cp "$build/demo/Page.wav" "$story/Page.wav"
  # Shift-JIS with CR LF line ends, as stories are written.
  sed 's/$/\r/' <<'EOF' | iconv -f UTF-8 -t CP932 >"$story/DATA/Script.txt"
@R@Gpicture.bmp,夕暮れの町に、拍子木の音がカチ、カチと響いた。
自転車の荷台に木の箱を積んだおじさんが、神社の石段の前で足を止める。
「さあさあ、紙芝居がはじまるよ」@E
@R@P子どもたちは水あめを一本ずつ買って、いちばん前にしゃがんだ。
おじさんが箱のとびらを開けると、中から青い光がこぼれ出した。
「むかしむかし、山のむこうに、小さな村がありました」@E
EOF
  story_name="a two-page story (one 640 x 480 picture, Shift-JIS text, @P)"
fi
if [ "$quit" = 1 ]; then
  # Music from the first page on; Enter on the second page reaches @Z.
  cp "$build/demo/theme.wav" "$story/theme.wav"
  { printf '@Mtheme.wav,'; cat "$story/DATA/Script.txt"; printf '@Z'; } >"$work/script"
  mv "$work/script" "$story/DATA/Script.txt"
  story_name="$story_name, music playing"
fi
[ "$card" = 1 ] && story_name="$story_name, SDL_AUDIODRIVER=dummy as the sound card"

# What the screen must show.
"$bin/kamishibai-replay" -C "$story" --input "." --shot "1=$work/page1.png"
"$bin/kamishibai-replay" -C "$story" --input ". E . . . ." --shot "6=$work/page2.png"

# Xvfb picks a free display and writes its number into a file. Without
# -noreset it resets when its last client leaves, between two runs.
Xvfb -displayfd 3 -br -noreset -screen 0 640x480x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || { echo "player_bench: Xvfb did not start" >&2; exit 1; }
DISPLAY=":$(cat "$work/display")"
export DISPLAY

# "name value" lines of every run go into $work/figures.
: >"$work/figures"
model=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)
if [ "$quit" = 1 ]; then
  for way in escape menu enter window; do
    for run in $(seq "$runs"); do
      home="$work/$way$run"
      mkdir -p "$home/config" "$home/data"
      export XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data"
      # A run that fails is said and left out; the next one goes on.
      if ! KS_PROBE_QUIT=$way "$bin/player_probe" "$bin/kamishibai" "$story" "$work/page1.png" "$work/page2.png" 100 \
          >"$home/probe.txt" 2>"$home/probe.log"; then
        echo "player_bench: $way run $run: $(cat "$home/probe.log")" >&2
        sleep 3
        continue
      fi
      grep -q '^exit_status 0$' "$home/probe.txt" || echo "player_bench: $way: the player's $(grep exit_status "$home/probe.txt")" >&2
      [ -s "$home/data/kamishibai"/*/read ] || echo "player_bench: $way: the read marks were not written" >&2
      awk -v w="$way" '$1 == "quit_ms" { print "quit_" w, $2 } $1 == "quit_window_ms" { print "window_" w, $2 }
        $1 == "wait_cpu_percent" { print "music_cpu_percent", $2 }' "$home/probe.txt" >>"$work/figures"
      echo "quit $way run $run/$runs: $(grep -E 'quit|exit' "$home/probe.txt" | tr '\n' ' ')" >&2
    done
  done
fi
for run in $(seq "$runs"); do
  [ "$quit" = 1 ] && break
  home="$work/run$run"
  mkdir -p "$home/config" "$home/data"
  export XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data"
  if ! "$bin/player_probe" "$bin/kamishibai" "$story" "$work/page1.png" "$work/page2.png" 100 \
      >"$home/probe.txt" 2>"$home/probe.log"; then
    cat "$home/probe.log" >&2
    exit 1
  fi
  if ! "$bin/frame_pacing" "$story" 300 >"$home/pacing.txt" 2>"$home/pacing.log"; then
    cat "$home/pacing.log" >&2
    exit 1
  fi
  cat "$home/probe.txt" "$home/pacing.txt" | grep -E '^[a-z_0-9]+ -?[0-9.]+$' >>"$work/figures"
  grep -q '^exit_status 0$' "$home/probe.txt" || echo "player_bench: run $run: the player's $(grep exit_status "$home/probe.txt")" >&2
  echo "run $run/$runs: $(tr '\n' ' ' <"$home/probe.txt")" >&2
done

# Google Benchmark: the rows of the repetitions themselves (not the
# aggregates), as "name real_time unit bytes_per_second". One case a call:
# the CSV output needs the same counters in every row it writes.
google_bench() {
  local case
  for case in "${@:2}"; do
    "$bin/$1" --benchmark_filter="^$case\$" --benchmark_repetitions="$runs" --benchmark_format=csv 2>/dev/null |
      awk -F, 'NR > 1 { gsub(/"/, "", $1); print $1, $3, $5, ($6 == "" ? 0 : $6) }'
  done
}
[ "$quit" = 1 ] && : >"$work/google" || google_bench core_bench BM_BuildLabelIndex/4 BM_RunScriptThroughStory/4 BM_FadeStepWhite >"$work/google"
[ "$quit" = 1 ] || google_bench frame_bench BM_ComposedFrameFullPage BM_WaitingFrameFullPage BM_FadeFrame >>"$work/google"

# The values of one figure, one a line: a probe's NAME, or a benchmark's
# time in UNIT (ms, us) or rate (GB/s).
values() { awk -v n="$1" '$1 == n { print $2 }' "$work/figures"; }
bench_time() {
  awk -v n="$1" -v u="$2" '$1 == n {
    s = $3 == "ns" ? 1e-9 : $3 == "us" ? 1e-6 : $3 == "ms" ? 1e-3 : 1
    print $2 * s / (u == "ms" ? 1e-3 : 1e-6) }' "$work/google"
}
bench_rate() { awk -v n="$1" '$1 == n { print $4 / 1e9 }' "$work/google"; }
kb_to_mib() { awk '{ print $1 / 1024 }'; }

# One table row: | what | min | median | max | from the values on stdin.
row() {
  sort -g | awk -v what="$1" -v f="$2" '
    { v[NR] = $1 }
    END {
      if (NR == 0) { printf "| %s | – | – | – |\n", what; exit }
      m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
      printf "| %s | " f " | " f " | " f " |\n", what, v[1], m, v[NR]
    }'
}

echo
echo "$(date +%Y-%m-%d): $(nproc) cores, ${model:-unknown CPU}; load average $(cut -d' ' -f1-3 /proc/loadavg);" \
  "$runs runs of $story_name under Xvfb 640 x 480 x 24"
echo
echo "| figure | min | median | max |"
echo "|---|---|---|---|"
if [ "$quit" = 1 ]; then
  for way in escape menu enter window; do
    case $way in
      escape) what="Escape down" ;;
      menu) what="Enter on the menu's quit row" ;;
      enter) what="Enter to a page that ends with @Z" ;;
      window) what="the window closed" ;;
    esac
    values "window_$way" | row "$what → the window gone (ms)" "%.1f"
    values "quit_$way" | row "$what → the player ended, writes done (ms)" "%.1f"
  done
  values music_cpu_percent | row "CPU while a page waits 10 s, music playing (% of one core)" "%.3f"
  exit 0
fi
values first_page_ms | row "start → first page complete on screen (ms)" "%.1f"
values enter_page_ms | row "Enter down → next page complete on screen, key held 100 ms (ms)" "%.1f"
values wait_cpu_percent | row "CPU while a page waits 10 s (% of one core)" "%.3f"
values wait_wakeups_per_s | row "the player's threads put on a core while a page waits (a second)" "%.1f"
values vmhwm_kb | kb_to_mib | row "peak memory, VmHWM (MiB)" "%.1f"
values maxrss_kb | kb_to_mib | row "peak memory, /usr/bin/time -v maximum RSS (MiB)" "%.1f"
values quit_window_ms | row "Escape down → the window gone (ms)" "%.1f"
values quit_ms | row "Escape down → the player ended, writes done (ms)" "%.1f"
bench_time BM_FadeStepWhite ms | row "fade step over a white 640 × 480 screen (ms)" "%.3f"
bench_time BM_FadeFrame ms | row "fade frame through the frame update (ms)" "%.3f"
bench_time BM_ComposedFrameFullPage us | row "composed frame: picture, a full 999-byte page, flip (µs)" "%.1f"
bench_time BM_WaitingFrameFullPage us | row "frame of a page that waits (nothing to redraw) (µs)" "%.2f"
bench_rate BM_BuildLabelIndex/4 | row "label index over a 4 MB script (GB/s)" "%.2f"
bench_rate BM_RunScriptThroughStory/4 | row "reading a 4 MB story through, page by page (GB/s)" "%.2f"
values pacing_mean_ms | row "frame pacing: interval − 33 ms, mean of 300 frames (ms)" "%+.2f"
values pacing_worst_ms | row "frame pacing: interval − 33 ms, worst of 300 frames (ms)" "%+.2f"
