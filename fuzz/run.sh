#!/bin/bash
# Runs each fuzz target for a bounded time, one process at a time, and adds
# one line per target to <build-dir>/fuzz-report.txt: seconds (wall and
# processor), executions,
# edges covered (libFuzzer's "cov") and the crash/leak/timeout files written.
#   bash fuzz/run.sh [build-dir] [seconds per target] [targets...]
# Targets: the decoding families (decode qt magick metafile), encode, and
# the parsers (bmp ico tiff psd wbmp tga exif thumbpng cipher registry
# mimeapps desktop trashinfo png). Extra libFuzzer flags come from FUZZ_FLAGS,
# e.g. FUZZ_FLAGS="-fork=1 -ignore_timeouts=1" to carry on past libwmf's slow
# bitmap stretching. New inputs go to <build-dir>/fuzz-corpus/<target>,
# crashes to <build-dir>/fuzz-artifacts/; the seeds in fuzz/corpus and those
# fuzz/make-seeds.sh made in <build-dir>/seeds stay untouched.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build-fuzz}
seconds=${2:-120}
shift $(( $# > 2 ? 2 : $# ))
targets=${*:-decode qt magick metafile}
export LSAN_OPTIONS="suppressions=$here/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1"
mkdir -p "$build/fuzz-artifacts" "$build/fuzz-logs"
for t in $targets; do
  mkdir -p "$build/fuzz-corpus/$t"
  seeds=()
  for d in "$here/corpus/$t" "$build/seeds/$t"; do [ -d "$d" ] && seeds+=("$d"); done
  log="$build/fuzz-logs/$t.log"
  before=$(ls "$build/fuzz-artifacts" | grep -c "^$t-" || true)
  start=$(date +%s)
  # The processor time the fuzzer had (user + system, its children too),
  # which is what counts on a machine that is busy with other work.
  status=$( (
    s=0
    "$build/bin/lumora_fuzz_$t" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
      -print_final_stats=1 ${FUZZ_FLAGS:-} -artifact_prefix="$build/fuzz-artifacts/$t-" \
      "$build/fuzz-corpus/$t" "${seeds[@]}" >"$log" 2>&1 || s=$?
    times >"$log.times"
    echo $s
  ) )
  cpu=$(awk 'NR == 2 { t = 0; for (i = 1; i <= NF; i++) { split($i, a, /[ms]/); t += a[1] * 60 + a[2] } printf "%d", t }' "$log.times")
  took=$(( $(date +%s) - start ))
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
  [ -n "$execs" ] || execs=$(grep -o '^#[0-9]*' "$log" | tail -1 | tr -d '#')
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*' || true)
  after=$(ls "$build/fuzz-artifacts" | grep -c "^$t-" || true)
  line="$t seconds=$took cpu_seconds=$cpu executions=${execs:-0} cov=${cov:-0} findings=$((after - before)) status=$status"
  echo "$line" | tee -a "$build/fuzz-report.txt"
done
