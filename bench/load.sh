#!/usr/bin/env bash
# Loading a big folder into the main window: a folder of 10,000 small MP3
# files (copies of a few generated files under different names, some tagged,
# a few damaged) is selected in the folder tree of the real window, offscreen.
# Measured: the time to the end of the load, the longest stall of the
# window's event loop during it (the largest gap of a 10 ms heartbeat timer),
# the peak memory; beside it, in the same run, `zorvane-convert --list` on the
# same folder, which reads every file the same way on one thread and shows
# nothing: the baseline.
#
#   bench/load.sh                      3 repetitions of each, 10,000 files
#   BENCH_RUNS=5 bench/load.sh         more repetitions
#   BENCH_LOAD_FILES=2000 bench/load.sh   another folder size
#   BENCH_SKIP_BUILD=1 bench/load.sh   measure the last build as it is
#
# Targets: load time at most 1.5 x the --list time, stall at most 100 ms.
# Builds the project in bench/out/build-load with the driver of
# bench/load-driver.cmake; writes bench/out/load-results.txt.
set -euo pipefail

bench=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$bench")
out=$bench/out
build=$out/build-load
files=${BENCH_LOAD_FILES:-10000}
runs=${BENCH_RUNS:-3}
inputs=$out/load-inputs/$files
driver=$build/bench-load
convert=$build/src/zorvane-convert
make_tone=$build/tests/support/zorvane-make-tone

say() { printf '== %s\n' "$*" >&2; }
die() {
    printf 'bench: %s\n' "$*" >&2
    exit 1
}

mkdir -p "$out"
if [ "${BENCH_SKIP_BUILD:-0}" != 1 ]; then
    say "building bench-load, zorvane-convert and zorvane-make-tone in $build"
    {
        cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DCMAKE_PROJECT_Zorvane_INCLUDE="$bench/load-driver.cmake" &&
            cmake --build "$build" --target bench-load zorvane-convert zorvane-make-tone
    } >"$out/load-build.log" 2>&1 || {
        tail -n 30 "$out/load-build.log" >&2
        die "building failed (log: $out/load-build.log)"
    }
fi
for tool in "$driver" "$convert" "$make_tone"; do
    [ -x "$tool" ] || die "$tool was not built"
done

# ------------------------------------------------------------------ inputs ---

# Four bytes of a number, most significant first; `bits` a byte (8, or 7 for
# the synchsafe sizes of an ID3v2 header).
number_bytes() { # value bits
    local value=$1 bits=$2 mask=$(((1 << $2) - 1)) shift
    for shift in 3 2 1 0; do
        # shellcheck disable=SC2059 # the byte is the format: printf makes it
        printf "\\x$(printf %02x $((value >> (shift * bits) & mask)))"
    done
}

