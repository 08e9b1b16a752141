#!/usr/bin/env bash
# Installs the Debian packages Tallowin needs to build, test and run.
# Idempotent: the package index is refreshed only when something is missing.
set -euo pipefail

PACKAGES=(
  # toolchain and tests
  cmake g++ make pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
  clang libclang-rt-14-dev
  # windows and text
  qt6-base-dev qt6-svg-dev libgl-dev fonts-dejavu-core fonts-urw-base35
  # codecs
  libjpeg62-turbo-dev libpng-dev libdeflate-dev libtiff-dev libgif-dev zlib1g-dev
  libjxr-dev libjxr-tools libwmf-dev libemf2svg-dev
  libheif-dev libwebp-dev libjxl-dev libraw-dev
  # the decoder helpers' system-call filter
  libseccomp-dev
  # independent decoders used by the tests
  imagemagick libjpeg-turbo-progs libheif-examples webp libjxl-tools libimage-exiftool-perl
  # a real window without a desktop, and screenshots
  xvfb xauth xdotool
  # photo information and colour, and the independent tools their tests check with
  libexiv2-dev liblcms2-dev liblcms2-utils libimage-exiftool-perl webp
  # the batch tool's JSON lines and manual pages, read back by its tests
  python3 groff-base
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#PACKAGES[@]} packages present"
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "install-deps: installing ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
