#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12 (run as root). Idempotent.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config clang clang-tidy libclang-rt-14-dev
  libicu-dev libsqlite3-dev libcli11-dev libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-translations-l10n fonts-wqy-microhei xvfb xauth openbox
  yaz unicode-data golang-github-mozillazg-go-pinyin-dev python3 sqlite3 time
  libqt6svg6 dpkg-dev man-db
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: these packages are missing and installing them needs root: ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
