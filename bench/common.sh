# Sourced by the benchmark scripts, from the project's top folder: the release build they time,
# and the tools they compare with.

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
