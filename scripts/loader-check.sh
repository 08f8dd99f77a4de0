#!/usr/bin/env bash
# What a bad file costs: a folder of twenty photos, the zero-mask BMP that
# once killed the program, and files the test loader crashes, hangs, floods
# or misbehaves on. lumora-convert must convert the twenty, name every other
# file and go on; then the widget test lists the same kind of folder in the
# browser and steps through it in the viewer.
#
#   bash scripts/loader-check.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
bin=$(cd "$build/bin" && pwd)
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dir=$work/folder
mkdir -p "$dir" "$work/out"
export QT_QPA_PLATFORM=offscreen LUMORA_REGISTRY=$work/registry.db

mapfile -t samples < <(find "$here/resources/samples" -maxdepth 1 -iname '*.jpg' | sort)
for i in $(seq -w 1 20); do
    src=${samples[$((10#$i % ${#samples[@]}))]}
    convert "$src" -resize 1200x900 -modulate 100,100,$((10#$i * 9)) "$dir/photo$i.jpg"
done
python3 - "$dir/zero-mask.bmp" <<'PY'
import struct, sys
pixels = b'\x34' * 32
header = struct.pack('<IiiHHIIiiII', 40, 4, 4, 1, 16, 3, len(pixels), 2835, 2835, 0, 0)
masks = struct.pack('<III', 0xF800, 0x07E0, 0)  # blue mask zero
offset = 14 + 40 + 12
open(sys.argv[1], 'wb').write(b'BM' + struct.pack('<IHHI', offset + len(pixels), 0, 0, offset)
                              + header + masks + pixels)
PY
bad=(zero-mask.bmp)
for action in fpe crash abort hang allocate socket "write $work/written" "exec $work/ran"; do
    name=${action%% *}.jpg
    printf 'LUMORA-TEST %s\n' "$action" > "$dir/$name"
    bad+=("$name")
done

echo "== lumora-convert on 20 photos and ${#bad[@]} bad files (the hang takes the 20 s limit)"
set +e
LUMORA_LOADER=$bin/lumora-loader-test "$bin/lumora-convert" --format png --out-dir "$work/out" \
    "$dir"/* > "$work/stdout" 2> "$work/stderr"
status=$?
set -e
grep -v XDG_RUNTIME_DIR "$work/stderr" || true
cat "$work/stdout"
fail=0
converted=$(find "$work/out" -name 'photo*.png' | wc -l)
echo "exit status $status, $converted of 20 photos converted"
[ "$status" -eq 1 ] || { echo "FAIL: exit status $status, expected 1"; fail=1; }
[ "$converted" -eq 20 ] || { echo "FAIL: $converted photos converted"; fail=1; }
for name in "${bad[@]}"; do
    if [ "$name" = zero-mask.bmp ] && [ -e "$work/out/zero-mask.png" ]; then
        echo "zero-mask.bmp: read (its reader has been mended)"
    elif ! grep -q "$name" "$work/stderr" "$work/stdout"; then
        echo "FAIL: $name not named"
        fail=1
    fi
done
for mark in written ran; do
    [ ! -e "$work/$mark" ] || { echo "FAIL: a decoder's $mark file exists"; fail=1; }
done

echo "== the widget test: browser, viewer and converter on such a folder"
result=0
"$bin/loader_test" --gtest_filter='LoaderWidgets.*:Loader.AFileThat*' > "$work/test" 2>&1 || result=$?
grep -E '^\[ *(OK|FAILED|PASSED) *\]|Failure' "$work/test" || true
[ "$result" -eq 0 ] || fail=1
[ "$fail" -eq 0 ] && echo "loader check: all good" || { echo "loader check: FAILED"; exit 1; }
