#!/usr/bin/env bash
# Installs what the build, the tests and the demo need (Debian 12, as root).
set -euo pipefail
packages=(build-essential cmake ninja-build pkg-config git
          libgtest-dev libgmock-dev libbenchmark-dev
          libgdal-dev gdal-bin libtiff-dev libgeotiff-dev libpng-dev
          proj-data sqlite3 parallel
          clang libclang-rt-dev
          gzip unzip p7zip-full libarchive-tools)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
