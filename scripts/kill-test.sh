#!/usr/bin/env bash
# Stops zorvane-convert with SIGINT, SIGTERM or SIGHUP at random moments of a
# long conversion and checks that the output folder never holds anything but
# complete outputs: no truncated file, no temporary file.
#   scripts/kill-test.sh [ROUNDS] [SECONDS_OF_AUDIO]     (default: 20 rounds, 600 s)
# Builds first (scripts/build.sh); prints one line per round and a summary;
# exit status 1 when any round left something it should not have.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
rounds=${1:-20}
seconds=${2:-600}
"$root/scripts/build.sh" "$root/build" >/dev/null
convert="$root/build/src/zorvane-convert"
length="$root/build/tests/support/zorvane-decoded-length"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config"
"$root/build/tests/support/zorvane-make-tone" "$work/long.mp3" "$seconds" 44100 2 440 -12
expected=$(awk -v s="$seconds" 'BEGIN { printf "%.3f", s / 1.5 }')

# How long one whole conversion takes, to spread the signals over it.
start=$(date +%s.%N)
"$convert" --speed 150 --out "$work/timing" "$work/long.mp3" >/dev/null
full=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.2f", b - a }')
echo "one conversion of ${seconds} s takes ${full} s; stopping ${rounds} times at random moments"

signals=(INT TERM HUP)
bad=0
for ((i = 1; i <= rounds; i++)); do
  out="$work/out$i"
  signal=${signals[$((RANDOM % 3))]}
  delay=$(awk -v f="$full" -v r="$RANDOM" 'BEGIN { printf "%.2f", f * 1.1 * r / 32767 }')
  "$convert" --speed 150 --out "$out" "$work/long.mp3" >"$work/log$i" 2>&1 &
  pid=$!
  sleep "$delay"
  kill -s "$signal" "$pid" 2>/dev/null || true
  status=0
  wait "$pid" || status=$?
  verdict=ok
  entries=$(ls -A "$out" 2>/dev/null || true)
  while IFS= read -r name; do
    [ -n "$name" ] || continue
    case "$name" in
      .*) verdict="temporary file left: $name" ;;
      *)
        got=$("$length" "$out/$name" | cut -f2)
        if ! awk -v g="$got" -v e="$expected" 'BEGIN { exit !(g - e < 0.05 && e - g < 0.05) }'; then
          verdict="incomplete output: $name has $got s of $expected s"
        fi
        ;;
    esac
  done <<<"$entries"
  [ "$status" -lt 128 ] || verdict="killed by the signal (exit status $status)"
  files=$(printf '%s' "$entries" | grep -c . || true)
  printf 'round %2d: SIG%-4s after %5.2f s: exit %d, %d file(s): %s\n' "$i" "$signal" "$delay" \
    "$status" "$files" "$verdict"
  [ "$verdict" = ok ] || bad=$((bad + 1))
done
echo "$((rounds - bad)) of $rounds rounds left only complete outputs"
[ "$bad" -eq 0 ]
