# Shared by scripts/test and scripts/demo: the Debian packages the project
# needs, installed only when missing, and the build itself.

# Building the player and its tools.
KS_BUILD_PACKAGES=(cmake ninja-build g++ pkg-config libsdl2-dev libsdl2-mixer-dev libx11-dev
  libfreetype-dev libfontconfig-dev libpng-dev nlohmann-json3-dev libinih-dev libspeechd-dev fonts-ipafont-gothic)
# Making the Debian package (scripts/package): the PNG icons drawn from the
# SVG, dpkg-shlibdeps (and file, which CPack asks which files are programs)
# for the dependencies, and lintian to check the package.
KS_PACKAGE_PACKAGES=(librsvg2-bin dpkg-dev file lintian)
# The player in a browser (scripts/web): Debian's emscripten, the font cut
# down by fontTools, and Debian's chromium driven from node (puppeteer-core
# from npm) for the web test. npm comes with nodejs, or is Debian's npm
# (scripts/web installs it when there is no npm).
KS_WEB_PACKAGES=(emscripten fonttools chromium nodejs)
# Running the tests: GoogleTest, oggenc (vorbis-tools), flac and python3 for the sound files the
# hostile sound tests and the mixer fuzz target make, Google Benchmark, clang for the sanitizer and
# fuzz build, an X server, key presses and the clipboard (xclip) for the
# end-to-end tests, /usr/bin/time and XTEST (libxtst-dev) for
# bench/player_bench.sh; and for the
# install tests, what makes and checks the package, the manual pages (man,
# lexgrog, mandoc), the desktop entry and the AppStream data.
KS_TEST_PACKAGES=(googletest vorbis-tools flac python3 libgtest-dev libbenchmark-dev clang libclang-rt-14-dev xvfb xdotool xclip time libxtst-dev
  "${KS_PACKAGE_PACKAGES[@]}" man-db mandoc desktop-file-utils appstream)

ks_missing_packages() {
  local pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}\n' "$pkg" 2>/dev/null | grep -q '^install ok installed$' || echo "$pkg"
  done
}

# Installs the packages given that are not installed yet (apt-get update first,
# and only when something is missing).
ks_install_packages() {
  local missing
  missing=$(ks_missing_packages "$@")
  [ -z "$missing" ] && return 0
  echo "Installing: $(echo $missing)"
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null; then
      sudo="sudo"
    else
      echo "error: these Debian packages are missing and installing them needs root: $(echo $missing)" >&2
      return 1
    fi
  fi
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -q
  # shellcheck disable=SC2086
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
}

# Configures and builds into the folder $1 with any further CMake arguments.
ks_build() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja "$@"
  cmake --build "$dir" -j "$(nproc)"
}
