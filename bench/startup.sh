#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Start-up figures: `--voices` against `espeak-ng --voices`, a usage error, the
# peak memory of `--voices`, and `--listen`'s start to "ready" on PulseAudio
# and on PipeWire. Run from anywhere after building build/.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bin="$top/build/speech-bridge"
[ -x "$bin" ] || { echo "build first: cmake -S $top -B $top/build && cmake --build $top/build" >&2; exit 1; }
command -v hyperfine >/dev/null || { echo "needs hyperfine (apt-get install hyperfine)" >&2; exit 1; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

hyperfine -N -i --warmup 30 --runs 300 --export-json "$out/times.json" \
  "$bin --voices" "espeak-ng --voices" "$bin --bogus" >/dev/null 2>&1 || true

rss() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1; }
python3 - "$out/times.json" "$(rss "$bin" --voices)" "$(rss espeak-ng --voices)" <<'PY'
import json, sys
results = {r["command"].rsplit("/", 1)[-1]: r for r in json.load(open(sys.argv[1]))["results"]}
median = lambda name: results[name]["median"] * 1000
ours, theirs, usage = median("speech-bridge --voices"), median("espeak-ng --voices"), median("speech-bridge --bogus")
print(f"{'figure':44} {'measured':>12} {'target':>14}")
print(f"{'--voices, start to exit (median)':44} {ours:9.2f} ms {'':>14}")
print(f"{'espeak-ng --voices, start to exit (median)':44} {theirs:9.2f} ms {'':>14}")
print(f"{'ratio':44} {ours / theirs:12.2f} {'<= 1.30':>14}")
print(f"{'usage error, start to exit (median)':44} {usage:9.2f} ms {'<= 10 ms':>14}")
print(f"{'--voices peak RSS':44} {int(sys.argv[2]) / 1024:9.1f} MB {'<= 15 MB':>14}")
print(f"{'espeak-ng --voices peak RSS':44} {int(sys.argv[3]) / 1024:9.1f} MB {'':>14}")
PY

# --listen: process start to "ready" on each sound server, with and without a grammar.
python3 "$top/bench/live_start.py" --start-only
