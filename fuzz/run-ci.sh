#!/bin/sh
# Builds the fuzz targets (preset "fuzz"), replays every committed corpus, then fuzzes each
# target for a bounded time. Exits non-zero on any finding (crash, leak, sanitizer report,
# unit slower than the timeout) or build failure.
#
#   fuzz/run-ci.sh [seconds per target]      default 30
#
# New inputs found while fuzzing go to a scratch folder, never into the committed corpus;
# crash reproducers are written to $AIRVANE_FUZZ_ARTIFACTS (default build/fuzz/artifacts).
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
targets="xml wpa_ie config registry_path supplicant"
bin="$root/build/fuzz/fuzz/bin"
artifacts=${AIRVANE_FUZZ_ARTIFACTS:-$root/build/fuzz/artifacts}
scratch="$root/build/fuzz/scratch"

cd "$root"
cmake --preset fuzz
cmake --build --preset fuzz

mkdir -p "$artifacts"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
# -timeout (whole seconds) catches a unit that hangs; the harness holds each unit to
# 100 ms of CPU time (AIRVANE_FUZZ_UNIT_LIMIT_MS).
common="-timeout=1 -rss_limit_mb=2048 -artifact_prefix=$artifacts/"

status=0
for target in $targets; do
    echo "== replay corpus: $target"
    if ! "$bin/fuzz_$target" $common -runs=0 "fuzz/corpus/$target"; then
        echo "FAILED: corpus replay of $target" >&2
        status=1
    fi
done
for target in $targets; do
    echo "== fuzz $target for ${seconds}s"
    rm -rf "$scratch/$target"
    mkdir -p "$scratch/$target"
    # The XML reader takes documents up to 64 KiB within its unit budget.
    extra=""
    if [ "$target" = xml ]; then
        extra="-max_len=65536"
    fi
    if ! "$bin/fuzz_$target" $common $extra -max_total_time="$seconds" -print_final_stats=1 \
        "$scratch/$target" "fuzz/corpus/$target"; then
        echo "FAILED: fuzzing of $target (reproducer in $artifacts)" >&2
        status=1
    fi
done
exit $status
