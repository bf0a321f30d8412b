#!/usr/bin/env bash
# Installs what is missing, builds what the program needs (the program, the
# content builder and the database; the tests are left to scripts/test.sh),
# and runs the program: in the foreground on the Wayland or X display when
# one is reachable; otherwise on a private Xvfb screen, keeping a screenshot
# of the start screen.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh program
if [[ -f build/CMakeCache.txt ]]; then
  cmake -S . -B build
else
  cmake -S . -B build -DAOSHU_TESTS=OFF
fi
cmake --build build -j"$(nproc)" --target aoshu bundled_database

program=build/bin/aoshu
wayland_socket=${WAYLAND_DISPLAY:-}
if [[ -n $wayland_socket && $wayland_socket != /* ]]; then
  wayland_socket=${XDG_RUNTIME_DIR:-/nonexistent}/$wayland_socket
fi
if [[ -n $wayland_socket && -S $wayland_socket ]]; then
  exec "$program"
fi
if [[ -n "${DISPLAY:-}" ]] && xdpyinfo >/dev/null 2>&1; then
  exec "$program"
fi

echo "run: no Wayland or X display reachable; running on Xvfb at 1280x1024x24 instead"
work=$(mktemp -d)
xvfb=""
app=""
stop() {
  if [[ -n $1 ]]; then
    kill "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
  fi
}
cleanup() {
  stop "$app"
  stop "$xvfb"
  rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display number and writes it to descriptor 3.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do
  [[ -s $work/display ]] && break
  sleep 0.1
done
if [[ ! -s $work/display ]]; then
  echo "run: Xvfb did not start:" >&2
  cat "$work/xvfb.log" >&2
  exit 1
fi
export DISPLAY=":$(head -n 1 "$work/display")"
export QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$work}

"$program" &
app=$!
# The start screen appears on the third one-second tick after the window shows.
sleep 6
if ! kill -0 "$app" 2>/dev/null; then
  status=0
  wait "$app" || status=$?
  app=""
  echo "run: the program ended early with status $status" >&2
  exit 1
fi

mkdir -p build/screenshots
shot="$PWD/build/screenshots/start-screen.png"
import -window root "$shot"
echo "run: screenshot of the start screen: $shot"
