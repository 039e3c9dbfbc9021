#!/usr/bin/env bash
# The demo (scripts/run on a machine without a desktop) prints its own lines
# and the installer's, nothing else: no chatter of the session bus it starts
# nor of the services that bus starts.
#   demo_is_quiet.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
source_dir=$1
build_dir=$2
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT

env -u DISPLAY -u WAYLAND_DISPLAY CORVANE_RUN_NO_BUILD=1 CORVANE_BUILD_DIR="$build_dir" \
  "$source_dir/scripts/run" >"$out" 2>"$err"
status=$?
failed=0
fail() {
  echo "FAIL $1"
  failed=1
}

[ $status -eq 0 ] || fail "scripts/run ended with status $status"
grep -q '^installer ended with status 0$' "$out" || fail "the demo did not install"
# Standard error: only what the installer or the demo driver say themselves.
others=$(grep -v -E '^(corvane-installer|installer_demo_driver): ' "$err")
[ -z "$others" ] || fail "other lines on standard error:"$'\n'"$others"
# Standard output: the script's lines, the driver's, the listing of what was
# installed and started, and the statistics records.
others=$(grep -v -E $'^(run: |window [0-9]+x[0-9]+ |page [a-z-]+: |installer ended |total [0-9]+$|-[rwx-]{9} |[0-9]+\t|  \\{)' "$out")
[ -z "$others" ] || fail "other lines on standard output:"$'\n'"$others"

if [ $failed -ne 0 ]; then
  echo "--- standard output"
  cat "$out"
  echo "--- standard error"
  cat "$err"
  exit 1
fi
echo "the demo printed only its own lines"
