#!/usr/bin/env bash
# Installs the Debian packages needed to build, run and test the program.
# Does nothing when all of them are present already.
set -euo pipefail

PACKAGES=(
  cmake g++ make
  qt6-base-dev qt6-svg-dev libjpeg62-turbo-dev libsqlite3-dev libtomlplusplus-dev libx11-dev
  libgtest-dev libbenchmark-dev
  pkg-config mdbtools-dev mdbtools
  libpq-dev postgresql
  fonts-noto-cjk
  xvfb xdotool x11-utils imagemagick python3 python3-xlib poppler-utils
  cups printer-driver-cups-pdf
  dpkg-dev file lintian desktop-file-utils appstream
  clang libfuzzer-14-dev gdb
)

missing=()
for package in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if ((${#missing[@]} == 0)); then
  echo "setup: all ${#PACKAGES[@]} packages present"
  exit 0
fi

sudo=()
if [[ $(id -u) -ne 0 ]]; then
  sudo=(sudo)
fi
echo "setup: installing ${missing[*]}"
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
