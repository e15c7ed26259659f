#!/usr/bin/env bash
# Photographs the main window and the chooser on a real X server (Xvfb) into docs/screenshots/.
# The program grabs its own window from the X server (MARCPY_SCREENSHOT); no window manager runs,
# so the pictures show the windows' contents without a title bar.
# Usage: scripts/screenshots.sh [BUILD_NAME]   (default: release; builds it when needed)
set -euo pipefail
cd "$(dirname "$0")/.."
name=${1:-release}
program="build/$name/bin/marc-pinyin"
if [[ ! -x "$program" ]]; then
  bash scripts/build.sh "$name" -DMARCPY_GUI=ON >/dev/null
  cmake --build "build/$name" --target marc-pinyin -j"${JOBS:-2}"
fi
mkdir -p docs/screenshots

shoot() {  # shoot FILE [ARGS...]: the window the program shows, as the X server holds it
  local file=$1; shift
  MARCPY_SCREENSHOT="$PWD/$file" QT_QPA_PLATFORM=xcb ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0} \
    xvfb-run --auto-servernum --server-args="-screen 0 1024x768x24 -dpi 96" "$program" "$@"
  echo "wrote $file"
}

shoot docs/screenshots/main-window.png
shoot docs/screenshots/chooser.png --demo-chooser
