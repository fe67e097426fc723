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

story=$(mktemp -d)
xvfb_pid=""
cleanup() { [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null; rm -rf "$story"; }
trap cleanup EXIT
cp -r "$build/demo/." "$story/"
rm -f "$story/DATA/save.txt"

exec 3< <(Xvfb -displayfd 1 -br -screen 0 640x480x24 -nolisten tcp 2>/dev/null & echo "pid $!"; wait)
read -r _ xvfb_pid <&3
read -r display <&3
export DISPLAY=":$display"

echo "== player on the demo story (Xvfb $DISPLAY, $(nproc) cores)"
"$build/bin/player_probe" "$PWD/$build/bin/kamishibai" "$story"
echo "== frame pacing"
"$build/bin/frame_pacing" "$story" 300
