#!/usr/bin/env bash
# Measures zorvane-convert against the sox and ffmpeg command lines and
# against the stage baselines of bench/src, on generated inputs. Prints one
# table and writes bench/out/results.csv and bench/out/results.png.
#
#   bench/run.sh                 full run (5 repetitions, about 6 minutes)
#   BENCH_RUNS=7 bench/run.sh    more repetitions
#   BENCH_QUICK=1 bench/run.sh   short inputs, 3 repetitions, for trying it out
#   BENCH_REGEN=1 bench/run.sh   make the inputs again
#   BENCH_SKIP_BUILD=1 bench/run.sh   measure the last build as it is
#   BENCH_JOBS="2 4" bench/run.sh     the --jobs counts of the batch rows
#                                     besides 1 (default: 2 up to the cores)
#   BENCH_INPUTS=batch bench/run.sh   only some inputs (of music speech batch)
#
# See bench/README.md for what the figures mean.
set -euo pipefail

bench=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$bench")
out=$bench/out
quick=${BENCH_QUICK:-0}
if [ "$quick" = 1 ]; then
    runs=${BENCH_RUNS:-3}
    inputs=$out/inputs-quick
    music_s=60 speech_s=30 batch_s=15
else
    runs=${BENCH_RUNS:-5}
    inputs=$out/inputs
    music_s=600 speech_s=0 batch_s=120
fi
batch_n=8
speed=1.5
build=${ZORVANE_BUILD_DIR:-$root/build}
convert=$build/src/zorvane-convert
tools=(zorvane sox ffmpeg decode tempo encode)
cores=$(nproc)

say() { printf '== %s\n' "$*" >&2; }
die() {
    printf 'bench: %s\n' "$*" >&2
    exit 1
}

# The batch is also converted with several files at once: one row per
# --jobs count above 1 (the zorvane row is --jobs 1).
read -r -a batch_jobs <<<"${BENCH_JOBS:-$(seq -s ' ' 2 "$cores")}"
jobs_tools=()
for j in "${batch_jobs[@]}"; do
    [[ $j =~ ^[0-9]+$ && $j -ge 2 ]] || die "BENCH_JOBS: $j is not a job count above 1"
    jobs_tools+=("jobs$j")
done

# ---------------------------------------------------------------- tools ---

