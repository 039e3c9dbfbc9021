#!/usr/bin/env bash
# Prints, side by side, the unattended installation against the reference
# vendor service on loopback (start to exit status, median of N runs) of the
# Linux build and of the Windows build under Wine, and the size of each
# stripped installer with its skins. Figures only; it never fails on them.
#   bench/bench_unattended_install.sh [RUNS]      (default 5)
# Expects build/ (scripts/test) and build-win/ (scripts/run --windows) built.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
runs=${1:-5}
linux=build/app/corvane-installer
windows=build-win/app/corvane-installer.exe
for f in "$linux" "$windows" build/tools/demo_package/corvaneInstaller.exe \
    build-win/tools/demo_package/corvaneInstaller.exe; do
  if [ ! -f "$f" ]; then
    echo "bench: $f is missing; build both targets first" >&2
    exit 1
  fi
done
wine=wine
if [ -x /usr/lib/wine/wine64 ]; then wine=/usr/lib/wine/wine64; fi
export WINEPREFIX="$root/build-win/wineprefix" WINEDEBUG=-all

work=$(mktemp -d)
service_pid=""
cleanup() {
  if [ -n "$service_pid" ]; then kill "$service_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
# One service serves both: the Windows build asks with os=windows. Both
# builds carry the same demo key only when built from one key folder, so each
# is signed with its own build's key through a service of its own.
start_service() {  # build folder, log; sets port and service_pid
  python3 tools/vendor_service/vendor_service.py --port 0 \
    --package build/tools/demo_package/corvaneInstaller.exe \
    --windows-package build-win/tools/demo_package/corvaneInstaller.exe \
    --signing-key "$1/package-key/demo-signing-key.pem" >"$2" 2>/dev/null &
  service_pid=$!
  for _ in $(seq 50); do
    grep -q listening "$2" 2>/dev/null && break
    sleep 0.1
  done
  port=$(sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$2")
}
median() { sort -n | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }
now_ms() { date +%s%3N; }

start_service build "$work/linux.out"
: >"$work/linux.ms"
for i in $(seq "$runs"); do
  mkdir -p "$work/l$i/config" "$work/l$i/data" "$work/l$i/runtime"
  start=$(now_ms)
  HOME="$work/l$i" XDG_CONFIG_HOME="$work/l$i/config" XDG_DATA_HOME="$work/l$i/data" \
    XDG_RUNTIME_DIR="$work/l$i/runtime" DISPLAY="" WAYLAND_DISPLAY="" \
    CORVANE_PACKAGE_BASE_URL="http://127.0.0.1:$port/caller?c=site&a=downloadPackage" \
    CORVANE_STATISTICS_URL="http://127.0.0.1:$port/caller?c=site&a=writelog" \
    "$linux" --silent "installPath:$work/l$i/Corvane" channel:bench >/dev/null 2>&1 &&
    echo ok >>"$work/linux.ok" || true
  echo $(($(now_ms) - start)) >>"$work/linux.ms"
done
kill "$service_pid"
wait "$service_pid" 2>/dev/null || true
service_pid=""

start_service build-win "$work/win.out"
"$wine" cmd /c exit >/dev/null 2>&1 || true  # the Wine server is up before the first run
: >"$work/win.ms"
for i in $(seq "$runs"); do
  start=$(now_ms)
  DISPLAY="" CORVANE_PACKAGE_BASE_URL="http://127.0.0.1:$port/caller?c=site&a=downloadPackage&os=windows" \
    CORVANE_STATISTICS_URL="http://127.0.0.1:$port/caller?c=site&a=writelog" \
    "$wine" "$root/$windows" --silent "installPath:C:\\bench\\run$i" channel:bench \
    >/dev/null 2>&1 && echo ok >>"$work/win.ok" || true
  echo $(($(now_ms) - start)) >>"$work/win.ms"
done
rm -rf "$WINEPREFIX/drive_c/bench"

strip -o "$work/linux.stripped" "$linux"
x86_64-w64-mingw32-strip -o "$work/win.stripped" "$windows"
printf '%-48s %14s %14s\n' "unattended install (median of $runs)" "Linux" "Windows/Wine"
printf '%-48s %11s ms %11s ms\n' "start to exit status" "$(median <"$work/linux.ms")" \
  "$(median <"$work/win.ms")"
printf '%-48s %14s %14s\n' "runs that installed" "$(cat "$work/linux.ok" 2>/dev/null | wc -l)/$runs" \
  "$(cat "$work/win.ok" 2>/dev/null | wc -l)/$runs"
printf '%-48s %11s kB %11s kB   (goal <= 1500 kB)\n' "stripped installer with its skins" \
  $(($(stat -c %s "$work/linux.stripped") / 1000)) $(($(stat -c %s "$work/win.stripped") / 1000))
echo "Wine's loader and server are not Windows': the Windows figure includes starting a Wine process."
