#!/usr/bin/env bash
# Installs what the project needs, builds everything (Linux, the Windows cross builds,
# and a sanitizer build) and runs every test, then every fuzz target for a short time.
# Each stage ends with a timing line (scripts/timing.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/timing.sh
timed install bash scripts/install-deps.sh
# (Chained: errexit does not reach into a function that timed calls.)
build_and_test() {
  cmake --preset "$1" && cmake --build --preset "$1" -j"$(nproc)" && ctest --preset "$1"
}
for preset in default sanitize; do
  timed "preset $preset" build_and_test "$preset"
done
timed "fuzz smoke" bash scripts/fuzz-smoke.sh
