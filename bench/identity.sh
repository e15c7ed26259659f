#!/usr/bin/env bash
# Byte identity of two builds of the command line: every output of NEW must be the same bytes as
# REF's, over the same inputs and options.
#
# Usage: bench/identity.sh [RECORDS]   (default: 100000)
#   REF=folder of the reference marc-pinyin-cli and py.db   (required: e.g. a release build of the
#       commit before a change, scripts/build.sh in a checkout of it)
#   NEW=folder of the build to check                        (default: a release build in build/batchbench)
# Compares, run by run: the output file, the rejects file, the failure log, standard output,
# standard error (the seconds of the summary masked) and the exit status, over
#   - RECORDS synthetic records (gen_records) in GBK, and a fifth of them in UTF-8 and GB18030,
#     in every option that changes the output, and over a first run's output (existing pinyin);
#   - every file of the real records (REAL, default /work/shared/data/real-records);
#   - a file of damaged records made from the synthetic ones, and one with random bytes set;
#   - both manual modes (ask, ask-unsure) on a terminal (a pseudo-terminal) with scripted answers,
#     the text the chooser shows compared as well.
# Prints one line per difference and a count; exits 1 when anything differs.
set -euo pipefail
cd "$(dirname "$0")/.."
n=${1:-100000}
ref=${REF:?REF must name the folder of the reference build (marc-pinyin-cli and py.db)}
if [ -z "${NEW:-}" ]; then
  JOBS=${JOBS:-2} bash scripts/build.sh batchbench -DMARCPY_GUI=OFF -DMARCPY_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
  new=build/batchbench/bin
else
  new=$NEW
fi
real=${REAL:-/work/shared/data/real-records}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$new/gen_records" --records "$n" "$work/syn.gbk.mrc" >/dev/null 2>&1
"$new/gen_records" --records $((n / 5)) --encoding utf-8 --separator crlf "$work/syn.utf8.mrc" >/dev/null 2>&1
"$new/gen_records" --records $((n / 5)) --encoding gb18030 "$work/syn.gb18030.mrc" >/dev/null 2>&1
"$new/gen_records" --records 300 "$work/ask.mrc" >/dev/null 2>&1
python3 "$(dirname "$0")/identity.py" "$ref" "$new" "$work" "$real"
