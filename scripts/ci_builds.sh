#!/usr/bin/env bash
# The builds CI runs besides scripts/test.sh: the build users run (Release, -O3, warnings as
# errors) with every test, the Qt-free core on its own, and each libFuzzer target for a fixed time.
#
# Usage: scripts/ci_builds.sh [release] [noqt] [fuzz]   (default: all three)
# FUZZ_SECONDS (default 60) per target; JOBS (default 2) compilers and tests at once, FUZZ_JOBS
# (default 2) fuzzers.
set -euo pipefail
cd "$(dirname "$0")/.."
steps=("$@")
((${#steps[@]})) || steps=(release noqt fuzz)
jobs=${JOBS:-2}
bash scripts/setup.sh
export QT_QPA_PLATFORM=offscreen

# The build the programs ship from, and every test over it: the optimiser finds faults and warnings
# the sanitizer build does not.
release() {
  bash scripts/build.sh ci-release -DCMAKE_BUILD_TYPE=Release -DMARCPY_WERROR=ON
  ctest --test-dir build/ci-release --output-on-failure -j"$jobs" --timeout 600
}

# The core, the command line and the tests that need no Qt, configured without the window: nothing
# of it may reach for Qt. Unoptimised, which compiles fastest; the other builds optimise.
noqt() {
  bash scripts/build.sh ci-noqt -DMARCPY_GUI=OFF -DMARCPY_WERROR=ON -DCMAKE_BUILD_TYPE=Debug
  if grep -q '^Qt6_DIR:' build/ci-noqt/CMakeCache.txt; then
    echo "ci_builds: the build without the window looked for Qt" >&2
    return 1
  fi
  if ldd build/ci-noqt/bin/marc-pinyin-cli | grep -i qt; then
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

for step in "${steps[@]}"; do
  began=$SECONDS
  echo "== $step"
  "$step"
  echo "== $step: $((SECONDS - began)) s"
done
