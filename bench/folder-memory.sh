#!/usr/bin/env bash
# Peak memory of browsing a large folder: a folder of COUNT entries (hard
# links to the photos of PHOTODIR, each listed and thumbnailed as a file of
# its own) is listed by lumora-thumbbench until every thumbnail is in the
# grid, with the decoders in their loader processes and, as the reference in
# the same run, in the program itself; the two take turns ROUNDS times.
# Peak memory is the program's high-water mark plus each loader's (VmHWM),
# so it never undercounts what they held at once.
#
#   bench/folder-memory.sh BUILD PHOTODIR [COUNT] [ROUNDS]
set -euo pipefail
build=${1:?usage: folder-memory.sh BUILD PHOTODIR [COUNT] [ROUNDS]}
photos=${2:?usage: folder-memory.sh BUILD PHOTODIR [COUNT] [ROUNDS]}
count=${3:-3000}
rounds=${4:-2}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/folder"
mapfile -t sources < <(find "$photos" -maxdepth 1 -type f -iname '*.jpg' | sort)
[ "${#sources[@]}" -gt 0 ] || { echo "no JPEGs in $photos" >&2; exit 1; }
for ((i = 0; i < count; ++i)); do
  src=${sources[i % ${#sources[@]}]}
  ln "$src" "$work/folder/$(printf 'img_%05d.jpg' "$i")" 2>/dev/null ||
    cp "$src" "$work/folder/$(printf 'img_%05d.jpg' "$i")"
done

run() { # mode -> "peak_mb ms_per_image"
  rm -rf "$work/xdg"
  mkdir "$work/xdg"
  local out
  out=$(XDG_CACHE_HOME="$work/xdg" XDG_CONFIG_HOME="$work/xdg" \
    "$build/bin/lumora-thumbbench" $1 "$work/folder" 2>/dev/null)
  echo "$out" | grep -q "images=$count " || { echo "not every image listed: $out" >&2; exit 1; }
  echo "$(echo "$out" | grep -o '\bpeak_rss_mb=[0-9]*' | cut -d= -f2)" \
    "$(echo "$out" | grep -o '\bms_per_image=[0-9.]*' | cut -d= -f2)"
}

ours=() ref=() ours_ms=() ref_ms=()
for ((r = 0; r < rounds; ++r)); do
  read -r mb ms < <(run --in-process)
  ref+=("$mb"); ref_ms+=("$ms")
  read -r mb ms < <(run "")
  ours+=("$mb"); ours_ms+=("$ms")
  echo "round $((r + 1)): loaders ${ours[-1]} MB ${ours_ms[-1]} ms/image," \
    "in process ${ref[-1]} MB ${ref_ms[-1]} ms/image"
done
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'; }
a=$(median "${ours[@]}") b=$(median "${ref[@]}")
echo "entries=$count peak_mb=$a in_process_peak_mb=$b ratio=$(awk -v a="$a" -v b="$b" 'BEGIN {printf "%.2f", a / b}')" \
  "ms_per_image=$(median "${ours_ms[@]}") in_process_ms_per_image=$(median "${ref_ms[@]}")"
