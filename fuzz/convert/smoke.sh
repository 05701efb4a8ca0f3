#!/usr/bin/env bash
# A short run of the conversion fuzz target for CI: bash fuzz/convert/smoke.sh BUILD_DIR [SECONDS]
# New inputs go to a temporary folder; the committed seed corpus is only read.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build/fuzz}
seconds=${2:-20}
fuzzer=$(find "$build" -type f -name convert_fuzz -perm -u+x | head -n 1)
if [ -z "$fuzzer" ]; then
  echo "convert_fuzz not found below $build" >&2
  exit 1
fi
work=$(mktemp -d /tmp/oskelt-fuzz-smoke.XXXXXX)
trap 'rm -rf "$work"' EXIT
# Inputs stay below a few KiB, so no conversion may ask for 64 MiB at once:
# a short file claiming a huge level 0 must fail before its buffers exist.
"$fuzzer" -max_total_time="$seconds" -timeout=10 -malloc_limit_mb=64 -print_final_stats=1 \
  -artifact_prefix="$work/" "$work" "$here/corpus" >"$work/log" 2>&1 || {
  tail -n 60 "$work/log"
  exit 1
}
grep -E "^(#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units|stat::peak_rss_mb)" "$work/log" || tail -n 5 "$work/log"
echo "convert fuzz smoke run: no crash in ${seconds} s"
