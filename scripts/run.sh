#!/usr/bin/env bash
# Installs what is missing, builds, and opens Zorvane.
#   scripts/run.sh [FILE or FOLDER...]        the desktop program, with these files in its list
#   scripts/run.sh --convert [zorvane-convert arguments]
#                                             the command-line tool, e.g.
#                                             scripts/run.sh --convert --out ~/fast ~/book/*.mp3
# Without a display (no DISPLAY or WAYLAND_DISPLAY) it says so and converts a
# generated one-minute demo tone into demo/out/ with the command-line tool.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$root/build"
convert="$root/build/src/zorvane-convert"
if [ "${1:-}" = "--convert" ]; then
  shift
  if [ $# -gt 0 ]; then
    exec "$convert" "$@"
  fi
elif [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$root/build/src/zorvane" "$@"
else
  echo "No display found (DISPLAY and WAYLAND_DISPLAY are empty): running the command-line demo instead."
fi
mkdir -p "$root/demo/out"
"$root/build/tests/support/zorvane-make-tone" "$root/demo/tone.mp3" 60 44100 2 440 -12
echo "Converting demo/tone.mp3 into demo/out/ ..."
exec "$convert" --out "$root/demo/out" "$root/demo/tone.mp3"
