#!/usr/bin/env bash
# A photographer's batch: a tree of COUNT photos (default 200) in nested
# folders, shrunk to a long side of SIZE (default 1024) as JPEG at QUALITY
# (default 80), the tree mirrored under the output folder, by
#   - lumora-convert --recursive --resize --quality --skip-existing (its own
#     pool, one worker per core)
#   - vips thumbnail (shrink-on-load) per file, two at a time (xargs -P2)
#   - ImageMagick mogrify -path per folder, two folders at a time
# measured in the same run over the same files. vips and mogrify have no
# --skip-existing or tree mirroring: the script makes the folders and skips
# outputs that exist, which is what their users script by hand.
# Three passes: the full batch; a rerun after an interruption (every other
# output deleted); a rerun with every output there. Each figure is the best
# of RUNS runs (default 1); ratios below 1.00 mean lumora-convert is faster.
#
#   bench/convert-batch.sh BUILD_DIR PHOTOS_DIR [COUNT]
# PHOTOS_DIR/jpeg holds the photos (bench/make-photos.sh PHOTOS_DIR 200);
# with fewer than COUNT they are used again under other names.
set -euo pipefail
build=${1:-build}
photos=${2:?usage: convert-batch.sh BUILD_DIR PHOTOS_DIR [COUNT]}
count=${3:-200}
size=${SIZE:-1024}
quality=${QUALITY:-80}
runs=${RUNS:-1}
conv=$(realpath "$build/bin/lumora-convert")
export QT_QPA_PLATFORM=offscreen
for tool in "$conv" vips mogrify identify; do
    command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done
mapfile -t sources < <(find "$photos/jpeg" -maxdepth 1 -name '*.jpg' | sort)
[ "${#sources[@]}" -gt 0 ] || { echo "no photos in $photos/jpeg" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tree=$work/tree
# Years, months and a day's subfolder, as cameras and photo managers file them.
for ((i = 0; i < count; i++)); do
    dir=$tree/$((2019 + i % 4))/$(printf '%02d' $((1 + (i / 4) % 6)))
    [ $((i % 5)) -eq 0 ] && dir=$dir/picked
    mkdir -p "$dir"
    src=${sources[$((i % ${#sources[@]}))]}
    ln "$src" "$dir/IMG_$(printf '%04d' "$i").jpg" 2>/dev/null || cp "$src" "$dir/IMG_$(printf '%04d' "$i").jpg"
done
mapfile -t files < <(cd "$tree" && find . -name '*.jpg' | sed 's|^\./||' | sort)
n=${#files[@]}
folders=$(cd "$tree" && find . -type d | wc -l)

now() { date +%s%N; }
lumora_run() { "$conv" --quiet --recursive --format jpg --out-dir "$1" --resize "$size" --quality "$quality" --skip-existing "$tree"; }
vips_run() {
    printf '%s\n' "${files[@]}" | xargs -P2 -I{} sh -c '
        o=$2/${1%.*}.jpg
        [ -e "$o" ] && exit 0
        mkdir -p "$(dirname "$o")"
        vips thumbnail "$3/$1" "$o[Q=$4]" "$5" --size down' _ {} "$1" "$tree" "$quality" "$size"
}
magick_run() {
    (cd "$tree" && find . -type d | sed 's|^\./||') | xargs -P2 -I{} sh -c '
        mkdir -p "$2/$1"
        todo=""
        for f in "$3/$1"/*.jpg; do
            [ -f "$f" ] || continue
            b=$(basename "$f")
            [ -e "$2/$1/$b" ] || todo="$todo $f"
        done
        [ -z "$todo" ] || mogrify -path "$2/$1" -resize "$5x$5>" -quality "$4" -format jpg $todo' _ {} "$1" "$tree" "$quality" "$size"
}

# pass: fresh (empty output), half (every other output deleted), none (all there)
prepare() {
    local out=$1 pass=$2
    case $pass in
    fresh) rm -rf "$out"; mkdir -p "$out" ;;
    half)
        for ((i = 0; i < n; i += 2)); do rm -f "$out/${files[$i]}"; done ;;
    none) ;;
    esac
}
timed() { # out pass tool
    prepare "$1" "$2"
    local t0 t1
    t0=$(now)
    "$3" "$1"
    t1=$(now)
    echo $((t1 - t0))
}
best() { sort -g | head -1; }
check() { # out: every output there, long side at most SIZE
    local got bad
    got=$(find "$1" -name '*.jpg' | wc -l)
    [ "$got" -eq "$n" ] || echo "WARNING: $2 wrote $got of $n files" >&2
    bad=$(identify -format '%w %h\n' "$1/${files[0]}" | awk -v s="$size" '$1 > s || $2 > s')
    [ -z "$bad" ] || echo "WARNING: $2 wrote a picture larger than $size" >&2
}

cat "${sources[@]}" > /dev/null # warm the page cache
echo "load before: $(uptime)"
echo "cores: $(nproc), files: $n in $folders folders, long side $size, quality $quality, runs: $runs"
declare -A L V M
for pass in fresh half none; do
    l=() v=() m=()
    for ((r = 0; r < runs; r++)); do
        [ "$pass" = fresh ] || [ "$r" -eq 0 ] || { prepare "$work/l" fresh; lumora_run "$work/l"; prepare "$work/v" fresh; vips_run "$work/v"; prepare "$work/m" fresh; magick_run "$work/m"; }
        l+=("$(timed "$work/l" "$pass" lumora_run)")
        v+=("$(timed "$work/v" "$pass" vips_run)")
        m+=("$(timed "$work/m" "$pass" magick_run)")
    done
    L[$pass]=$(printf '%s\n' "${l[@]}" | best)
    V[$pass]=$(printf '%s\n' "${v[@]}" | best)
    M[$pass]=$(printf '%s\n' "${m[@]}" | best)
    check "$work/l" lumora-convert
    check "$work/v" vips
    check "$work/m" mogrify
    awk -v l="${L[$pass]}" -v v="${V[$pass]}" -v m="${M[$pass]}" -v p="$pass" 'BEGIN {
        printf "%-6s lumora %8.0f ms  vips %8.0f ms  mogrify %8.0f ms   ratio lumora/vips %.2f (goal <= 1.00), lumora/mogrify %.2f\n",
            p, l / 1e6, v / 1e6, m / 1e6, l / v, l / m }'
done
printf 'sizes: lumora %s, vips %s, mogrify %s\n' "$(du -sh "$work/l" | cut -f1)" "$(du -sh "$work/v" | cut -f1)" "$(du -sh "$work/m" | cut -f1)"
echo "load after: $(uptime)"
