#!/usr/bin/env bash
# The main job on the bundled example data: installs what is needed, builds
# the library and calvex, then for every family under examples/ writes each
# example sheet file into a copy of the family's example NV image and reads
# it back. Results: out/<family>/nv.bin, out/<family>/<Sheet>.csv, and
# out/<family>/<Sheet>.writeback.csv for sheets that fill cells back.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native --target calvex -j"$(nproc)" >/dev/null
calvex=build/native/bin/calvex

# The sheets calvex can read back: the third column of `calvex list`'s sheet
# lines (family, sheet, operations, summary; tab-separated) is "write+read".
declare -A readable=()
while IFS=$'\t' read -r _ listed operations _; do
  if [ "$operations" = write+read ]; then readable[$listed]=1; fi
done < <("$calvex" list)
[ "${#readable[@]}" -gt 0 ] || { echo "!! calvex list names no readable sheet"; exit 1; }

rm -rf out
status=0
for dir in examples/*/; do
  family=$(basename "$dir")
  [ -f "$dir/job.txt" ] || continue
  mkdir -p "out/$family"
  cp "$dir/nv.bin" "out/$family/nv.bin"
  while read -r sheet csv layout _; do
    [[ -z "${sheet:-}" || "$sheet" == \#* ]] && continue
    opts=()
    [ -n "${layout:-}" ] && opts=(--layout "$layout")
    echo "== $family: write $sheet from $dir$csv"
    # Sheets whose write fills cells back (MIPI device USIDs) save them beside the results.
    if ! "$calvex" "${opts[@]}" write "$sheet" "out/$family/nv.bin" "$dir$csv" --write-back "out/$family/$sheet.writeback.csv"; then
      echo "!! $family: write $sheet failed"
      status=1
      continue
    fi
    if [ -n "${readable[$sheet]:-}" ]; then
      echo "== $family: read $sheet back into out/$family/$sheet.csv"
      if ! "$calvex" "${opts[@]}" read "$sheet" "out/$family/nv.bin" -o "out/$family/$sheet.csv"; then
        echo "!! $family: read $sheet failed"
        status=1
      fi
    fi
  done < "$dir/job.txt"
done
[ "$status" -eq 0 ] && echo "main job done: results in out/"
exit "$status"
