#!/usr/bin/env bash
# Converts an audiobook-like file (2 hours, 40 chapters) at 130 % and checks
# that every chapter of the output starts where its speech now starts.
#   bench/chapters.sh [BUILD_DIR] [SPEED] [MODE]
# The "speech" of each chapter is a tone (its own pitch per chapter) after one
# second of silence; the source's chapters start at those onsets. In the
# output the onsets are found by ffmpeg's silencedetect and the chapters are
# read by ffprobe, a reader that shares no code with the program. Needs
# ffmpeg, ffprobe and python3 with mutagen (installed when missing).
set -euo pipefail

build=${1:-build}
speed=${2:-130}
mode=${3:-tempo}
chapters=40
chapter_seconds=180 # 40 x 3 minutes: 2 hours
convert="$build/src/zorvane-convert"
[ -x "$convert" ] || { echo "no $convert: build the project first" >&2; exit 1; }

python=python3
if ! "$python" -c 'import mutagen' 2>/dev/null; then
  python=/usr/bin/python3
fi
if ! command -v ffprobe >/dev/null || ! "$python" -c 'import mutagen' 2>/dev/null; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    ffmpeg python3-mutagen
  python=/usr/bin/python3
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
mkdir -p "$HOME" "$work/out"
source="$work/book.mp3"
total=$((chapters * chapter_seconds))

echo "Making $total s of audio with $chapters chapters..."
ffmpeg -loglevel error -f lavfi -i \
  "aevalsrc=0.3*sin(2*PI*(300+10*floor(t/$chapter_seconds))*t)*gte(mod(t\,$chapter_seconds)\,1):s=44100:d=$total" \
  -ac 1 -c:a libmp3lame -b:a 64k "$source"
"$python" - "$source" "$chapters" "$chapter_seconds" <<'EOF'
import sys
from mutagen import id3
path, count, length = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
tag = id3.ID3()
tag.add(id3.TIT2(encoding=3, text="A long book"))
ids = ["ch%02d" % i for i in range(count)]
tag.add(id3.CTOC(element_id="toc", flags=3, child_element_ids=ids,
                 sub_frames=[id3.TIT2(encoding=3, text="Contents")]))
for i in range(count):
    # Each chapter starts where its speech starts, after a second of silence.
    start = i * length * 1000 + 1000
    end = (i + 1) * length * 1000 + (1000 if i + 1 < count else 0)
    tag.add(id3.CHAP(element_id=ids[i], start_time=start, end_time=end,
                     sub_frames=[id3.TIT2(encoding=3, text="Chapter %d" % (i + 1))]))
tag.save(path, v2_version=3)
EOF

echo "Converting at $speed % ($mode)..."
start=$(date +%s)
"$convert" --speed "$speed" --mode "$mode" --out "$work/out" "$source" >/dev/null
echo "Converted in $(( $(date +%s) - start )) s."

# Chapter starts (ffprobe) against onsets (the end of each silence), in ms.
check() {
  local file=$1 label=$2
  ffprobe -loglevel error -show_entries chapter=start_time -of csv=p=0 "$file" >"$work/chapters"
  ffmpeg -nostats -i "$file" -af silencedetect=noise=-40dB:d=0.5 -f null - 2>&1 |
    sed -n 's/.*silence_end: \([0-9.]*\).*/\1/p' >"$work/onsets"
  "$python" - "$work/chapters" "$work/onsets" "$label" <<'EOF'
import sys
chapters = [float(x) * 1000 for x in open(sys.argv[1]) if x.strip()]
onsets = [float(x) * 1000 for x in open(sys.argv[2]) if x.strip()]
worst = 0.0
for start in chapters:
    nearest = min(onsets, key=lambda o: abs(o - start)) if onsets else float("inf")
    worst = max(worst, abs(nearest - start))
print("%s: %d chapters, %d onsets, last chapter at %.3f s, worst distance %.1f ms"
      % (sys.argv[3], len(chapters), len(onsets), chapters[-1] / 1000 if chapters else 0, worst))
sys.exit(0 if len(chapters) == len(onsets) and worst <= 26.1 else 1)
EOF
}
check "$source" "source"
check "$work/out/book.mp3" "output at $speed %"
