#!/usr/bin/env bash
# Two runs appending to one output on a full small file system, ten times (as root: it mounts a
# 1 MiB tmpfs). Checks after each try that every record in the output and in the rejects file is
# whole, that each run's printed counts add up (read = written + failed) and that the output
# holds exactly as many records as the runs say they wrote.
# Usage: tests/stress/two_runs_full_disk.sh BUILD_DIR   (BUILD_DIR/bin holds marc-pinyin-cli)
set -euo pipefail
bin=$(realpath "${1:?usage: $0 BUILD_DIR}")/bin
work=$(mktemp -d)
mnt=$work/mnt
mkdir -p "$mnt"
trap 'umount "$mnt" 2>/dev/null || true; rm -rf "$work"' EXIT
"$bin/gen_records" --records 4000 "$work/in.mrc" >/dev/null 2>&1
python3 - "$work/in.mrc" "$work/half" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
recs = [r + b'\x1d' for r in data.split(b'\x1d') if r]
open(sys.argv[2] + '1.mrc', 'wb').write(b''.join(recs[:2000]))
open(sys.argv[2] + '2.mrc', 'wb').write(b''.join(recs[2000:]))
PY
pass=0
for try in $(seq 1 10); do
  mount -t tmpfs -o size=1m tmpfs "$mnt"
  "$bin/marc-pinyin-cli" --polyphone first --separator none "$work/half1.mrc" "$mnt/out.mrc" 2>"$work/err1" & p1=$!
  "$bin/marc-pinyin-cli" --polyphone first --separator none "$work/half2.mrc" "$mnt/out.mrc" 2>"$work/err2" & p2=$!
  wait $p1 || true
  wait $p2 || true
  python3 - "$mnt/out.mrc" "$work/err1" "$work/err2" <<'PY' && pass=$((pass + 1))
import re, sys
def whole(path):
    try:
        data = open(path, 'rb').read()
    except FileNotFoundError:
        return 0
    n, at = 0, 0
    while at < len(data):
        length = int(data[at:at + 5])
        rec = data[at:at + length]
        assert rec.endswith(b'\x1d'), f'{path}: record {n + 1} is not whole'
        base = int(rec[12:17])
        assert rec[base - 1:base] == b'\x1e', f'{path}: record {n + 1} has no directory end'
        at += length
        while data[at:at + 2] == b'\r\n':
            at += 2
        n += 1
    return n
written = 0
for err in sys.argv[2:]:
    text = open(err).read()
    m = re.search(r'(\d+) records read, (\d+) written, (\d+) failed', text)
    if m:
        r, w, f = map(int, m.groups())
        assert r == w + f, f'{err}: {text}'
        written += w
    else:
        assert 'another run is writing to' in text, f'{err}: {text}'
    if m and int(m.group(3)) > 0:
        whole(sys.argv[1] + '.rejected')
assert whole(sys.argv[1]) == written, f'output holds {whole(sys.argv[1])} records, the runs say {written}'
print('ok:', written, 'records written;', ' | '.join(open(e).read().strip().replace('\n', ' / ') for e in sys.argv[2:]))
PY
  umount "$mnt"
done
echo "$pass of 10 tries: every record whole, every count true"
[ "$pass" -eq 10 ]
