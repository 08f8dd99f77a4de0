#!/usr/bin/env bash
# Makes the benchmark's test photos from the real photographs that Debian's
# wallpaper packages ship: each one a different crop, flip, tint and scale of
# a source, written as a 4000 x 3000 JPEG (quality 90); a share of them is
# also written as PNG. The photos never go into git.
#
#   bench/make-photos.sh OUTDIR [jpeg_count] [png_count]
set -euo pipefail
out=${1:?usage: make-photos.sh OUTDIR [jpeg_count] [png_count]}
jpegs=${2:-200}
pngs=${3:-40}
mkdir -p "$out/jpeg" "$out/png"

mapfile -t sources < <(find /usr/share/backgrounds /usr/share/wallpapers /usr/share/desktop-base \
    -type f \( -iname '*.jpg' -o -iname '*.jpeg' \) -size +200k 2>/dev/null | sort)
if [ "${#sources[@]}" -eq 0 ]; then
    echo "no source photographs found (install desktop-base / mate-backgrounds)" >&2
    exit 1
fi

make_one() {
    local i=$1 src=$2 dst=$3
    # Vary the crop (55-95 % of the source), its position, flip and colour so
    # every file is a distinct picture of the same kind of content; a little
    # sensor-like grain keeps the upscaled wallpapers from compressing better
    # than a real 12-megapixel photo would.
    local pct=$((55 + (i * 7) % 41))
    local gx=$(((i * 13) % 3)) gy=$(((i * 5) % 3))
    local grav=(NorthWest North NorthEast West Center East SouthWest South SouthEast)
    local flop=""
    [ $((i % 2)) -eq 1 ] && flop="-flop"
    convert "$src" -gravity "${grav[$((gy * 3 + gx))]}" -crop "${pct}%x${pct}%+0+0" +repage \
        $flop -modulate $((90 + i % 21)),$((85 + (i * 3) % 31)),$((95 + i % 11)) \
        -resize '4000x3000^' -gravity center -extent 4000x3000 \
        -attenuate 0.35 +noise Gaussian -quality 90 -sampling-factor 2x2 "$dst"
}
export -f make_one

jobs=()
for ((i = 0; i < jpegs; i++)); do
    f=$(printf '%s/jpeg/photo_%03d.jpg' "$out" "$i")
    [ -s "$f" ] || jobs+=("$i ${sources[$((i % ${#sources[@]}))]} $f")
done
printf '%s\n' "${jobs[@]+"${jobs[@]}"}" | xargs -r -P2 -L1 bash -c 'make_one "$@"' _

for ((i = 0; i < pngs && i < jpegs; i++)); do
    f=$(printf '%s/png/photo_%03d.png' "$out" "$i")
    [ -s "$f" ] || echo "$(printf '%s/jpeg/photo_%03d.jpg' "$out" "$i") $f"
done | xargs -r -P2 -L1 bash -c 'convert "$0" -define png:compression-level=6 "$1"'

echo "$(ls "$out/jpeg" | wc -l) JPEG and $(ls "$out/png" | wc -l) PNG photos in $out"
