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
printf '[options]\npolyphone=0\naskOnlyWhenUnsure=true\n' >"$work/config/marc-pinyin/marc-pinyin.ini"
shoot docs/screenshots/run.png --demo-run samples/sample.iso "$work/run-pinyin.iso"
# The end of a run with failed records (three damaged records among the sample's), and a run that
# cannot start; the words around decide, so nothing is asked.
printf '[options]\npolyphone=2\n' >"$work/config/marc-pinyin/marc-pinyin.ini"
python3 - samples/sample.iso "$work/damaged.iso" <<'PY'
import sys
records = [r + b'\x1d' for r in open(sys.argv[1], 'rb').read().split(b'\x1d') if r.strip()]
cut = records[2][:30] + b'\x1d'                               # cut inside its directory
past = bytearray(records[5]); past[24 + 12 * 2 + 3:24 + 12 * 2 + 7] = b'9999'  # a field past the end
broken = records[9].replace(b'\x1e', b'', 1)                  # no directory terminator
out = records[:3] + [cut] + records[3:6] + [bytes(past)] + records[6:9] + [broken] + records[9:]
open(sys.argv[2], 'wb').write(b'\r\n'.join(out) + b'\r\n')
PY
shoot docs/screenshots/failures.png --demo-run "$work/damaged.iso" "$work/damaged-pinyin.iso"
shoot docs/screenshots/start-error.png --demo-run samples/sample.iso "$work/no-such-folder/sample-pinyin.iso"
# A run stopped after its fifth record: the next start on the same files offers to go on.
cp samples/sample.iso "$work/stopped.iso"
: >"$work/stopped-pinyin.iso"
python3 - "$work/stopped.iso" "$work/stopped-pinyin.iso" "$work/config/marc-pinyin/marc-pinyin.ini" <<'PY'
import os, sys
def stamp(p):
    s = os.stat(p)
    return f"{s.st_size} {s.st_mtime_ns // 1000000}"
inp, out, ini = sys.argv[1:]
open(ini, 'w').write(f"""[options]
polyphone=2
[resume]
input={inp}
output={out}
inputStamp={stamp(inp)}
outputStamp={stamp(out)}
done=5
tags=200,225,517,600,601,602,603,604,605,606,607,608,609,610,701,702,711,712
codeA=true
delExisting=true
lower=true
polyphone=2
askOnlyWhenUnsure=false
""")
PY
shoot docs/screenshots/resume.png --demo-run "$work/stopped.iso" "$work/stopped-pinyin.iso"
# The review table on the university records: the unsure readings gathered first, one row a group,
# and the same on 2,000 synthetic records, where many rows stand.
printf '[options]\npolyphone=0\nreview=true\n' >"$work/config/marc-pinyin/marc-pinyin.ini"
cp tests/data/real-records/cnmarc-university.gbk.iso "$work/university.iso"
shoot docs/screenshots/review.png --demo-run "$work/university.iso" "$work/university-pinyin.iso"
if [[ -x "build/$name/bin/gen_records" ]]; then
  "build/$name/bin/gen_records" --records 2000 "$work/synthetic.iso" >/dev/null 2>&1
  printf '[options]\npolyphone=0\nreview=true\n' >"$work/config/marc-pinyin/marc-pinyin.ini"
  shoot docs/screenshots/review-synthetic.png --demo-run "$work/synthetic.iso" "$work/synthetic-pinyin.iso"
fi