install_missing() {
    local missing=() p
    for p in sox libsox-fmt-mp3 ffmpeg lame espeak-ng time; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$p")
    done
    # Any gnuplot build draws PNG files; only install one when none is there.
    command -v gnuplot >/dev/null || missing+=(gnuplot-nox)
    if [ ${#missing[@]} -gt 0 ]; then
        say "installing ${missing[*]}"
        local sudo=""
        [ "$(id -u)" -eq 0 ] || sudo=sudo
        export DEBIAN_FRONTEND=noninteractive
        $sudo apt-get update -qq
        $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
    fi
    sox -h 2>/dev/null | grep -A1 "AUDIO FILE FORMATS" | grep -qw mp3 ||
        die "the sox command cannot handle MP3 (libsox-fmt-mp3 missing?)"
}

build_all() {
    "$root/scripts/install-deps.sh"
    if [ "${BENCH_SKIP_BUILD:-0}" = 1 ]; then
        say "using the existing build in $build"
    else
        say "building zorvane-convert in $build"
        # Only the tool: a test that does not compile at the moment must not
        # stop a measurement of the engine. Configured as scripts/build.sh does.
        {
            [ -f "$build/CMakeCache.txt" ] ||
                cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
            cmake --build "$build" --parallel "$cores" --target zorvane-convert
        } >"$out/build.log" 2>&1 || {
            tail -n 30 "$out/build.log" >&2
            die "building Zorvane failed (log: $out/build.log; BENCH_SKIP_BUILD=1 uses the last build)"
        }
    fi
    [ -x "$convert" ] || die "$convert was not built"
    "$convert" --help | grep -q -- '--speed' ||
        die "this zorvane-convert has no --speed option; the comparison needs it"
    say "building the stage baselines"
    {
        cmake -S "$bench" -B "$out/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
            cmake --build "$out/build"
    } >"$out/bench-build.log" 2>&1 || {
        tail -n 30 "$out/bench-build.log" >&2
        die "building the stage programs failed (log: $out/bench-build.log)"
    }
}

# --------------------------------------------------------------- inputs ---

# A music-like signal: plucked four-note chords over a bass line, each chord
# with its own attack and decay, a quiet pink-noise bed and a slow tremolo so
# that no two passes of the loop are the same samples. The tempo effect then
# has transients and changing pitch to search through, unlike a plain tone.
make_music_wav() { # seconds out.wav
    local seconds=$1 dest=$2 work=$out/tmp/music
    rm -rf "$work" && mkdir -p "$work"
    local chords=(
        "220 277.18 329.63 440" "196 246.94 293.66 392" "174.61 220 261.63 349.23"
        "164.81 207.65 246.94 329.63" "146.83 185 220 293.66" "164.81 196 246.94 329.63"
        "130.81 164.81 196 261.63" "123.47 155.56 185 246.94"
    )
    local i=0 pieces=() c
    for c in "${chords[@]}"; do
        # shellcheck disable=SC2086
        set -- $c
        sox -r 44100 -c 5 -n -b 16 -c 2 "$work/chord$i.wav" \
            synth 1.5 pluck "$1" pluck "$2" pluck "$3" pluck "$4" sine "$(awk "BEGIN{print $1/2}")" \
            remix 1,2v0.7,3,5v0.5 2,3v0.7,4,5v0.5 fade q 0.005 1.5 0.3 norm -6
        pieces+=("$work/chord$i.wav")
        i=$((i + 1))
    done
    sox "${pieces[@]}" "$work/loop.wav"
    local loops=$(((seconds + 11) / 12))
    sox "$work/loop.wav" "$work/body.wav" repeat $((loops - 1)) trim 0 "$seconds"
    sox -m "$work/body.wav" "|sox -r 44100 -c 2 -n -p synth $seconds pinknoise vol 0.05" \
        -b 16 "$dest" tremolo 0.13 30 norm -1
    rm -rf "$work"
}

make_inputs() {
    local stamp=$inputs/.made-2
    if [ -f "$stamp" ] && [ "${BENCH_REGEN:-0}" != 1 ]; then
        return
    fi
    say "generating inputs into $inputs"
    rm -rf "$inputs" && mkdir -p "$inputs" "$out/tmp"
    local wav=$out/tmp/music.wav
    # The batch is cut from a longer piece so its files differ from each other.
    local source_s=$((music_s > batch_s * batch_n ? music_s : batch_s * batch_n))
    make_music_wav "$source_s" "$wav"
    sox "$wav" "$out/tmp/music-cut.wav" trim 0 "$music_s"
    lame --quiet -b 128 "$out/tmp/music-cut.wav" "$inputs/music.mp3"

    mkdir -p "$inputs/batch"
    local step=$(((source_s - batch_s) / (batch_n - 1))) i
    for ((i = 0; i < batch_n; i++)); do
        sox "$wav" "$out/tmp/piece.wav" trim $((i * step)) "$batch_s"
        lame --quiet -b 128 "$out/tmp/piece.wav" "$inputs/batch/piece$((i + 1)).mp3"
    done

    # Two voices read the same text, so pitch and pace change halfway.
    espeak-ng -w "$out/tmp/voice1.wav" -f "$bench/speech.txt"
    espeak-ng -v en+f3 -s 160 -w "$out/tmp/voice2.wav" -f "$bench/speech.txt"
    local trim=()
    [ "$speech_s" -gt 0 ] && trim=(trim 0 "$speech_s")
    sox "$out/tmp/voice1.wav" "$out/tmp/voice2.wav" -r 44100 -c 1 -b 16 "$out/tmp/speech.wav" \
        "${trim[@]}" norm -1
    lame --quiet -b 128 -m m "$out/tmp/speech.wav" "$inputs/speech.mp3"
    rm -rf "$out/tmp"
    touch "$stamp"
}

input_files() { # input name -> its files
    case $1 in
    music) echo "$inputs/music.mp3" ;;
    speech) echo "$inputs/speech.mp3" ;;
    batch) ls "$inputs"/batch/*.mp3 ;;
    esac
}

# ---------------------------------------------------------- measurement ---

# CPU seconds the whole machine has spent busy since boot.
busy_seconds() {
    awk -v hz="$(getconf CLK_TCK)" '/^cpu / {print ($2 + $3 + $4 + $7 + $8 + $9) / hz; exit}' /proc/stat
}

# Runs one command under GNU time and appends
# "rep,input,tool,wall,cpu,kB,other,percent" to the raw file, where "other"
# is the CPU time that other processes took meanwhile, and "percent" its
# share of all cores over the command's run: a benchmark that shares two
# cores with a compiler measures the compiler too. The stage programs time
# only their own stage and print "BENCH wall user sys"; those figures replace
# the process's.
measure() { # rep input tool command...
    local rep=$1 input=$2 tool=$3
    shift 3
    local tf=$scratch/time.txt log=$scratch/log.txt before after
    before=$(busy_seconds)
    if ! /usr/bin/time -f "%e %U %S %M" -o "$tf" "$@" >"$log" 2>&1; then
        cat "$log" >&2
        die "failed: $*"
    fi
    after=$(busy_seconds)
    local wall user sys kb own other share
    read -r wall user sys kb <"$tf"
    own=$(awk "BEGIN{printf \"%.3f\", $user + $sys}")
    other=$(awk "BEGIN{o = $after - $before - $own; printf \"%.2f\", (o > 0 ? o : 0)}")
    # Over the whole process, which for the stage programs includes their
    # untimed preparation: "other" was measured over that span too.
    share=$(awk "BEGIN{printf \"%.1f\", ($wall > 0 ? 100 * $other / ($wall * $cores) : 0)}")
    if grep -q '^BENCH ' "$log"; then
        read -r _ wall user sys < <(grep '^BENCH ' "$log")
        own=$(awk "BEGIN{printf \"%.3f\", $user + $sys}")
    fi
    echo "$rep,$input,$tool,$wall,$own,$kb,$other,$share" >>"$raw"
}

# One command per tool; every tool converts all files of the input.
run_tool() { # rep input tool
    local rep=$1 input=$2 tool=$3 files
    mapfile -t files < <(input_files "$input")
    local dest=$scratch/dest
    rm -rf "$dest" && mkdir -p "$dest"
    case $tool in
    zorvane | jobs*)
        # One file at a time for the zorvane row, whatever the default is on
        # this machine, so that its figures compare across machines.
        local jobs=1
        [[ $tool == jobs* ]] && jobs=${tool#jobs}
        measure "$rep" "$input" "$tool" env XDG_CONFIG_HOME="$scratch/config" "$convert" \
            --jobs "$jobs" --speed 150 --mode tempo --bitrate 128 --rate auto --channels auto \
            --out "$dest" "${files[@]}"
        ;;
    sox)
        # shellcheck disable=SC2016 # expanded by the inner shell
        measure "$rep" "$input" "$tool" bash -c \
            'd=$1; shift; for f; do sox "$f" -C 128.9 "$d/${f##*/}" tempo 1.5; done' \
            _ "$dest" "${files[@]}"
        ;;
    ffmpeg)
        # shellcheck disable=SC2016 # expanded by the inner shell
        measure "$rep" "$input" "$tool" bash -c \
            'd=$1; shift; for f; do ffmpeg -nostdin -hide_banner -loglevel error -y -i "$f" \
                -af atempo=1.5 -c:a libmp3lame -b:a 128k -compression_level 9 "$d/${f##*/}"; done' \
            _ "$dest" "${files[@]}"
        ;;
    decode) measure "$rep" "$input" "$tool" "$out/build/bench-decode" "${files[@]}" ;;
    tempo) measure "$rep" "$input" "$tool" "$out/build/bench-tempo" "$speed" "${files[@]}" ;;
    encode) measure "$rep" "$input" "$tool" "$out/build/bench-encode" "$speed" 128 "${files[@]}" ;;
    esac
    # The first repetition keeps a record of what each converter wrote, so a
    # converter that silently wrote nothing or the wrong length shows up.
    if [ "$rep" = 1 ] && [[ $tool == zorvane || $tool == jobs* || $tool == sox || $tool == ffmpeg ]]; then
        local written
        written=$(find "$dest" -name '*.mp3' -size +0 | wc -l)
        [ "$written" -eq ${#files[@]} ] || die "$tool wrote $written of ${#files[@]} files"
        printf '%s,%s,%s\n' "$input" "$tool" \
            "$(soxi -D "$dest"/*.mp3 | awk '{s += $1} END {printf "%.2f", s}')" >>"$out/output-lengths.csv"
    fi
    rm -rf "$dest"
}

audio_seconds() { # input -> seconds of output audio
    local files
    mapfile -t files < <(input_files "$1")
    soxi -D "${files[@]}" | awk -v f="$speed" '{s += $1} END {printf "%.3f", s / f}'
}

# ------------------------------------------------------------- report ---

# Medians over the repetitions; the stage bound is formed per repetition from
# that repetition's three stages, then its median taken like the others.
summarize() {
    local lengths=$1
    awk -F, -v lengths="$lengths" -v jobs="${jobs_tools[*]}" '
    function median(list,    n, a, i, j, t) {
        n = split(list, a, " ")
        for (i = 2; i <= n; i++) {
            t = a[i] + 0
            for (j = i - 1; j >= 1 && a[j] + 0 > t; j--) a[j + 1] = a[j]
            a[j + 1] = t
        }
        return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
    }
    function add(key, wall, cpu, kb) {
        walls[key] = walls[key] " " wall; cpus[key] = cpus[key] " " cpu; kbs[key] = kbs[key] " " kb
        if (!(key in lo) || wall + 0 < lo[key]) lo[key] = wall + 0
        if (!(key in hi) || wall + 0 > hi[key]) hi[key] = wall + 0
        count[key]++
    }
    BEGIN {
        n = split(lengths, l, " ")
        for (i = 1; i <= n; i += 2) secs[l[i]] = l[i + 1]
    }
    NR > 1 {
        add($2 SUBSEP $3, $4, $5, $6)
        if ($3 == "decode" || $3 == "tempo" || $3 == "encode") {
            k = $1 SUBSEP $2
            sw[k] += $4; sc[k] += $5; if ($4 + 0 > mw[k]) mw[k] = $4 + 0
            stages[k]++
        }
    }
    END {
        for (k in stages) {
            if (stages[k] != 3) continue
            split(k, p, SUBSEP)
            b = sw[k] / 2 > mw[k] ? sw[k] / 2 : mw[k]
            add(p[2] SUBSEP "bound", b, sc[k], "")
        }
        print "input,command,runs,wall_s,wall_min_s,wall_max_s,cpu_s,realtime_x,peak_mb,zorvane_wall_ratio"
        ni = split("music speech batch", inputs, " ")
        nt = split("zorvane " jobs " sox ffmpeg bound decode tempo encode", tools, " ")
        for (i = 1; i <= ni; i++) {
            zk = inputs[i] SUBSEP "zorvane"
            if (!(zk in count)) continue
            zw = median(walls[zk])
            for (t = 1; t <= nt; t++) {
                key = inputs[i] SUBSEP tools[t]
                if (!(key in count)) continue
                w = median(walls[key])
                mb = tools[t] == "bound" ? "" : sprintf("%.1f", median(kbs[key]) / 1024)
                printf "%s,%s,%d,%.2f,%.2f,%.2f,%.2f,%.1f,%s,%.2f\n", inputs[i], tools[t],
                    count[key], w, lo[key], hi[key], median(cpus[key]), secs[inputs[i]] / w, mb, zw / w
            }
        }
    }' "$raw"
}

print_table() {
    awk -F, '
    BEGIN { label["music"] = "single file"; label["speech"] = "speech"; label["batch"] = "batch of 8" }
    NR == 1 {
        printf "%-20s %-8s %8s %13s %8s %10s %8s %13s\n", "input", "command", "wall s",
            "(min-max)", "CPU s", "realtime", "peak MB", "zorvane/this"
        next
    }
    {
        name = $1 == last ? "" : label[$1]; last = $1
        printf "%-20s %-8s %8.2f %13s %8.2f %9.1fx %8s %13.2f\n", name, $2, $4,
            sprintf("(%.2f-%.2f)", $5, $6), $7, $8, $9 == "" ? "-" : $9, $10
    }' "$1"
}

draw_chart() { # csv png
    local data=$scratch/chart.dat
    awk -F, '
    BEGIN {
        label["music"] = "single file"; label["speech"] = "speech"; label["batch"] = "batch of 8"
    }
    NR > 1 { rtf[$1, $2] = $8; seen[$1] = 1 }
    END {
        print "# input zorvane sox ffmpeg bound"
        n = split("music speech batch", order, " ")
        for (i = 1; i <= n; i++) {
            k = order[i]
            if (!(k in seen)) continue
            printf "\"%s\" %s %s %s %s\n", label[k], rtf[k, "zorvane"], rtf[k, "sox"],
                rtf[k, "ffmpeg"], rtf[k, "bound"]
        }
    }' "$1" >"$data"
    gnuplot <<EOF
set terminal pngcairo size 1000,600 font "Sans,12"
set output "$2"
set title "Speed change to 150 %, 128 kbit/s MP3 output: realtime factor (higher is faster)\\nmedian of $runs runs on $cores cores"
set ylabel "seconds of output audio per second of wall time"
set style data histogram
set style histogram clustered gap 1
set style fill solid 0.85 border -1
set boxwidth 0.9
set key top left
set grid ytics
set yrange [0:*]
set offsets 0, 0, graph 0.1, 0
set xtics nomirror
set xrange [-0.6:2.6]
plot "$data" using 2:xtic(1) title "zorvane-convert" lc rgb "#2b6cb0", \
     "" using 3 title "sox" lc rgb "#dd6b20", \
     "" using 4 title "ffmpeg" lc rgb "#38a169", \
     "" using 5 title "stage bound (2 cores)" lc rgb "#a0aec0", \
     "" using (\$0 - 0.3):2:(sprintf("%.0f", \$2)) with labels offset 0,0.7 notitle, \
     "" using (\$0 - 0.1):3:(sprintf("%.0f", \$3)) with labels offset 0,0.7 notitle, \
     "" using (\$0 + 0.1):4:(sprintf("%.0f", \$4)) with labels offset 0,0.7 notitle, \
     "" using (\$0 + 0.3):5:(sprintf("%.0f", \$5)) with labels offset 0,0.7 notitle
EOF
}

# Other work on the machine slows the two-thread pipeline first, since the
# one-thread tools still find a free core; say so rather than let it pass as
# a result.
busy_warning() {
    awk -F, '
    # Below a tenth of a second it is the measuring shell itself.
    NR > 1 && $8 + 0 > 10 && $7 + 0 >= 0.1 { n++; if (!($3 in seen)) { seen[$3] = 1; list = list " " $3 } }
    NR > 1 { total++ }
    END {
        if (n == 0) exit
        printf "\nWARNING: other processes took more than 10 %% of the cores during %d of %d\n", n, total
        printf "measurements (%s); see other_percent in raw.csv and run again on a quiet machine.\n", substr(list, 2)
    }' "$raw"
}

# The batch with one and with several files at once: how much of the
# machine each run used, CPU seconds / (wall seconds x cores), and what the
# extra pipelines gained.
batch_core_use() {
    awk -F, -v cores="$cores" '
    $1 == "batch" && ($2 == "zorvane" || $2 ~ /^jobs/) {
        n = $2 == "zorvane" ? 1 : substr($2, 5) + 0
        if (n == 1) base = $4
        printf "  --jobs %-3d wall %6.2f s  CPU %6.2f s  core use %5.1f %%  peak %6.1f MB", n, $4,
            $7, 100 * $7 / ($4 * cores), $9
        if (n > 1 && base > 0) printf "  %+5.1f %% faster than --jobs 1", 100 * (base / $4 - 1)
        printf "\n"
    }' "$1"
}

# The engine's own account of where its stages spent their time, from one
# extra, untimed run on the single file.
stage_profile() {
    if ! "$convert" --help | grep -q -- '--profile'; then
        echo "(zorvane-convert has no --profile option yet; stage profile skipped)"
        return
    fi
    local dest=$scratch/dest
    rm -rf "$dest" && mkdir -p "$dest"
    XDG_CONFIG_HOME="$scratch/config" "$convert" --speed 150 --mode tempo --bitrate 128 \
        --rate auto --channels auto --profile --out "$dest" "$inputs/music.mp3" \
        >"$scratch/profile.log" 2>&1 || {
        echo "(the profiled run failed; see $out/profile.txt)"
        cp "$scratch/profile.log" "$out/profile.txt"
        return
    }
    rm -rf "$dest"
    awk '/^stage / {on = 1} on && NF == 0 {on = 0} on' "$scratch/profile.log" | tee "$out/profile.txt"
}

# ----------------------------------------------------------------- main ---

main() {
    install_missing
    mkdir -p "$out"
    build_all
    make_inputs

    scratch=$(mktemp -d "${TMPDIR:-/tmp}/zorvane-bench.XXXXXX")
    trap 'rm -rf "$scratch"' EXIT
    mkdir -p "$scratch/config"
    raw=$out/raw.csv
    echo "rep,input,command,wall_s,cpu_s,peak_kb,other_cpu_s,other_percent" >"$raw"
    echo "input,command,output_audio_s" >"$out/output-lengths.csv"

    local names lengths="" name
    read -r -a names <<<"${BENCH_INPUTS:-music speech batch}"
    for name in "${names[@]}"; do
        [[ $name =~ ^(music|speech|batch)$ ]] || die "BENCH_INPUTS: $name is not music, speech or batch"
    done
    for name in "${names[@]}"; do
        lengths+="$name $(audio_seconds "$name") "
    done

    local before idle
    before=$(busy_seconds)
    sleep 2
    idle=$(awk "BEGIN{print (100 * ($(busy_seconds) - $before) / (2 * $cores) < 10)}")
    [ "$idle" = 1 ] || say "the machine is busy with other work; expect slow, noisy figures"

    local rep tool i n=${#tools[@]}
    for ((rep = 1; rep <= runs; rep++)); do
        say "repetition $rep of $runs"
        for name in "${names[@]}"; do
            local these=("${tools[@]}")
            [ "$name" = batch ] && these+=("${jobs_tools[@]}")
            n=${#these[@]}
            # Rotating the order spreads any warm-up or thermal drift evenly
            # over the commands instead of always hitting the same one.
            for ((i = 0; i < n; i++)); do
                tool=${these[$(((i + rep - 1) % n))]}
                run_tool "$rep" "$name" "$tool"
            done
        done
    done

    summarize "$lengths" >"$out/results.csv"
    draw_chart "$out/results.csv" "$out/results.png"

    echo
    echo "Speed 150 % (tempo), 128 kbit/s CBR; median of $runs runs; $cores cores."
    printf 'Inputs: single file %.0f s stereo, speech %.0f s mono, batch %d x %.0f s stereo.\n' \
        "$(soxi -D "$inputs/music.mp3")" "$(soxi -D "$inputs/speech.mp3")" "$batch_n" \
        "$(soxi -D "$(input_files batch | head -n 1)")"
    echo "zorvane/this = zorvane's wall time divided by the row's (below 1: zorvane is faster)."
    echo "The zorvane rows convert one file at a time (--jobs 1); on a jobsN row, N files at once,"
    echo "and zorvane/this is then the speed-up over --jobs 1."
    echo
    print_table "$out/results.csv"
    busy_warning
    echo
    echo "Batch of $batch_n with several files at once (core use = CPU s / (wall s x $cores cores)):"
    batch_core_use "$out/results.csv"
    echo
    echo "Stage profile of zorvane-convert on the single file:"
    stage_profile
    echo
    echo "Wrote $out/results.csv, $out/results.png and the raw figures in $raw."
}

main "$@"
