#!/bin/bash
# Runs each fuzz target for a bounded time, one process at a time.
#   bash fuzz/run.sh [build-dir] [seconds per target] [targets...]
# Extra libFuzzer flags come from FUZZ_FLAGS, e.g. FUZZ_FLAGS="-fork=1
# -ignore_timeouts=1" to carry on past libwmf's slow bitmap stretching.
# New inputs go to <build-dir>/fuzz-corpus/<target>, crashes to
# <build-dir>/fuzz-artifacts/; the seeds in fuzz/corpus stay untouched.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build-fuzz}
seconds=${2:-120}
shift $(( $# > 2 ? 2 : $# ))
targets=${*:-decode qt magick metafile}
export LSAN_OPTIONS="suppressions=$here/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1"
mkdir -p "$build/fuzz-artifacts"
for t in $targets; do
  mkdir -p "$build/fuzz-corpus/$t"
  "$build/bin/lumora_fuzz_$t" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
    -print_final_stats=1 ${FUZZ_FLAGS:-} -artifact_prefix="$build/fuzz-artifacts/$t-" \
    "$build/fuzz-corpus/$t" "$here/corpus/$t" || echo "lumora_fuzz_$t stopped with status $?"
done
