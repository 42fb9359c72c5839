#!/usr/bin/env bash
# Time from launching the desktop program to its main window being up with a
# turning event loop, with a last folder of 200 files to load at start (the
# load itself runs on the loader thread and is not waited for). Runs under
# xvfb-run when there is no display.
#   bench/startup.sh [RUNS]      (default 5)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ZORVANE_BUILD_DIR:-$root/build}
runs=${1:-5}
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  # One virtual display for all runs.
  exec xvfb-run -a "$0" "$@"
fi
[ "${BENCH_SKIP_BUILD:-}" = 1 ] || "$root/scripts/build.sh" "$build" >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home/Music/Book" "$work/home/.config/Zorvane"
"$build/tests/support/zorvane-make-tone" "$work/tone.mp3" 5 44100 2 440 -12 >/dev/null
for i in $(seq -w 1 200); do cp "$work/tone.mp3" "$work/home/Music/Book/chapter$i.mp3"; done
printf '[OUTPUT]\nLastDir=%s/\n' "$work/home/Music/Book" >"$work/home/.config/Zorvane/Config.ini"

measure() {
  local start end
  start=$(date +%s%3N)
  end=$(HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" ZORVANE_STARTUP_PROBE=1 \
        "$build/src/zorvane" 2>&1 | sed -n 's/^zorvane-startup-probe //p')
  echo $((end - start))
}
for _ in $(seq "$runs"); do
  measure
done | sort -n | awk '{ v[NR] = $1 } END { printf "launch to responsive window: median %d ms, min %d ms, max %d ms (%d runs)\n", v[int((NR + 1) / 2)], v[1], v[NR], NR }'
