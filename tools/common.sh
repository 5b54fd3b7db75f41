# Shared by run.sh and test.sh: install what is missing, then configure and
# build. Sourced, not run.
set -euo pipefail

KESTROVA_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${KESTROVA_BUILD_DIR:-$KESTROVA_ROOT/build}"

# What building and running need: ./run.sh installs these alone.
PACKAGES=(
  cmake ninja-build g++ pkg-config ccache
  qt6-base-dev libqt6opengl6-dev qt6-svg-dev
  libgl-dev libglu1-mesa-dev libegl-dev libgl1-mesa-dri libegl-mesa0
  libwmf-dev libemf2svg-dev fonts-dejavu-core libx11-dev
  # Video export.
  libavcodec-dev libavformat-dev libswscale-dev libavutil-dev
  # PNG written as it is drawn.
  libpng-dev zlib1g-dev
  # Batch renders read their spreadsheet with libcsv.
  libcsv-dev
  # WebP and TIFF artwork: Qt's image-format plugins.
  qt6-image-formats-plugins
  # PDF artwork (Poppler, in the picture helper).
  libpoppler-qt6-dev
  # Photoshop artwork: ImageMagick's Magick++, in the picture helper only.
  libmagick++-6.q16-dev
  # Print covers: CMYK JPEGs through LittleCMS and a press profile
  # (Ghostscript's, in libgs-common).
  liblcms2-dev libtiff-dev libgs-common libjpeg-dev
  # Studio lighting from HDR environments: OpenEXR for .exr, stb_image for
  # Radiance .hdr.
  libopenexr-dev libstb-dev
  # libwmf draws WMF text and some shapes with the URW base fonts; without
  # them every metafile fails to play.
  fonts-urw-base35
)

# What the tests add: ./test.sh installs these too.
TEST_PACKAGES=(
  googletest libgtest-dev libbenchmark-dev
  # The window tests' virtual X server.
  xvfb xauth
  # The install test: the desktop-file checkers, manual pages, a pretend user.
  desktop-file-utils appstream man-db xdotool
  # The Debian package: its dependencies computed, its checker.
  dpkg-dev lintian file
  # The cluster test: a one-node Slurm cluster of its own.
  slurm-wlm munge
  # Reference tools: Poppler's renderer, LittleCMS's jpgicc.
  poppler-utils liblcms2-utils
  # The print templates' checkers: qpdf's structure check, Ghostscript's separations.
  qpdf ghostscript
  # The studio look's reference renderer in the tests, and the shop models'
  # independent reader (Blender's glTF importer wants numpy).
  blender python3-numpy
  # The shop models' checkers run on node: Khronos' glTF-Validator,
  # three.js's USDZ reader and Puppeteer driving Debian's Chromium (the
  # product page), installed from npm by install_test_tools.
  nodejs chromium
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs what is missing of PACKAGES, and of TEST_PACKAGES too when
# called with "tests".
install_missing() {
  local wanted=("${PACKAGES[@]}")
  if [ "${1:-}" = tests ]; then wanted+=("${TEST_PACKAGES[@]}"); fi
  local missing=()
  for package in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$package")
    fi
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

# The tests' tools from npm, pinned, into the build folder; npm itself from
# Debian when the machine has none.
NPM_TOOLS=(gltf-validator@2.0.0-dev.3.10 three@0.170.0 puppeteer-core@23.11.1)
install_test_tools() {
  if ! command -v npm > /dev/null 2>&1; then
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends npm
  fi
  local folder="$BUILD_DIR/npm-tools"
  local stamp="$folder/.installed ${NPM_TOOLS[*]}"
  if [ ! -f "$stamp" ]; then
    mkdir -p "$folder"
    npm install --silent --no-audit --no-fund --prefix "$folder" "${NPM_TOOLS[@]}"
    touch "$stamp"
  fi
}

configure_and_build() {
  local extra=("$@")
  cmake -S "$KESTROVA_ROOT" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${extra[@]}"
  cmake --build "$BUILD_DIR" -j2
}
