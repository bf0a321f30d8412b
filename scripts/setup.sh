#!/usr/bin/env bash
# Installs the Debian packages needed to build, run and test the program.
# Does nothing when all of them are present already.
#   bash scripts/setup.sh           everything the tests need as well (CI)
#   bash scripts/setup.sh program   only what building and running the
#                                   program, the content builder and the
#                                   database need (scripts/run.sh), without
#                                   the packages' recommendations
set -euo pipefail

# Building the program, the content builder and the database, and running
# the program on X11 or Wayland (and on Xvfb, with a screenshot, when there
# is no display).
PROGRAM_PACKAGES=(
  cmake g++ make pkg-config dpkg-dev
  qt6-base-dev qt6-base-private-dev qt6-svg-dev libjpeg62-turbo-dev libsqlite3-dev libtomlplusplus-dev
  libx11-dev libwayland-dev wayland-protocols mdbtools-dev libpq-dev
  fonts-noto-cjk qt6-wayland
  xvfb x11-utils imagemagick
)
# The tests, benchmarks, fuzzing, packaging and their tools.
TEST_PACKAGES=(
  libgtest-dev libbenchmark-dev
  mdbtools postgresql
  xdotool python3 python3-xlib poppler-utils weston
  cups printer-driver-cups-pdf
  file lintian desktop-file-utils appstream
  clang libfuzzer-14-dev gdb
)

apt_options=()
case "${1:-all}" in
  program)
    PACKAGES=("${PROGRAM_PACKAGES[@]}")
    apt_options=(--no-install-recommends)
    ;;
  all) PACKAGES=("${PROGRAM_PACKAGES[@]}" "${TEST_PACKAGES[@]}") ;;
  *)
    echo "usage: setup.sh [program]" >&2
    exit 2
    ;;
esac

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
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y "${apt_options[@]}" "${missing[@]}"
