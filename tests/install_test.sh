#!/usr/bin/env bash
# What a user gets from installing Kamishibai, from the outside; stops at the first failure.
#   install_test.sh tree BUILD VERSION     `cmake --install` into a temporary folder
#   install_test.sh package BUILD VERSION  the Debian package CPack makes (not installed)
# KS_CMAKE and KS_CPACK name the build's cmake and cpack.
set -euo pipefail
mode=$1 build=$(cd "$2" && pwd) version=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
# SDL's libraries leave blocks behind at exit in the sanitizer build.
export ASAN_OPTIONS=detect_leaks=0

# Every file installed, relative to the prefix: the demo never with a save from build/demo.
expected_files() {
  local size
  printf '%s\n' bin/kamishibai bin/kamishibai-check bin/kamishibai-replay \
    share/applications/kamishibai.desktop \
    share/metainfo/io.github.kamishibai.kamishibai.metainfo.xml \
    share/doc/kamishibai/changelog.gz share/doc/kamishibai/copyright \
    share/man/man6/kamishibai.6.gz share/man/man1/kamishibai-check.1.gz share/man/man1/kamishibai-replay.1.gz \
    share/icons/hicolor/scalable/apps/kamishibai.svg \
    share/kamishibai/demo/DATA/Script.txt
  for size in 16 24 32 48 64 128 256; do echo "share/icons/hicolor/${size}x${size}/apps/kamishibai.png"; done
  for name in title.bmp street.bmp river.bmp forest.bmp lantern.bmp ending.bmp \
              theme.wav town.wav festival.wav rain.wav bell.wav Page.wav; do
    echo "share/kamishibai/demo/$name"
  done
}

# The player with no display: it stops at opening one. Prints its stderr; status in $?.
player_without_display() {
  env -u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy "$@" 2>&1 >/dev/null
}

# The replay tool of RUN (installed or built) on its demo, from "/": replay RUN ARGS...
replay() {
  local tool=$tmp/prefix/bin/kamishibai-replay story=$tmp/prefix/share/kamishibai/demo
  [ "$1" = built ] && tool=$build/bin/kamishibai-replay story=$tmp/built-demo
  (cd / && "$tool" -C "$story" "${@:2}") || fail "kamishibai-replay ($1) on the demo exits with $?"
}

