#!/usr/bin/env bash
# Times a whole run through the window against the command line on the same file, on a real X
# server (Xvfb) with a window manager (openbox), in turns so that a busy spell weighs on both.
#
# Usage: bench/run_gui_bench.sh [RECORDS]   (default 100000)
#   window:       marc-pinyin-gui-bench FILE OUT   (自动选择拼音, the start button to the completion box)
#   command line: marc-pinyin-cli --quiet --polyphone first FILE OUT   (the whole process)
# Both append to a fresh file on disk. Prints the best and the median of RUNS (default 9) each and
# their ratios, in wall time and in CPU time (the window's from the press to the box, so Qt's
# start-up is left out; the command line's whole process, start-up and py.db included). CPU time
# is the steadier figure on a shared machine. The goal is the window within 1.2x of the command line.
# BUILD (default build/guibench) is configured as a release build unless it exists already.
set -euo pipefail
cd "$(dirname "$0")/.."
n=${1:-100000}
build=${BUILD:-build/guibench}
if [[ ! -f "$build/CMakeCache.txt" ]]; then
  cmake -S . -B "$build" -G Ninja -DMARCPY_TESTS=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" -j"${JOBS:-2}" --target gen_records marc-pinyin-cli marc-pinyin-gui-bench >/dev/null
bin=$build/bin
mkdir -p bench/data
file=bench/data/codec-$n.mrc
[ -s "$file" ] || "$bin/gen_records" --records "$n" "$file" >/dev/null 2>&1
command -v openbox >/dev/null || { echo "run_gui_bench: openbox is missing (scripts/setup.sh)" >&2; exit 1; }

export RUNS=${RUNS:-9} BIN=$bin FILE=$file N=$n
xvfb-run --auto-servernum --server-args="-screen 0 1024x768x24 -dpi 96" sh -c '
openbox >/dev/null 2>&1 &
sleep 1
python3 - <<"PY"
import os, re, resource, statistics, subprocess, tempfile, time
runs, bin_, path, n = int(os.environ["RUNS"]), os.environ["BIN"], os.environ["FILE"], os.environ["N"]
env = dict(os.environ, QT_QPA_PLATFORM="xcb")
gui, cli, gcpu, ccpu = [], [], [], []
with tempfile.TemporaryDirectory() as tmp:
    out = os.path.join(tmp, "out.iso")
    for _ in range(runs):
        for f in (out, out + ".rejected"):
            if os.path.exists(f): os.remove(f)
        r = subprocess.run([f"{bin_}/marc-pinyin-gui-bench", path, out], env=env, check=True,
                           capture_output=True, text=True)
        m = re.search(r"window: ([0-9.]+) s, cpu ([0-9.]+) s", r.stdout)
        gui.append(float(m.group(1)))
        gcpu.append(float(m.group(2)))
        caption = r.stdout.strip()
        os.remove(out)
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        t = time.perf_counter()
        subprocess.run([f"{bin_}/marc-pinyin-cli", "--quiet", "--polyphone", "first", path, out], check=True)
        cli.append(time.perf_counter() - t)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        ccpu.append(after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime)
med = statistics.median
print(f"{n} records, {os.path.getsize(path) / 1e6:.1f} MB, {runs} runs each in turn")
print(f"  last window run: {caption}")
print(f"  wall: window best {min(gui):.3f} median {med(gui):.3f} s; command line best {min(cli):.3f} median {med(cli):.3f} s")
print(f"  cpu:  window best {min(gcpu):.3f} median {med(gcpu):.3f} s; command line best {min(ccpu):.3f} median {med(ccpu):.3f} s")
print(f"  window / command line: wall best {min(gui) / min(cli):.2f}x median {med(gui) / med(cli):.2f}x; "
      f"cpu best {min(gcpu) / min(ccpu):.2f}x median {med(gcpu) / med(ccpu):.2f}x")
PY
'
