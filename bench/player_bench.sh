#!/usr/bin/env bash
# Whole-process figures for the player on the demo story, under an Xvfb of
# its own (640 x 480, black): time from start to the first picture, CPU while
# the first page waits 10 seconds, peak memory (/proc VmHWM and
# /usr/bin/time -v), then frame pacing over 300 frames.
#   bench/player_bench.sh [BUILD_DIR]      (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
for tool in Xvfb xdotool /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "player_bench: $tool is needed" >&2; exit 1; }
done

work=$(mktemp -d)
xvfb_pid=""
cleanup() { [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
story="$work/story"
mkdir "$story"
cp -r "$build/demo/." "$story/"
rm -f "$story/DATA/save.txt"

# Xvfb picks a free display and writes its number into a file.
Xvfb -displayfd 3 -br -screen 0 640x480x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=":$(cat "$work/display")"

echo "== player on the demo story (Xvfb $DISPLAY, $(nproc) cores)"
"$build/bin/player_probe" "$PWD/$build/bin/kamishibai" "$story"
echo "== frame pacing"
"$build/bin/frame_pacing" "$story" 300
