#!/usr/bin/env bash
# The builds CI runs besides scripts/test.sh: clang-tidy over the core, the build users run
# (Release, -O3, warnings as errors) with every test, the Qt-free core on its own, each libFuzzer
# target for a fixed time, and the Debian package made from the release build and tried out
# unpacked.
#
# Usage: scripts/ci_builds.sh [tidy] [release] [noqt] [fuzz] [package]   (default: all five)
# FUZZ_SECONDS (default 60) per target; JOBS (default 2) compilers and tests at once, FUZZ_JOBS
# (default 2) fuzzers.
set -euo pipefail
cd "$(dirname "$0")/.."
known=(tidy release noqt fuzz package)
steps=("$@")
((${#steps[@]})) || steps=("${known[@]}")
# Every step named must be one of ours, checked before anything runs: a mistyped step name, or a
# shell command given as one, is refused rather than run.
for step in "${steps[@]}"; do
  if [[ " ${known[*]} " != *" $step "* ]]; then
    echo "ci_builds: no step named \"$step\"; the steps are: ${known[*]}" >&2
    exit 2
  fi
done
jobs=${JOBS:-2}
bash scripts/setup.sh
export QT_QPA_PLATFORM=offscreen

# clang-tidy with the checks of .clang-tidy over every source of src/, each with the flags it is
# built with (the build is configured, not compiled); a finding fails the step.
tidy() {
  cmake -S . -B build/ci-tidy -G Ninja -DMARCPY_GUI=OFF -DMARCPY_TESTS=OFF -DMARCPY_BENCH=OFF \
    -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
  run-clang-tidy -clang-tidy-binary clang-tidy -p build/ci-tidy -j "$jobs" -quiet "$PWD/src/"
}

# The build the programs ship from, and every test over it: the optimiser finds faults and warnings
# the sanitizer build does not.
release() {
  bash scripts/build.sh ci-release -DCMAKE_BUILD_TYPE=Release -DMARCPY_WERROR=ON
  ctest --test-dir build/ci-release --output-on-failure -j"$jobs" --timeout 600
}

# The core, the command line and the tests that need no Qt, configured without the window: nothing
# of it may reach for Qt. Unoptimised, which compiles fastest; the other builds optimise. The core's
# libraries are shared here, each linked on its own with no symbol left undefined: a call from one
# folder into a folder it does not link fails to build (src/CMakeLists.txt has the arrows).
noqt() {
  bash scripts/build.sh ci-noqt -DMARCPY_GUI=OFF -DMARCPY_WERROR=ON -DCMAKE_BUILD_TYPE=Debug \
    -DBUILD_SHARED_LIBS=ON -DCMAKE_SHARED_LINKER_FLAGS=-Wl,--no-undefined
  if grep -q '^Qt6_DIR:' build/ci-noqt/CMakeCache.txt; then
    echo "ci_builds: the build without the window looked for Qt" >&2
    return 1
  fi
  if ldd build/ci-noqt/bin/marc-pinyin-cli | grep -E "libQt|qt6"; then
    echo "ci_builds: marc-pinyin-cli links Qt" >&2
    return 1
  fi
  ctest --test-dir build/ci-noqt --output-on-failure -j"$jobs" --timeout 600
}

# Each fuzz target from its seeds for FUZZ_SECONDS, new inputs kept in a temporary folder; a crash,
# a leak or a slow input fails the step with the fuzzer's report.
fuzz() {
  CXX=clang++ bash scripts/build.sh ci-fuzz -DMARCPY_FUZZ=ON -DMARCPY_GUI=OFF -DMARCPY_TESTS=OFF \
    -DMARCPY_BENCH=OFF
  local seconds=${FUZZ_SECONDS:-60} tmp=/dev/shm
  [ -d "$tmp" ] && [ -w "$tmp" ] || tmp=${TMPDIR:-/tmp}
  local work
  work=$(mktemp -d "$tmp/marcpy-fuzz.XXXXXX")
  local targets=(marc_reader marc_writer gbk_codec batch_run) failed=0 fuzzjobs=${FUZZ_JOBS:-2}
  # FUZZ_JOBS targets at a time, each started and then waited for.
  for ((first = 0; first < ${#targets[@]}; first += fuzzjobs)); do
    local pids=()
    for target in "${targets[@]:first:fuzzjobs}"; do
      mkdir -p "$work/$target"
      # The batch target writes files for every input: on /dev/shm they cost no disk.
      TMPDIR=$tmp build/ci-fuzz/bin/fuzz_$target -max_total_time="$seconds" -timeout=30 \
        -artifact_prefix="$work/$target-" "$work/$target" "fuzz/corpus/$target" >"$work/$target.log" 2>&1 &
      pids+=($!)
    done
    for target in "${targets[@]:first:fuzzjobs}"; do
      if wait "${pids[0]}"; then
        echo "fuzz_$target: $(grep -Eo 'Done [0-9]+ runs in [0-9]+ second' "$work/$target.log")s," \
          "$(grep -Eo 'DONE.*' "$work/$target.log" | tr -s ' \t' ' ')"
      else
        failed=1
        echo "fuzz_$target failed:" >&2
        tail -40 "$work/$target.log" >&2
        ls "$work" | grep -E -- "^$target-" >&2 || true
      fi
      pids=("${pids[@]:1}")
    done
  done
  ((failed)) && { echo "ci_builds: inputs that failed are in $work" >&2; return 1; }
  rm -rf "$work"
}

# The Debian package from the release build (configured again for the package layout, which
# compiles nothing anew), unpacked into a temporary root: the installed programs run on the sample
# with the py.db they find themselves, the manual page names every option, the MIME type is read.
package() {
  local deb root out page option
  deb=$(bash scripts/package.sh ci-release -DMARCPY_WERROR=ON)
  echo "$deb: $(du -k "$deb" | cut -f1) KiB"
  dpkg-deb -f "$deb" Package Version Architecture Depends
  dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6 || fail "the package's Depends lacks Qt"
  if dpkg-deb -c "$deb" | awk '{print $6}' | grep -Ev '^\./(usr/((bin|share)(/.*)?)?)?$'; then
    fail "the package holds files outside /usr/bin and /usr/share"
  fi
  root=$(mktemp -d)
  out=$root/out
  mkdir "$out"
  dpkg-deb -x "$deb" "$root"
  [ -f "$root/usr/share/marc-pinyin/py.db" ] && [ ! -e "$root/usr/bin/py.db" ] ||
    fail "py.db is not in /usr/share/marc-pinyin alone"
  "$root/usr/bin/marc-pinyin" --version
  "$root/usr/bin/marc-pinyin-cli" --version
  # No --db: the installed program finds its py.db in the unpacked root itself.
  XDG_STATE_HOME=$out "$root/usr/bin/marc-pinyin-cli" samples/sample.iso "$out/sample.iso"
  "$root/usr/bin/marc-pinyin-cli" --dump "$out/sample.iso" >"$out/dump.txt"
  grep -q '|A' "$out/dump.txt" || fail "the installed program wrote no pinyin"
  page=$root/usr/share/man/man1/marc-pinyin-cli.1.gz
  [ -z "$(man --warnings -l "$page" 2>&1 >/dev/null)" ] || fail "the manual page: $(man --warnings -l "$page" 2>&1 >/dev/null)"
  zcat "$page" >"$out/page.1"
  "$root/usr/bin/marc-pinyin-cli" --help >"$out/help.txt"
  for option in $(grep -Eo -- '--[a-z][a-z-]*' "$out/help.txt" | sort -u); do
    grep -qF -- "${option//-/\\-}" "$out/page.1" || fail "the manual page does not describe $option"
  done
  XDG_DATA_DIRS=$root/usr/share update-mime-database "$root/usr/share/mime"
  grep -qx 'application/marc:\*\.mrc' "$root/usr/share/mime/globs" || fail "the MIME type does not take .mrc"
  rm -rf "$root"
}

fail() {
  echo "ci_builds: $*" >&2
  return 1
}

for step in "${steps[@]}"; do
  began=$SECONDS
  echo "== $step"
  "$step"
  echo "== $step: $((SECONDS - began)) s"
done
