#!/usr/bin/env bash
# Makes the formats benchmark's photos: DISTINCT different crops, flips and
# tints of the photographs Debian's wallpaper packages ship, each 3000 x 2000
# (6 megapixels), written by each format's own encoder at its usual
# settings (cwebp -q 85, heif-enc -q 80, avifenc -s 8, cjxl -d 1), then
# copied up to COUNT files a format. The photos never go into git.
#
#   bench/make-format-photos.sh OUTDIR [COUNT] [DISTINCT]
set -euo pipefail
out=${1:?usage: make-format-photos.sh OUTDIR [COUNT] [DISTINCT]}
count=${2:-100}
distinct=${3:-20}
mkdir -p "$out/src" "$out/webp" "$out/heic" "$out/avif" "$out/jxl"

mapfile -t sources < <(find /usr/share/backgrounds /usr/share/wallpapers /usr/share/desktop-base \
    -type f \( -iname '*.jpg' -o -iname '*.jpeg' \) -size +200k 2>/dev/null | sort)
if [ "${#sources[@]}" -eq 0 ]; then
    echo "no source photographs found (install desktop-base / mate-backgrounds)" >&2
    exit 1
fi

make_one() {
    local i=$1 src=$2 out=$3
    local base
    base=$(printf 'photo_%03d' "$i")
    local png=$out/src/$base.png
    local pct=$((60 + (i * 7) % 36)) flop=""
    [ $((i % 2)) -eq 1 ] && flop="-flop"
    [ -s "$png" ] || convert "$src" -gravity center -crop "${pct}%x${pct}%+0+0" +repage $flop \
        -modulate $((90 + i % 21)),$((85 + (i * 3) % 31)) -resize '3000x2000^' \
        -gravity center -extent 3000x2000 -attenuate 0.3 +noise Gaussian "$png"
    [ -s "$out/webp/$base.webp" ] || cwebp -quiet -q 85 "$png" -o "$out/webp/$base.webp"
    [ -s "$out/heic/$base.heic" ] || heif-enc -q 80 "$png" -o "$out/heic/$base.heic" >/dev/null
    [ -s "$out/avif/$base.avif" ] || avifenc -s 8 -j 1 "$png" "$out/avif/$base.avif" >/dev/null
    [ -s "$out/jxl/$base.jxl" ] || cjxl --quiet -d 1 --num_threads=1 "$png" "$out/jxl/$base.jxl"
}
export -f make_one

for ((i = 0; i < distinct; i++)); do
    echo "$i ${sources[$((i % ${#sources[@]}))]} $out"
done | xargs -r -P2 -L1 bash -c 'make_one "$@"' _

for fmt in webp heic avif jxl; do
    for ((i = distinct; i < count; i++)); do
        dst=$(printf '%s/%s/photo_%03d.%s' "$out" "$fmt" "$i" "$fmt")
        [ -s "$dst" ] || cp "$(printf '%s/%s/photo_%03d.%s' "$out" "$fmt" $((i % distinct)) "$fmt")" "$dst"
    done
done
for fmt in webp heic avif jxl; do echo "$(ls "$out/$fmt" | wc -l) $fmt photos in $out/$fmt"; done
