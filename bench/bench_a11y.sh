#!/usr/bin/env bash
# Runs bench_a11y three ways and prints each: without the AT-SPI bridge
# (NO_AT_BRIDGE=1), with the bridge loaded on a private accessibility bus and
# nobody listening, and with a client (pyatspi) listening to object events.
#   bench/bench_a11y.sh [BUILD_DIR] [benchmark options...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
shift || true
bench=$build/bench/bench_a11y
launcher=/usr/libexec/at-spi-bus-launcher

if [ -z "${CORVANE_A11Y_BENCH_SESSION:-}" ]; then
  export CORVANE_A11Y_BENCH_SESSION=1
  exec dbus-run-session -- xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$build" "$@"
fi

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT

echo "== without the bridge (NO_AT_BRIDGE=1)"
NO_AT_BRIDGE=1 "$bench" "$@"

"$launcher" --launch-immediately &
pids+=($!)
gdbus wait --session --timeout 10 org.a11y.Bus
unset NO_AT_BRIDGE
echo "== bridge loaded, nobody listening"
"$bench" "$@"

/usr/bin/python3 - <<'PY' &
import gi
gi.require_version("Atspi", "2.0")
from gi.repository import Atspi
listener = Atspi.EventListener.new(lambda event: None)
for kind in ("object:", "focus:", "window:"):
    listener.register(kind)
Atspi.event_main()
PY
pids+=($!)
sleep 1
echo "== bridge loaded, a client listening to object events"
"$bench" "$@"
