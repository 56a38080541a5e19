#!/usr/bin/env bash
# Runs one fuzz target for a number of seconds over its seed corpus, keeping
# what it finds in a scratch folder (or in $3 for long runs that should keep
# their corpus). Any crash, leak, timeout or sanitizer report fails the run.
set -euo pipefail
target=$1 seconds=$2 seeds=$3 work=${4:-}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
corpus=${work:-$scratch/corpus}
mkdir -p "$corpus"
cd "$scratch"
"$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  "$corpus" "$seeds" 2>"$scratch/log" || { tail -50 "$scratch/log"; exit 1; }
grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$scratch/log" || true