check_tree() {
  local p=$tmp/prefix
  # As a component, so that its manifest does not go over the reader's own install's.
  "${KS_CMAKE:-cmake}" --install "$build" --prefix "$p" --component Unspecified >/dev/null
  command -v rsvg-convert >/dev/null || echo "note: rsvg-convert (librsvg2-bin) is missing: no PNG icons" >&2
  diff -u <(expected_files | sort) <(cd "$p" && find . \( -type f -o -type l \) | sed 's|^\./||' | sort) ||
    fail "the installed files are not the expected ones (- expected, + installed)"

  local prog out status
  for prog in kamishibai kamishibai-check kamishibai-replay; do
    out=$("$p/bin/$prog" --version) || fail "$prog --version exits with $?"
    [ "$out" = "$prog $version" ] || fail "$prog --version prints '$out', not '$prog $version'"
  done

  # The installed demo checks clean and plays as build/demo (copied without its save) does.
  local demo=$p/share/kamishibai/demo
  out=$(cd / && "$p/bin/kamishibai-check" -C "$demo") || fail "kamishibai-check on the installed demo exits with $?: $out"
  if grep -E ': (error|warning): ' <<<"$out"; then fail "the installed demo does not check clean"; fi
  cp -r "$build/demo" "$tmp/built-demo"
  rm -f "$tmp/built-demo/DATA/save.txt"*
  # Frame 1 shows the title, frame 14 the town (street.bmp, town.wav).
  local keys=". . E . D . E . E . E . E ." last=14 run
  for run in installed built; do
    replay $run --input "$keys" --shot "1=$tmp/$run-1.png" --shot "$last=$tmp/$run-$last.png" --state "$tmp/$run-state.json"
  done
  cmp -s "$tmp/installed-1.png" "$tmp/installed-$last.png" && fail "the installed demo did not go past its first page"
  for out in 1.png $last.png state.json; do
    cmp "$tmp/installed-$out" "$tmp/built-$out" || fail "the installed demo plays unlike build/demo ($out)"
  done

  # The installed demo is never written, even by root: its menu save fails and says so.
  for run in installed built; do replay $run --input ". S . E ." --shot "5=$tmp/$run-save.png"; done
  [ -e "$demo/DATA/save.txt" ] && fail "the menu saved into the installed demo"
  [ -e "$tmp/built-demo/DATA/save.txt" ] || fail "the menu did not save into a copy of the demo"
  cmp -s "$tmp/installed-save.png" "$tmp/built-save.png" && fail "the failed save looks like a save"

  # --demo finds the demo beside the program, installed or built, and says when there is none.
  for prog in "$p/bin/kamishibai" "$build/bin/kamishibai"; do
    out=$(player_without_display "$prog" --demo) && status=0 || status=$?
    [ $status = 1 ] && grep -q "cannot open the display" <<<"$out" ||
      fail "$prog --demo did not go on to open the display (status $status): $out"
  done
  mkdir "$tmp/lonely" && cp "$p/bin/kamishibai" "$tmp/lonely/"
  out=$(player_without_display "$tmp/lonely/kamishibai" --demo) && status=0 || status=$?
  [ $status = 1 ] && grep -q "no demo story" <<<"$out" || fail "a lone player's --demo says (status $status): $out"

  # Manual pages: whatis finds each, groff and mandoc do not warn, each --help option is there.
  local page name text
  for page in "$p"/share/man/man*/*.gz; do
    name=$(basename "$page" | sed -E 's/\.[0-9]\.gz$//')
    lexgrog "$page" | grep -q "\"$name - " || fail "lexgrog finds no NAME line in $page: $(lexgrog "$page")"
    out=$(mandoc -T lint -W warning "$page" 2>&1) || true
    [ -z "$out" ] || fail "mandoc -T lint on $page: $out"
    text=$(LC_ALL=C.UTF-8 MANWIDTH=200 man --warnings -l "$page" 2>"$tmp/man-warnings" | col -b) ||
      fail "man -l $page exits with $?"
    [ -s "$tmp/man-warnings" ] && fail "man -l $page warns: $(cat "$tmp/man-warnings")"
    grep -q "^NAME" <<<"$text" || fail "man -l $page shows no NAME section"
    prog=$p/bin/$name
    [ -x "$prog" ] || fail "$page is for $name, which is not installed"
    # (A player that does not read --help yet goes on to open the display.)
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER=x11 "$prog" --help 2>/dev/null) ||
      { [ "$name" = kamishibai ] || fail "$name --help exits with $?"; }
    for opt in $(grep -oE -- '(^|[[ ])--?[A-Za-z][-a-z]*' <<<"$out" | tr -d '[ ' | sort -u); do
      grep -qF -- "$opt" <<<"$text" || fail "$name --help lists $opt, its manual page does not"
    done
  done

  # The desktop entry: valid, and named like the window's class after the program it starts.
  local entry=$p/share/applications/kamishibai.desktop
  out=$(desktop-file-validate "$entry" 2>&1) && [ -z "$out" ] || fail "desktop-file-validate: $out"
  grep -qx 'Exec=kamishibai %f' "$entry" || fail "the desktop entry does not start bin/kamishibai with a file"
  grep -qx 'StartupWMClass=kamishibai' "$entry" || fail "the desktop entry's window class is not kamishibai"
  grep -qx 'Categories=Game;' "$entry" || fail "the desktop entry is not in the Game category"

  # AppStream: the file and its tree valid to Debian's tools; its latest release this one.
  local metainfo=$p/share/metainfo/io.github.kamishibai.kamishibai.metainfo.xml
  out=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "appstreamcli validate: $out"
  out=$(appstreamcli validate-tree --no-net "$p" 2>&1) || fail "appstreamcli validate-tree: $out"
  grep -q '<launchable type="desktop-id">kamishibai.desktop</launchable>' "$metainfo" ||
    fail "the AppStream data does not launch kamishibai.desktop"
  out=$(grep -oE '<release version="[^"]*"' "$metainfo" | head -1)
  [ "$out" = "<release version=\"$version\"" ] || fail "the AppStream data's latest release is $out, not $version"
  out=$(zcat "$p/share/doc/kamishibai/changelog.gz" | head -1)
  [[ "$out" == "kamishibai ($version) "* ]] || fail "the changelog's latest entry is '$out', not $version"

  # Each PNG icon is as large as its folder says (width and height from IHDR).
  local png dims
  for png in "$p"/share/icons/hicolor/*x*/apps/kamishibai.png; do
    dims=$(od -An -tu1 -j16 -N8 "$png" | awk '{ printf "%dx%d", $3 * 256 + $4, $7 * 256 + $8 }')
    [ "$dims" = "$(basename "$(dirname "$(dirname "$png")")")" ] || fail "$png is $dims"
  done
}

