#!/usr/bin/env bash
# Installs every Debian package Lumora needs to build, run and test.
set -euo pipefail
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
PKGS=(
  build-essential cmake ninja-build pkg-config git clang-format lld
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-image-formats-plugins
  libqt6svg6 qt6-qpa-plugins libgl1-mesa-dev
  libmagick++-dev libmagickcore-6.q16-6-extra
  libwmf-dev fonts-urw-base35
  libemf2svg-dev
  libsqlite3-dev libsodium-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev librapidcheck-dev
  libjpeg62-turbo-dev libpng-dev libexif-dev libdeflate-dev
  imagemagick xvfb openbox xdotool x11-apps
  desktop-base
  libvips-tools
  libuemf-dev x11-utils
  poppler-utils xdg-utils desktop-file-utils shared-mime-info
  python3-pil libwmf-bin emf2svg graphicsmagick netpbm libtiff-tools libgs-common
  libgdk-pixbuf2.0-bin
  libtiff-dev
  libgif-dev gifsicle
  mate-backgrounds libglib2.0-bin
  qt6-base-private-dev
  exfatprogs exfat-fuse acl attr
  libseccomp-dev
  libwebp-dev libheif-dev libjxl-dev libraw-dev
  webp libheif-examples libavif-bin libjxl-tools libraw-bin colord-data
  libimage-exiftool-perl
  liblcms2-dev liblcms2-utils libxcb1-dev icc-profiles-free
)
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