# An ID3v2.3 tag with a title and an artist frame (Latin-1 texts).
id3v2_tag() { # title artist
    printf 'ID3\x03\x00\x00'
    number_bytes $((2 * 11 + ${#1} + ${#2})) 7
    local id text
    for id in TIT2 TPE1; do
        [ "$id" = TIT2 ] && text=$1 || text=$2
        printf '%s' "$id"
        number_bytes $((${#text} + 1)) 8
        printf '\x00\x00\x00%s' "$text"
    done
}

# A 128-byte ID3v1 tag.
id3v1_tag() { # title artist album year
    printf 'TAG%-30.30s%-30.30s%-30.30s%-4.4s%-30.30s\x0c' "$1" "$2" "$3" "$4" "a comment"
}

make_inputs() {
    local stamp=$inputs/.made-1
    if [ -f "$stamp" ]; then
        return
    fi
    say "generating $files files into $inputs"
    rm -rf "$inputs" && mkdir -p "$inputs"
    local seeds=$out/load-seeds
    rm -rf "$seeds" && mkdir -p "$seeds"
    # Small files of a few kinds: lengths, rates and channel counts differ.
    "$make_tone" "$seeds/plain1.mp3" 2 44100 2 440 -12 >/dev/null
    "$make_tone" "$seeds/plain2.mp3" 3 22050 1 330 -12 >/dev/null
    "$make_tone" "$seeds/plain3.mp3" 1.5 48000 2 550 -12 >/dev/null
    { id3v2_tag "A Title" "An Artist" && cat "$seeds/plain1.mp3"; } >"$seeds/tagged2.mp3"
    { cat "$seeds/plain2.mp3" && id3v1_tag "Old Title" "Old Artist" "Old Album" 1999; } \
        >"$seeds/tagged1.mp3"
    {
        id3v2_tag "Both Title" "Both Artist"
        cat "$seeds/plain3.mp3"
        id3v1_tag "Both Title" "Both Artist" "Both Album" 2001
    } >"$seeds/tagged3.mp3"
    # Cut inside the first frame: no frame that the decoder could take.
    head -c 300 "$seeds/plain1.mp3" >"$seeds/damaged.mp3"

    # One file in every 2,000 is damaged, the rest cycle through the seeds.
    local kinds=(plain1 plain2 plain3 tagged1 tagged2 tagged3) i kind
    local -A names=()
    for ((i = 0; i < files; i++)); do
        if ((i % 2000 == 1999)); then
            kind=damaged
        else
            kind=${kinds[i % ${#kinds[@]}]}
        fi
        names[$kind]+="$inputs/$(printf 'track %05d %s.mp3' "$i" "$kind")"$'\n'
    done
    # tee writes one source into many files per process: far fewer forks
    # than one cp per file.
    for kind in "${!names[@]}"; do
        # shellcheck disable=SC2016 # expanded by the inner shell
        printf '%s' "${names[$kind]}" | tr '\n' '\0' |
            xargs -0 -n 500 sh -c 'src=$0; tee "$@" <"$src" >/dev/null' "$seeds/$kind.mp3"
    done
    rm -rf "$seeds"
    [ "$(find "$inputs" -maxdepth 1 -name '*.mp3' | wc -l)" -eq "$files" ] ||
        die "the input folder does not hold $files files"
    touch "$stamp"
}

make_inputs

# ------------------------------------------------------------- measuring ---

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/home/config"
export HOME=$scratch/home XDG_CONFIG_HOME=$scratch/home/config QT_QPA_PLATFORM=offscreen

list_once() { # appends to list_times and list_mb
    /usr/bin/time -f '%e %M' -o "$scratch/time.txt" "$convert" --list "$inputs" \
        >"$scratch/list.txt" 2>"$scratch/list-err.txt" || true
    local rows s kb
    rows=$(($(wc -l <"$scratch/list.txt") - 1))
    [ "$rows" -eq "$files" ] || die "zorvane-convert --list listed $rows files, not $files"
    read -r s kb <"$scratch/time.txt"
    list_times+=("$s")
    list_mb+=("$(awk -v kb="$kb" 'BEGIN { printf "%.1f", kb / 1024 }')")
}

load_once() { # appends to load_times, stalls and load_mb
    "$driver" "$inputs" >"$scratch/load.txt" 2>"$scratch/load-err.txt" ||
        die "bench-load failed: $(tail -n 5 "$scratch/load-err.txt")"
    local -A value=()
    local key v
    while read -r key v; do
        value[$key]=$v
    done <"$scratch/load.txt"
    [ "${value[rows]:-0}" -eq "$files" ] || die "the window loaded ${value[rows]:-0} files, not $files"
    load_times+=("${value[load_s]}")
    stalls+=("${value[max_stall_ms]}")
    load_mb+=("${value[peak_mb]}")
}

command -v /usr/bin/time >/dev/null || die "GNU time (/usr/bin/time) is needed"
list_times=() list_mb=() load_times=() stalls=() load_mb=()
say "warming the page cache"
list_once
list_times=() list_mb=()
for ((rep = 1; rep <= runs; rep++)); do
    say "repetition $rep of $runs"
    # Interleaved, the order turned each time, so that a busy moment of the
    # machine does not fall on one side only.
    for side in list load; do
        if ((rep % 2 == 0)); then
            [ "$side" = list ] && side=load || side=list
        fi
        if [ "$side" = list ]; then
            list_once
        else
            load_once
        fi
    done
done

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
maximum() { printf '%s\n' "$@" | sort -g | tail -n 1; }

list_s=$(median "${list_times[@]}")
load_s=$(median "${load_times[@]}")
stall=$(maximum "${stalls[@]}")
{
    printf 'folder: %s files (%s damaged), %s repetitions, medians\n' "$files" \
        "$(find "$inputs" -maxdepth 1 -name '*damaged.mp3' | wc -l)" "$runs"
    printf '%-28s %8s %14s %9s\n' "" "time s" "max stall ms" "peak MB"
    printf '%-28s %8s %14s %9s\n' "zorvane-convert --list" "$list_s" "-" "$(median "${list_mb[@]}")"
    printf '%-28s %8s %14s %9s\n' "main window, folder select" "$load_s" "$stall" \
        "$(median "${load_mb[@]}")"
    printf 'each load: %s s; each --list: %s s; stalls: %s ms\n' "${load_times[*]}" \
        "${list_times[*]}" "${stalls[*]}"
    awk -v load="$load_s" -v list="$list_s" -v stall="$stall" 'BEGIN {
        ratio = load / list
        printf "load / --list = %.2f (target <= 1.50): %s\n", ratio, ratio <= 1.5 ? "met" : "NOT met"
        printf "longest stall = %d ms (target <= 100): %s\n", stall, stall <= 100 ? "met" : "NOT met"
    }'
} | tee "$out/load-results.txt"
