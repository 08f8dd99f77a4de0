#!/usr/bin/env bash
# Thumbnail speed against references measured in the same run:
#   - lumora-thumbbench: the explorer's own listing (headless), with the
#     decoders in the loader processes and (--in-process) in the program
#   - vipsthumbnail run as two parallel processes
#   - libjpeg-turbo at 1/8 scale on two threads (lumora-jpegref jpeg)
#   - for PNG photos, plain libpng on two threads (lumora-jpegref png)
# Each figure is the best of RUNS runs (default 3), so a neighbour's build on
# this shared machine spoils fewer of them. Make the photos first with
# bench/make-photos.sh.
#
#   bench/thumbs-reference.sh BUILD_DIR PHOTOS_DIR
# BEFORE=OTHER_BUILD_DIR adds that build's listing, for a before/after.
set -euo pipefail
build=${1:-build}
photos=${2:-$build/bench-photos}
runs=${RUNS:-3}
bin=$build/bin
export QT_QPA_PLATFORM=offscreen

# Every listing decodes: the thumbnail cache is a fresh, empty one each time
# (a cache left by earlier runs would answer instead, failures included).
xdg=$(mktemp -d)
trap 'rm -rf "$xdg"' EXIT
thumbs() { # PROGRAM ARGS...
    local prog=$1
    shift
    rm -rf "$xdg/cache"
    mkdir -p "$xdg/cache"
    XDG_CACHE_HOME="$xdg/cache" "$prog" "$@"
}

best() { sort -g | head -1; }
field() { sed -n "s/.*$1=\([0-9.]*\).*/\1/p" | tail -1; }

vips_ms() { # two processes, each on half of the files
    local dir=$1 out
    out=$(mktemp -d)
    mapfile -t files < <(find "$dir" -maxdepth 1 -type f | sort)
    local n=${#files[@]} half=$(((${#files[@]} + 1) / 2))
    local t0 t1
    t0=$(date +%s%N)
    vipsthumbnail -s 140 -o "$out/%s.jpg" "${files[@]:0:half}" &
    vipsthumbnail -s 140 -o "$out/%s.jpg" "${files[@]:half}" &
    wait
    t1=$(date +%s%N)
    rm -rf "$out"
    awk -v ns=$((t1 - t0)) -v n="$n" 'BEGIN { printf "%.2f\n", ns / 1e6 / n }'
}

echo "load before: $(uptime)"
echo "cores: $(nproc)"
cat "$photos"/jpeg/* "$photos"/png/* > /dev/null 2>&1 || true # warm the page cache

ours_jpeg=$(for _ in $(seq "$runs"); do thumbs "$bin/lumora-thumbbench" "$photos/jpeg" | field ms_per_image; done | best)
here_jpeg=$(for _ in $(seq "$runs"); do thumbs "$bin/lumora-thumbbench" --in-process "$photos/jpeg" | field ms_per_image; done | best)
if [ -n "${BEFORE:-}" ]; then
    before_jpeg=$(for _ in $(seq "$runs"); do thumbs "$BEFORE/bin/lumora-thumbbench" "$photos/jpeg" | field ms_per_image; done | best)
fi
rss_jpeg=$(thumbs "$bin/lumora-thumbbench" "$photos/jpeg" | tee /dev/stderr | field peak_rss_mb)
vips=$(for _ in $(seq "$runs"); do vips_ms "$photos/jpeg"; done | best)
turbo=$(for _ in $(seq "$runs"); do "$bin/lumora-jpegref" jpeg "$photos/jpeg" 2 | field ms_per_image; done | best)

echo
echo "JPEG $(ls "$photos/jpeg" | wc -l) photos:"
echo "  lumora-thumbbench        ms_per_image=$ours_jpeg peak_rss_mb=$rss_jpeg"
echo "  in process               ms_per_image=$here_jpeg"
[ -n "${BEFORE:-}" ] && echo "  before ($BEFORE)  ms_per_image=$before_jpeg"
echo "  vipsthumbnail x2 procs   ms_per_image=$vips"
echo "  libjpeg-turbo 1/8 x2 thr ms_per_image=$turbo"
awk -v o="$ours_jpeg" -v v="$vips" -v t="$turbo" -v h="$here_jpeg" 'BEGIN {
    printf "  ratio ours/vipsthumbnail = %.2f (goal <= 1.00)\n", o / v
    printf "  ratio ours/in process    = %.2f (goal <= 1.10)\n", o / h
    printf "  ratio ours/libjpeg-turbo = %.2f (goal <= 1.50)\n", o / t }'

if [ -n "$(ls -A "$photos/png" 2>/dev/null)" ]; then
    ours_png=$(for _ in $(seq "$runs"); do thumbs "$bin/lumora-thumbbench" "$photos/png" | field ms_per_image; done | best)
    libpng=$(for _ in $(seq "$runs"); do "$bin/lumora-jpegref" png "$photos/png" 2 | field ms_per_image; done | best)
    echo
    echo "PNG $(ls "$photos/png" | wc -l) photos:"
    echo "  lumora-thumbbench        ms_per_image=$ours_png"
    echo "  libpng x2 thr            ms_per_image=$libpng"
    awk -v o="$ours_png" -v l="$libpng" 'BEGIN {
        printf "  ratio ours/libpng = %.2f (goal <= 1.30)\n", o / l }'
fi
echo
echo "load after: $(uptime)"
