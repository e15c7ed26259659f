#!/usr/bin/env bash
# Quick start: installs what is missing, builds a release, runs marc-pinyin-cli on the bundled
# sample into a fresh file under out/, and shows the summary and the first annotated record.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh release -DCMAKE_BUILD_TYPE=Release -DMARCPY_GUI=ON
cli=build/release/bin/marc-pinyin-cli
mkdir -p out
rm -f out/sample-pinyin.iso out/sample-pinyin.iso.rejected out/sample-pinyin.iso.rejected.txt
"$cli" samples/sample.iso out/sample-pinyin.iso
echo
echo "The first annotated record (marc-pinyin-cli --dump out/sample-pinyin.iso):"
"$cli" --dump out/sample-pinyin.iso | sed -n '1,/^$/p'
