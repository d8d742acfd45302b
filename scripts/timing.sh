# shellcheck shell=bash
# Sourced by .ci/run and scripts/test.sh: `timed <stage> <command...>` runs the
# command and then prints one line
#   timing: <stage>: <seconds> s (<seconds> s since the run began)
# whether it passed or not, and returns its status. The run's start is shared
# with the scripts it calls through CALVEX_TIMING_START.
: "${CALVEX_TIMING_START:=$(date +%s)}"
export CALVEX_TIMING_START

timed() {
  local stage=$1
  shift
  local begin status=0
  begin=$(date +%s)
  "$@" || status=$?
  local end
  end=$(date +%s)
  echo "timing: $stage: $((end - begin)) s ($((end - CALVEX_TIMING_START)) s since the run began)"
  return "$status"
}