check_package() {
  local arch deb
  arch=$(dpkg --print-architecture)
  "${KS_CPACK:-cpack}" -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/package" >"$tmp/cpack.log" 2>&1 ||
    fail "cpack: $(cat "$tmp/cpack.log")"
  deb=$tmp/package/kamishibai_${version}_$arch.deb
  [ -f "$deb" ] || fail "cpack made no $(basename "$deb"): $(ls "$tmp/package")"

  # The libraries the programs link (versioned by dpkg-shlibdeps) and the font are asked for.
  [ "$(dpkg-deb --field "$deb" Package)" = kamishibai ] || fail "the package is not named kamishibai"
  [ "$(dpkg-deb --field "$deb" Version)" = "$version" ] || fail "the package's version is not $version"
  local depends lib
  depends=$(dpkg-deb --field "$deb" Depends)
  for lib in 'libc6 (>= ' 'libsdl2-2.0-0 (>= ' 'libsdl2-mixer-2.0-0 (>= ' 'libfreetype6 (>= ' 'libpng16-16 (>= ' \
             fonts-ipafont-gothic; do
    grep -qF -- "$lib" <<<"$depends" || fail "the package's Depends lacks $lib: $depends"
  done
  dpkg-deb --info "$deb" >/dev/null || fail "dpkg-deb --info cannot read the package"

  # The same files as `cmake --install` under /usr, owned by root, only programs executable.
  dpkg-deb --contents "$deb" >"$tmp/contents"
  diff -u <(expected_files | sed 's|^|usr/|' | sort) \
          <(awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' "$tmp/contents" | sort) ||
    fail "the package's files are not the expected ones (- expected, + packaged)"
  awk '$2 != "root/root" || ($1 !~ /^d/ && $1 != ($6 ~ /^\.\/usr\/bin\// ? "-rwxr-xr-x" : "-rw-r--r--"))' \
    "$tmp/contents" >"$tmp/bad-modes"
  [ -s "$tmp/bad-modes" ] && fail "files with the wrong owner or mode: $(cat "$tmp/bad-modes")"

  # The stripped programs run from the package's tree (unpacked, not installed).
  dpkg-deb -x "$deb" "$tmp/unpacked"
  out=$("$tmp/unpacked/usr/bin/kamishibai-check" -C "$tmp/unpacked/usr/share/kamishibai/demo") ||
    fail "the packaged kamishibai-check on the packaged demo exits with $?: $out"

  # Debian's own checks, as scripts/package runs them.
  lintian --fail-on error,warning "$deb" >"$tmp/lintian" 2>&1 || fail "lintian: $(cat "$tmp/lintian")"
}

case "$mode" in
  tree) check_tree ;;
  package) check_package ;;
  *) fail "unknown mode $mode" ;;
esac
echo "install_test $mode: ok"
