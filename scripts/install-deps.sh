#!/usr/bin/env bash
# Installs every Debian package the build and the tests need. Idempotent; run as root.
set -euo pipefail
pkgs=(
  build-essential cmake ninja-build pkg-config python3
  googletest libgtest-dev
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine64
  squashfs-tools mtd-utils cryptsetup-bin
  libzip-dev libexpat1-dev libxlsxwriter-dev python3-openpyxl dpkg-dev
  libcli11-dev nlohmann-json3-dev python3-jsonschema
  clang-14 libclang-rt-14-dev
  help2man lintian
  strace
)
# node and npm run the Kaitai Struct compiler of tests/map; this machine's own
# node serves where there is one.
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  pkgs+=(nodejs npm)
fi
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# The Kaitai Struct compiler and runtime at the versions of tests/map/package-lock.json.
(cd "$(dirname "${BASH_SOURCE[0]}")/../tests/map" && npm ci --no-audit --no-fund --loglevel=error)
