#!/usr/bin/env bash
# Runs one fuzz target for a number of seconds over its seed corpus, keeping
# what it finds in a scratch folder (or in $4 for long runs that should keep
# their corpus). Flags of the target's own (input sizes, memory) come from
# <name>.options beside this script. Any crash, leak, timeout or sanitizer
# report fails the run.
set -euo pipefail
target=$1 seconds=$2 seeds=$3 work=${4:-}
here=$(cd "$(dirname "$0")" && pwd)
options=()
options_file="$here/$(basename "$target" _fuzzer).options"
if [ -f "$options_file" ]; then read -r -a options <"$options_file"; fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
corpus=${work:-$scratch/corpus}
mkdir -p "$corpus"
cd "$scratch"
"$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 "${options[@]}" \
  "$corpus" "$seeds" 2>"$scratch/log" || { tail -50 "$scratch/log"; exit 1; }
grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$scratch/log" || true
