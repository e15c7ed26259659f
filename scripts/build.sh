#!/usr/bin/env bash
# Configures and builds into build/<name>. Usage: scripts/build.sh NAME [cmake options...]
set -euo pipefail
cd "$(dirname "$0")/.."
name=${1:-release}; shift || true
cmake -S . -B "build/$name" -G Ninja "$@" >/dev/null
cmake --build "build/$name" -j"${JOBS:-2}"
