#!/usr/bin/env bash
# Times the whole batch run against yaz-marcdump with the output in a real file on disk.
#
# Usage: bench/run_writes.sh [RECORDS]   (default: 100000)
# Builds a release build in build/batchbench (override with BUILD=...), generates the file in
# bench/data/ (gitignored) with gen_records, and runs ROUNDS (default 11) rounds, each of
#   yaz:    yaz-marcdump -i marc -o marc FILE > OUT
#   first:  marc-pinyin-cli --quiet --polyphone first FILE OUT
#   phrase: marc-pinyin-cli --quiet FILE OUT                        (the default mode)
# in turn, in an order that changes from round to round, so that a busy spell of the shared
# machine weighs on all three alike. OUT is a fresh file in bench/data/out/ for every run (the
# program appends). Prints the median wall, user, system and CPU time and peak RSS of each, and
# the ratios of the medians to yaz's. Goals: first at most 0.45x yaz's wall time, phrase at most
# 0.6x, on a machine whose second core is free. BEFORE=path/to/an/older/marc-pinyin-cli adds its
# two modes to every round.
source "$(dirname "$0")/common.sh"
rounds=${ROUNDS:-11}
prepare run_writes build/batchbench yaz time
file=$(records_file "${1:-100000}")

python3 - "$rounds" "$bin/marc-pinyin-cli" "$file" bench/data/out "${BEFORE:-}" <<'PY'
import os, statistics, subprocess, sys, time
rounds, cli, path, outdir, before = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5]
out, rss = os.path.join(outdir, "out.mrc"), os.path.join(outdir, "rss")
runs = {"yaz": (["yaz-marcdump", "-i", "marc", "-o", "marc", path], True)}
for suffix, program in [("", cli)] + ([("-before", before)] if before else []):
    runs["first" + suffix] = ([program, "--quiet", "--polyphone", "first", path, out], False)
    runs["phrase" + suffix] = ([program, "--quiet", path, out], False)
names = list(runs)
figures = {name: [] for name in names}
for r in range(rounds):
    for name in names[r % len(names):] + names[:r % len(names)]:
        argv, to_stdout = runs[name]
        for f in (out, out + ".rejected", out + ".rejected.txt"):
            if os.path.exists(f):
                os.remove(f)
        sink = open(out, "wb") if to_stdout else subprocess.DEVNULL
        # Peak RSS from /usr/bin/time: a child of this script would count the script's own pages.
        began = time.perf_counter()
        p = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", rss] + argv, stdout=sink)
        _, status, usage = os.wait4(p.pid, 0)
        wall = time.perf_counter() - began
        if to_stdout:
            sink.close()
        if status != 0:
            sys.exit(f"run_writes: {name} ended with status {status}")
        if os.path.exists(out + ".rejected"):
            sys.exit(f"run_writes: records failed in {name}")
        with open(rss) as f:
            peak = int(f.read().split()[-1]) / 1024
        figures[name].append((wall, usage.ru_utime, usage.ru_stime, peak))
size = os.path.getsize(path)
print(f"{path}: {size / 1e6:.1f} MB, output in {outdir}, {rounds} rounds, medians")
print(f"{'':13} {'wall':>6} {'user':>6} {'sys':>6} {'cpu':>6} {'RSS MB':>7} | {'wall':>5} {'cpu':>5} {'sys':>5} / yaz")
med = {}
for name in names:
    f = figures[name]
    med[name] = [statistics.median(x[i] for x in f) for i in range(4)] + \
                [statistics.median(x[1] + x[2] for x in f)]
for name in names:
    w, u, s, rss, c = med[name]
    yw, _, ys, _, yc = med["yaz"]
    print(f"{name:13} {w:6.3f} {u:6.3f} {s:6.3f} {c:6.3f} {rss:7.1f} | {w / yw:5.2f} {c / yc:5.2f} {s / ys:5.2f}")
PY
