#!/usr/bin/env bash
# A short run of the folder-map fuzz target for CI: bash fuzz/ini/smoke.sh BUILD_DIR [SECONDS]
# New inputs go to a temporary folder; the committed seed corpus is only read.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build/fuzz}
seconds=${2:-20}
fuzzer=$(find "$build" -type f -name ini_fuzz -perm -u+x | head -n 1)
if [ -z "$fuzzer" ]; then
  echo "ini_fuzz not found below $build" >&2
  exit 1
fi
work=$(mktemp -d /tmp/oskelt-ini-smoke.XXXXXX)
trap 'rm -rf "$work"' EXIT
# Inputs up to 40,000 bytes reach past the reader's 32,767-byte limits.
"$fuzzer" -max_total_time="$seconds" -timeout=10 -max_len=40000 -print_final_stats=1 \
  -artifact_prefix="$work/" "$work" "$here/corpus" >"$work/log" 2>&1 || {
  tail -n 60 "$work/log"
  exit 1
}
grep -E "^(#[0-9]+ +DONE|stat::number_of_executed_units|stat::peak_rss_mb)" "$work/log" || tail -n 5 "$work/log"
echo "ini fuzz smoke run: no crash in ${seconds} s"
