#!/usr/bin/env bash
# Runs an accessibility check against the built installer on a private X
# server with a private session bus and the desktop's accessibility bus, as
# a screen reader sees it. Exit 77 (skipped) when the pieces are missing.
#   run_a11y_test.sh INSTALLER SOURCE_DIR
set -euo pipefail

installer=$1
source_dir=$2
# Debian's pyatspi belongs to the system interpreter, not to one on PATH.
python=/usr/bin/python3
launcher=/usr/libexec/at-spi-bus-launcher

if [ -z "${CORVANE_A11Y_SESSION:-}" ]; then
  for tool in dbus-run-session xvfb-run "$launcher"; do
    command -v "$tool" >/dev/null || { echo "skip: $tool missing"; exit 77; }
  done
  "$python" -c 'import pyatspi' 2>/dev/null || { echo "skip: python3-pyatspi missing"; exit 77; }
  export CORVANE_A11Y_SESSION=1
  exec dbus-run-session -- xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

unset NO_AT_BRIDGE GTK_MODULES
export GIO_USE_VFS=local
# The folder chooser lists the machine's volumes: this machine's own mounts,
# without the disk service a desktop runs (whose absence GIO's remote monitor
# reports as a warning).
export GIO_USE_VOLUME_MONITOR=unix
"$launcher" --launch-immediately &
pids+=($!)
gdbus wait --session --timeout 10 org.a11y.Bus

# The package answers after two seconds: the progress bar creeps meanwhile.
"$python" "$source_dir/tools/vendor_service/vendor_service.py" --port 0 \
  --package "$(dirname "$installer")/../tools/demo_package/corvaneInstaller.exe" \
  --signing-key "$(dirname "$installer")/../package-key/demo-signing-key.pem" \
  --statistics-log "$work/statistics.jsonl" --delay 2 >"$work/service.out" 2>&1 &
pids+=($!)
for _ in $(seq 50); do
  grep -q listening "$work/service.out" 2>/dev/null && break
  sleep 0.1
done
port=$(sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$work/service.out")
[ -n "$port" ] || { echo "vendor service did not start"; cat "$work/service.out"; exit 1; }

mkdir -p "$work/home" "$work/config" "$work/data" "$work/runtime"
chmod 700 "$work/runtime"
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" \
  XDG_RUNTIME_DIR="$work/runtime"
export CORVANE_PACKAGE_BASE_URL="http://127.0.0.1:$port/caller?c=site&a=downloadPackage"
export CORVANE_STATISTICS_URL="http://127.0.0.1:$port/caller?c=site&a=writelog"
export CORVANE_AGREEMENT_URL="http://127.0.0.1:$port/user-agreement/"

"$python" "$source_dir/tests/a11y/installer_a11y.py" "$installer" "$work"
