#!/usr/bin/env bash
# Builds the fuzz preset (clang, libFuzzer, ASan/UBSan) and runs every fuzz
# target for a short fixed time on its checked-in corpus, fuzz/corpus/<target>/.
# Exits non-zero when a target crashes, leaks, times out on an input or finds
# a reference mismatch; the input is kept in the build's fuzz-artifacts/
# directory (copy it into the target's corpus as a regression input once the
# fault is fixed).
#
#   scripts/fuzz-smoke.sh [seconds per target, default 20]
# Environment: CALVEX_FUZZ_BUILD_DIR overrides the preset's build directory.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"
build_dir="${CALVEX_FUZZ_BUILD_DIR:-build/fuzz}"
# An input that takes longer than this counts as a hang.
input_timeout=10
# A target that grows beyond this much memory fails.
rss_limit_mb=2048

cmake --preset fuzz -B "$build_dir"
cmake --build "$build_dir" --target calvex_fuzzers -j"$(nproc)"

artifacts="$build_dir/fuzz-artifacts"
mkdir -p "$artifacts"
failed=()
while read -r name program flags; do
  [[ -n "$name" ]] || continue
  seeds="fuzz/corpus/$name"
  mkdir -p "$seeds"
  # New inputs go to a scratch corpus; the checked-in one is only read.
  scratch="$(mktemp -d)"
  echo "== $name: ${seconds}s"
  # shellcheck disable=SC2086 # the target's own flags are separate words
  if ! "$program" $flags -max_total_time="$seconds" -timeout="$input_timeout" -rss_limit_mb="$rss_limit_mb" \
      -close_fd_mask=1 -print_final_stats=1 -artifact_prefix="$artifacts/$name-" \
      "$scratch" "$seeds" > "$artifacts/$name.log" 2>&1; then
    failed+=("$name")
    tail -n 40 "$artifacts/$name.log"
  else
    grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb)|cov: ' "$artifacts/$name.log" | tail -n 3
  fi
  rm -rf "$scratch"
done < "$build_dir/fuzz/fuzzers.txt"

if ((${#failed[@]})); then
  echo "fuzz targets that failed: ${failed[*]} (inputs in $artifacts)" >&2
  exit 1
fi
echo "every fuzz target ran ${seconds}s without a failure"
