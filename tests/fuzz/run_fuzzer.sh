#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs one fuzz target over its seed corpus for a budget: a number of seconds
# ("600") or of executions ("1000000runs"), keeping what it finds in a
# scratch folder (or in $4 for long runs that should keep their corpus).
# Flags of the target's own (input sizes, memory) come from <name>.options
# beside this script. Any crash, leak, timeout or sanitizer report fails the
# run; the input that caused it is kept in ./fuzz-findings.
set -euo pipefail
target=$1 budget=$2 seeds=$3 work=${4:-}
case $budget in
  *runs) limit=(-runs="${budget%runs}") ;;
  *) limit=(-max_total_time="$budget") ;;
esac
here=$(cd "$(dirname "$0")" && pwd)
findings="$PWD/fuzz-findings"
options=()
options_file="$here/$(basename "$target" _fuzzer).options"
if [ -f "$options_file" ]; then read -r -a options <"$options_file"; fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
corpus=${work:-$scratch/corpus}
mkdir -p "$corpus"
cd "$scratch"
if ! "$target" "${limit[@]}" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 "${options[@]}" \
  "$corpus" "$seeds" 2>"$scratch/log"; then
  tail -50 "$scratch/log"
  mkdir -p "$findings"
  find "$scratch" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) \
    -exec mv -t "$findings" {} +
  echo "inputs kept in $findings"
  exit 1
fi
grep -E "stat::number_of_executed_units|stat::average_exec_per_sec|stat::peak_rss_mb" "$scratch/log" || true
