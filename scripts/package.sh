#!/usr/bin/env bash
# Builds the Debian package: a release build in build/NAME configured for the package layout
# (-DMARCPY_FHS=ON: py.db in /usr/share/marc-pinyin), then `cpack -G DEB`. Prints the .deb's path.
#
# Usage: scripts/package.sh [NAME [cmake options...]]   (default NAME: package, without the tests
# and benchmarks; CI passes its release build, whose tests it has already run)
set -euo pipefail
cd "$(dirname "$0")/.."
name=${1:-package}; shift || true
options=("$@")
if [ "$name" = package ] && ((${#options[@]} == 0)); then
  options=(-DMARCPY_TESTS=OFF -DMARCPY_BENCH=OFF)
fi
bash scripts/build.sh "$name" -DCMAKE_BUILD_TYPE=Release -DMARCPY_FHS=ON "${options[@]}" >&2
build=$PWD/build/$name
rm -f "$build"/marc-pinyin_*.deb
(cd "$build" && cpack -G DEB >&2)
ls "$build"/marc-pinyin_*.deb
