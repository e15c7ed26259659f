#!/usr/bin/env bash
# Times the whole batch run of marc-pinyin-cli against yaz-marcdump on the same synthetic files.
#
# Usage: bench/run_bench.sh [RECORDS...]   (default: 10000 100000 1000000)
# Builds a release build in build/batchbench (override with BUILD=...), generates the files in
# bench/data/ (gitignored) with gen_records, and for each size times, best of RUNS (default 3),
#   ours:  marc-pinyin-cli --quiet --polyphone first --case lower FILE /dev/null   (default tags)
#   yaz:   yaz-marcdump -i marc -o marc FILE > /dev/null
# then ours with --polyphone phrase; wall and CPU time and peak RSS from /usr/bin/time. Its
# centiseconds are too coarse for the phrase/first ratio, which comes last, from PAIRS (default
# 21) runs of each taken in turn, in CPU time to the microsecond.
# Both write to /dev/null so that the disk does not take part. Goals: ours at most 1.0x yaz's
# time and at most 50 MB peak RSS at every size; phrase mode within 1.2x of first.
source "$(dirname "$0")/common.sh"
sizes=("$@")
((${#sizes[@]})) || sizes=(10000 100000 1000000)
runs=${RUNS:-3}
prepare run_bench build/batchbench yaz time

# Best of $runs: wall seconds, CPU seconds (user + system), peak RSS in MB. CPU time is the fair
# figure on a shared machine, where wall time also counts other programs' turns.
measure() {
  for ((i = 0; i < runs; i++)); do
    /usr/bin/time -f "%e %U %S %M" "$@" 2>&1 >/dev/null | tail -1
  done | awk 'NR == 1 || $1 < w { w = $1 } NR == 1 || $2 + $3 < c { c = $2 + $3 } $4 > m { m = $4 }
              END { printf "%.2f %.2f %.1f", w, c, m / 1024 }'
}

printf '%-8s %6s | %-17s | %-17s | %6s %6s | %-11s %6s\n' "" "" "ours (first)" "yaz-marcdump" "ratio" "ratio" \
  "ours phrase" "phrase"
printf '%-8s %6s | %5s %5s %5s | %5s %5s %5s | %6s %6s | %5s %5s %6s\n' records MB wall cpu RSS wall cpu RSS wall cpu \
  wall cpu /first
for n in "${sizes[@]}"; do
  file=$(records_file "$n")
  # Every record must go through: a failed record would make ours look faster than it is.
  "$bin/marc-pinyin-cli" --polyphone first "$file" /dev/null 2>&1 | grep -q " 0 failed" ||
    { echo "run_bench: records failed on $file" >&2; exit 1; }
  read -r ow oc orss <<<"$(measure "$bin/marc-pinyin-cli" --quiet --polyphone first --case lower "$file" /dev/null)"
  read -r yw yc yrss <<<"$(measure yaz-marcdump -i marc -o marc "$file")"
  read -r pw pc _ <<<"$(measure "$bin/marc-pinyin-cli" --quiet --polyphone phrase --case lower "$file" /dev/null)"
  awk -v n="$n" -v size="$(stat -c %s "$file")" -v ow="$ow" -v oc="$oc" -v orss="$orss" -v yw="$yw" \
    -v yc="$yc" -v yrss="$yrss" -v pw="$pw" -v pc="$pc" 'BEGIN {
      printf "%-8s %6.1f | %5.2f %5.2f %5.1f | %5.2f %5.2f %5.1f | %6.2f %6.2f | %5.2f %5.2f %6.2f\n",
        n, size / 1e6, ow, oc, orss, yw, yc, yrss, ow / yw, oc / yc, pw, pc, pc / oc }'
done

# The two modes in turn, so that a busy spell of the machine weighs on both alike.
pairs=${PAIRS:-21}
for n in "${sizes[@]}"; do
  python3 - "$pairs" "$bin/marc-pinyin-cli" "bench/data/codec-$n.mrc" "$n" <<'PY'
import resource, statistics, subprocess, sys
pairs, cli, path, n = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
cpu = {"first": [], "phrase": []}
for _ in range(pairs):
    for mode in cpu:
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        subprocess.run([cli, "--quiet", "--polyphone", mode, "--case", "lower", path, "/dev/null"],
                       check=True)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu[mode].append(after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime)
f, p = cpu["first"], cpu["phrase"]
print(f"{n} records, phrase/first CPU over {pairs} runs each: best {min(p) / min(f):.3f} "
      f"({min(p):.3f} / {min(f):.3f} s), median {statistics.median(p) / statistics.median(f):.3f}")
PY
done
