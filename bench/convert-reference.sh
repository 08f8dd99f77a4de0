#!/usr/bin/env bash
# Conversion speed of lumora-convert against vips and ImageMagick's convert,
# measured in the same run over the same files, all three using both cores:
#   - lumora-convert --out-dir over every file (its own pool, one worker per core)
#   - `vips copy` and `convert` run as two parallel processes (xargs -P2)
# Two directions: 12-megapixel JPEG -> PNG, and PNG -> JPEG at quality 90
# (vips and convert are told Q=90 too; lumora-convert writes JPEG at its own
# quality, printed below). PNG output uses each tool's default compression;
# the output sizes are printed so a tool that wins by compressing less shows.
# Each figure is the best of RUNS runs (default 2). MAGICK=0 leaves
# ImageMagick out (it takes four times as long as the other two together).
#
#   bench/convert-reference.sh BUILD_DIR PHOTOS_DIR [COUNT]
# Make the photos first: bench/make-photos.sh PHOTOS_DIR 200
set -euo pipefail
build=${1:-build}
photos=${2:?usage: convert-reference.sh BUILD_DIR PHOTOS_DIR [COUNT]}
count=${3:-200}
runs=${RUNS:-2}
magick=${MAGICK:-1}
conv=$build/bin/lumora-convert
export QT_QPA_PLATFORM=offscreen
tools=("$conv" vips)
[ "$magick" = 1 ] && tools+=(convert)
for tool in "${tools[@]}"; do
    command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done

mapfile -t jpegs < <(find "$photos/jpeg" -maxdepth 1 -name '*.jpg' | sort | head -n "$count")
[ "${#jpegs[@]}" -gt 0 ] || { echo "no photos in $photos/jpeg" >&2; exit 1; }
n=${#jpegs[@]}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

now() { date +%s%N; }
ms_per_image() { awk -v ns="$1" -v n="$n" 'BEGIN { printf "%.2f", ns / 1e6 / n }'; }
best() { sort -g | head -1; }
size_mb() { du -sm "$1" | cut -f1; }

# Runs "$@" with OUT set to a fresh folder; prints ns.
timed() {
    local out=$1; shift
    rm -rf "$out"; mkdir -p "$out"
    local t0 t1
    t0=$(now)
    "$@"
    t1=$(now)
    echo $((t1 - t0))
}

lumora_run() { "$conv" --quiet --format "$1" --out-dir "$2" "${@:3}"; }
vips_run() { # ext out files...
    local ext=$1 out=$2; shift 2
    local opt=""
    [ "$ext" = jpg ] && opt="[Q=90]"
    printf '%s\n' "$@" | xargs -P2 -I{} sh -c 'b=$(basename "$1"); vips copy "$1" "$2/${b%.*}.$3$4"' _ {} "$out" "$ext" "$opt"
}
magick_run() {
    local ext=$1 out=$2; shift 2
    local opt=""
    [ "$ext" = jpg ] && opt="-quality 90"
    printf '%s\n' "$@" | xargs -P2 -I{} sh -c 'b=$(basename "$1"); convert "$1" $4 "$2/${b%.*}.$3"' _ {} "$out" "$ext" "$opt"
}

cat "${jpegs[@]}" > /dev/null # warm the page cache
echo "load before: $(uptime)"
echo "cores: $(nproc), files: $n, runs: $runs"

# The PNG inputs for the second direction: written once by vips, so every
# tool reads the same files.
pngdir=$work/png-in
mkdir -p "$pngdir"
vips_run png "$pngdir" "${jpegs[@]}"
mapfile -t pngs < <(find "$pngdir" -name '*.png' | sort)
cat "${pngs[@]}" > /dev/null

direction() { # label ext inputs...
    local label=$1 ext=$2; shift 2
    local l=() v=() m=()
    for ((r = 0; r < runs; r++)); do
        l+=("$(timed "$work/l" lumora_run "$ext" "$work/l" "$@")")
        v+=("$(timed "$work/v" vips_run "$ext" "$work/v" "$@")")
        if [ "$magick" = 1 ]; then
            m+=("$(timed "$work/m" magick_run "$ext" "$work/m" "$@")")
        else
            m+=(0)
            mkdir -p "$work/m"
        fi
    done
    local lb vb mb
    lb=$(printf '%s\n' "${l[@]}" | best)
    vb=$(printf '%s\n' "${v[@]}" | best)
    mb=$(printf '%s\n' "${m[@]}" | best)
    local got
    got=$(find "$work/l" -type f | wc -l)
    [ "$got" -eq "$n" ] || echo "WARNING: lumora-convert wrote $got of $n files" >&2
    printf '%-12s lumora %8s ms/image (%4s MB)  vips %8s (%4s MB)  convert %8s (%4s MB)\n' "$label" \
        "$(ms_per_image "$lb")" "$(size_mb "$work/l")" "$(ms_per_image "$vb")" "$(size_mb "$work/v")" \
        "$(ms_per_image "$mb")" "$(size_mb "$work/m")"
    awk -v l="$lb" -v v="$vb" -v m="$mb" -v d="$label" \
        'BEGIN { printf "%-12s ratio lumora/vips %.2f (goal <= 1.00)", d, l / v
                 if (m > 0) printf ", lumora/convert %.2f", l / m
                 printf "\n" }'
}

direction "JPEG->PNG" png "${jpegs[@]}"
direction "PNG->JPEG" jpg "${pngs[@]}"
echo "load after: $(uptime)"
