# Sourced by the benchmark scripts: strict mode, the project's top folder as the working folder,
# the release build they time, the tools they compare with and the synthetic files they read.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

# release_build BUILD_DIR: a Release build without the window or the tests into BUILD_DIR.
release_build() {
  JOBS=${JOBS:-2} bash scripts/build.sh "$(basename "$1")" -DMARCPY_GUI=OFF -DMARCPY_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
}

# need_yaz NAME, need_time NAME: stop with NAME's message when the tool is missing.
need_yaz() {
  command -v yaz-marcdump >/dev/null || { echo "$1: yaz-marcdump is missing (apt-get install yaz)" >&2; exit 1; }
}
need_time() {
  [ -x /usr/bin/time ] || { echo "$1: /usr/bin/time is missing (apt-get install time)" >&2; exit 1; }
}

# prepare NAME DEFAULT_BUILD [yaz] [time]: the release build in $BUILD (DEFAULT_BUILD when unset),
# its programs' folder as $bin, and the comparison tools named, each checked with NAME's message.
prepare() {
  local name=$1
  build=${BUILD:-$2}
  shift 2
  release_build "$build"
  bin=$build/bin
  for tool in "$@"; do "need_$tool" "$name"; done
  mkdir -p bench/data/out
}

# records_file N: bench/data/codec-N.mrc, N synthetic records, made with gen_records when missing.
records_file() {
  local file=bench/data/codec-$1.mrc
  [ -s "$file" ] || "$bin/gen_records" --records "$1" "$file" >/dev/null 2>&1
  echo "$file"
}
