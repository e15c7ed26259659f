#!/usr/bin/env bash
# Times the whole batch run of marc-pinyin-cli against yaz-marcdump on the same synthetic files.
#
# Usage: bench/run_bench.sh [RECORDS...]   (default: 10000 100000 1000000)
# Builds a release build in build/batchbench (override with BUILD=...), generates the files in
# bench/data/ (gitignored) with gen_records, and for each size times, with hyperfine in one run,
#   ours:  marc-pinyin-cli --quiet --polyphone first --case lower FILE /dev/null   (default tags)
#   yaz:   yaz-marcdump -i marc -o marc FILE > /dev/null
# then the same run with --polyphone phrase, and peak RSS of both programs (/usr/bin/time).
# Both write to /dev/null so that the disk does not take part. Goals: ours at most 1.0x yaz's
# time and at most 50 MB peak RSS at every size; phrase mode within 1.2x of first.
set -euo pipefail
cd "$(dirname "$0")/.."
sizes=("$@")
((${#sizes[@]})) || sizes=(10000 100000 1000000)
build=${BUILD:-build/batchbench}
runs=${RUNS:-5}

JOBS=${JOBS:-2} bash scripts/build.sh "$(basename "$build")" -DMARCPY_GUI=OFF -DMARCPY_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
bin=$build/bin
command -v yaz-marcdump >/dev/null || { echo "run_bench: yaz-marcdump is missing (apt-get install yaz)" >&2; exit 1; }
command -v hyperfine >/dev/null || { echo "run_bench: hyperfine is missing (apt-get install hyperfine)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "run_bench: /usr/bin/time is missing (apt-get install time)" >&2; exit 1; }
mkdir -p bench/data

mean() {  # mean time in seconds of command $2 in hyperfine's json $1
  python3 -c 'import json,sys; print("%.3f" % json.load(open(sys.argv[1]))["results"][int(sys.argv[2])]["mean"])' "$@"
}
rss() {  # peak resident set of a command, in MB
  /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1 | awk '{printf "%.1f", $1 / 1024}'
}

printf '%-9s %9s %9s %9s %7s %9s %9s %10s %9s\n' records MB ours_s yaz_s ratio phrase_s ph/first ours_RSS yaz_RSS
for n in "${sizes[@]}"; do
  file=bench/data/codec-$n.mrc
  [ -s "$file" ] || "$bin/gen_records" --records "$n" "$file" >/dev/null 2>&1
  ours="$bin/marc-pinyin-cli --quiet --polyphone first --case lower $file /dev/null"
  phrase="$bin/marc-pinyin-cli --quiet --polyphone phrase --case lower $file /dev/null"
  yaz="yaz-marcdump -i marc -o marc $file"
  # Every record must go through: a failed record would make ours look faster than it is.
  "$bin/marc-pinyin-cli" --polyphone first "$file" /dev/null 2>&1 | grep -q " 0 failed" ||
    { echo "run_bench: records failed on $file" >&2; exit 1; }
  json=$(mktemp)
  hyperfine -N -w 1 -r "$runs" --export-json "$json" --output=null "$ours" "$yaz" "$phrase" >/dev/null 2>&1
  o=$(mean "$json" 0); y=$(mean "$json" 1); p=$(mean "$json" 2)
  rm -f "$json"
  printf '%-9s %9.1f %9s %9s %7.2f %9s %9.2f %10s %9s\n' "$n" "$(echo "$(stat -c %s "$file") / 1000000" | bc -l)" \
    "$o" "$y" "$(echo "$o / $y" | bc -l)" "$p" "$(echo "$p / $o" | bc -l)" \
    "$(rss $ours)" "$(rss $yaz)"
done
