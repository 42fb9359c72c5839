#!/usr/bin/env bash
# Installs what is missing, builds, and converts MP3 files.
#   scripts/run.sh [zorvane-convert arguments]   e.g. scripts/run.sh --out ~/fast ~/book/*.mp3
# Without arguments it makes a one-minute demo tone and converts it into demo/out/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$root/build"
convert="$root/build/src/zorvane-convert"
if [ $# -gt 0 ]; then
  exec "$convert" "$@"
fi
mkdir -p "$root/demo/out"
"$root/build/tests/support/zorvane-make-tone" "$root/demo/tone.mp3" 60 44100 2 440 -12
echo "Converting demo/tone.mp3 into demo/out/ ..."
exec "$convert" --out "$root/demo/out" "$root/demo/tone.mp3"
