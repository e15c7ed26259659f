#!/usr/bin/env bash
# Photographs the program on a real X server (Xvfb) with a window manager (openbox) into
# docs/screenshots/: the main window, the chooser on a long title, and a run in progress.
# The program grabs the screen around its own windows, frames included (MARCPY_SCREENSHOT).
# Usage: scripts/screenshots.sh [BUILD_NAME]   (default: release; builds it when needed)
set -euo pipefail
cd "$(dirname "$0")/.."
name=${1:-release}
program="$PWD/build/$name/bin/marc-pinyin"
if [[ ! -x "$program" ]]; then
  bash scripts/build.sh "$name" -DMARCPY_GUI=ON >/dev/null
  cmake --build "build/$name" --target marc-pinyin -j"${JOBS:-2}"
fi
command -v openbox >/dev/null || { echo "screenshots: openbox is missing (scripts/setup.sh)" >&2; exit 1; }
mkdir -p docs/screenshots
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

shoot() {  # shoot FILE [ARGS...]: the program's windows as the X server holds them
  local file=$1; shift
  # A settings folder of its own: the pictures show the window as a new user first sees it.
  XDG_CONFIG_HOME="$work/config" MARCPY_SCREENSHOT="$PWD/$file" QT_QPA_PLATFORM=xcb \
    ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0} \
    xvfb-run --auto-servernum --server-args="-screen 0 1024x768x24 -dpi 96" \
    sh -c 'openbox >/dev/null 2>&1 & sleep 1; "$@"' sh "$program" "$@"
  echo "wrote $file"
}

shoot docs/screenshots/main-window.png samples/sample.iso "$work/sample-pinyin.iso"
shoot docs/screenshots/chooser.png --demo-chooser
# The quieter manual mode, so the run is some way in when the first question comes.
mkdir -p "$work/config/marc-pinyin"
printf '[options]\naskOnlyWhenUnsure=true\n' >"$work/config/marc-pinyin/marc-pinyin.ini"
shoot docs/screenshots/run.png --demo-run samples/sample.iso "$work/run-pinyin.iso"
