#!/usr/bin/env bash
# The web player's sizes, and how long the demo's first page takes to show
# after the page starts loading, in headless chromium from a local server
# (a reader's first visit: nothing cached; best of five).
#   bench/web_first_page.sh   (after scripts/web and a build in build/)
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
scripts/web publish build/demo "$out/site" >/dev/null
for file in kamishibai-web.wasm kamishibai-web.js font.ttf story.pack index.html; do
  printf '%-22s %9d bytes (%d gzipped)\n' "$file" "$(stat -c %s "$out/site/$file")" "$(gzip -9c "$out/site/$file" | wc -c)"
done
for _ in 1 2 3 4 5; do
  KS_NODE_MODULES=build-web/node/node_modules node tests/web_driver.js "$out/site" --first-page
done | sort -n -k4 | head -1
