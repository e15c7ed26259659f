#!/usr/bin/env bash
# Times decoding plus re-encoding of a synthetic CNMARC file, ours against yaz-marcdump, in one run.
#
# Usage: bench/run_codec.sh [RECORDS]   (default 100000, about 47 MB)
# Builds a release build in build/bench (override with BUILD=...), generates bench/data/ files
# (gitignored), times `codec_bench FILE` and `yaz-marcdump -i marc -o marc FILE > /dev/null` with
# hyperfine (or repeated timing without it), prints the ratio, and peak RSS for the full file and
# for a file a fifth its size (streaming: the two should be about the same).
source "$(dirname "$0")/common.sh"
records=${1:-100000}
runs=${RUNS:-10}
prepare run_codec build/bench yaz
file=$(records_file "$records")
small=$(records_file $((records / 5)))

echo "file: $file ($(stat -c %s "$file") bytes)"
"$bin/codec_bench" "$file"

ours="$bin/codec_bench $file"
yaz="yaz-marcdump -i marc -o marc $file"
if command -v hyperfine >/dev/null; then
  json=$(mktemp)
  hyperfine -N -w 2 -r "$runs" --export-json "$json" "$ours" "$yaz" --output=null
  python3 - "$json" <<'PY'
import json, sys
r = json.load(open(sys.argv[1]))["results"]
ours, yaz = r[0]["mean"], r[1]["mean"]
print(f"ours {ours:.3f} s, yaz-marcdump {yaz:.3f} s: ours takes {ours / yaz:.2f}x yaz's time ({yaz / ours:.2f}x as fast)")
PY
  rm -f "$json"
else
  best() {  # best wall time of $runs runs, in seconds
    local b=999999 s e t
    for ((i = 0; i < runs; i++)); do
      s=$(date +%s.%N); "$@" >/dev/null; e=$(date +%s.%N)
      t=$(echo "$e - $s" | bc); (($(echo "$t < $b" | bc))) && b=$t
    done
    echo "$b"
  }
  o=$(best $ours); y=$(best $yaz)
  echo "ours $o s, yaz-marcdump $y s (best of $runs): ratio $(echo "scale=2; $o / $y" | bc)"
fi

if [ -x /usr/bin/time ]; then
  for f in "$file" "$small"; do
    o=$(/usr/bin/time -f %M "$bin/codec_bench" "$f" 2>&1 >/dev/null | tail -1)
    y=$( { /usr/bin/time -f %M yaz-marcdump -i marc -o marc "$f" >/dev/null; } 2>&1 | tail -1)
    echo "peak RSS on $(basename "$f"): ours $o KB, yaz-marcdump $y KB"
  done
else
  echo "peak RSS: /usr/bin/time is missing (apt-get install time)"
fi
