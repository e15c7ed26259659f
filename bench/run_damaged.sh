#!/usr/bin/env bash
# Peak memory of a run over a file of damaged records only (each with a field of length 0), which
# must stay as flat as over clean ones: the run counts every failure but keeps only the first few
# hundred in memory (the rejects file and the failure log have them all).
# Usage: bench/run_damaged.sh [RECORDS]   (default 1000000; release build in build/rel)
set -euo pipefail
cd "$(dirname "$0")/.."
n=${1:-1000000}
[ -x build/rel/bin/marc-pinyin-cli ] ||
  JOBS=${JOBS:-2} bash scripts/build.sh rel -DMARCPY_GUI=OFF -DMARCPY_TESTS=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 - "$n" "$work/damaged.iso" <<'PY'
import sys
n, path = int(sys.argv[1]), sys.argv[2]
# Leader, one directory entry (tag 001, length 0), the field and the record terminator.
record = b'00040nam0 2200037   450 001000000000\x1e1\x1e\x1d'
with open(path, 'wb') as out:
    for _ in range(n // 10000):
        out.write(record * 10000)
PY
/usr/bin/time -f "%e s, peak RSS %M KB" build/rel/bin/marc-pinyin-cli --quiet --polyphone first \
  "$work/damaged.iso" "$work/out.iso" 2>"$work/err" || true
grep -c . "$work/out.iso.rejected.txt" | sed 's/^/failure log lines: /'
tail -1 "$work/err"
