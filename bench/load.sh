#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Load: 200 jobs of each mode in a row (and the concurrent listening jobs; the
# jobs with sound on PulseAudio and on PipeWire),
# through the end-to-end load tests; prints each mode's peak memory at the
# start and at the end of the run.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
jobs=${1:-200}
[ -x "$top/build/tests/e2e_tests" ] || { echo "build first: cmake --build $top/build" >&2; exit 1; }
SPEECH_BRIDGE_LOAD_JOBS=$jobs "$top/build/tests/e2e_tests" --gtest_filter='*Load*' | grep -E '^\[ (load|      OK|  FAILED)'
