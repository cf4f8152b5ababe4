#!/usr/bin/env bash
# The longer robustness runs, each bounded in time. The full test command
# (tools/test.sh, CI) already runs the first two and every fuzz target for a
# few seconds; this script adds the long forms:
#   1. 10,000 random window messages and firmware codes into the live agent,
#      log rotation under four threads writing 30 MiB, and the faults of
#      tools/simlaptop/faults.sh (a killed service, full and read-only log
#      folders) (CTest label "robustness" of the windows preset);
#   2. the agent killed N times in a row (default 20), the broker bringing it
#      back each time (the whole-system scenario with ZU_SCENARIO_KILLS=N);
#   3. every fuzz target of the parsers for S seconds (default 60), natively
#      with sanitizers (host preset).
#
#   tools/robustness.sh [--kills N] [--fuzz-seconds S]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
kills=20 fuzz_seconds=60
while [ $# -gt 0 ]; do
  case "$1" in
    --kills) kills=$2; shift 2 ;;
    --fuzz-seconds) fuzz_seconds=$2; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done

status=0
echo "=== windows: build"
cmake --preset windows >/dev/null
cmake --build --preset windows
trap 'tools/wine-run --prefix build/windows/wineprefix --stop || true' EXIT

echo "=== random messages into the live agent; log rotation under four threads; the faults"
ctest --preset windows -L robustness || status=1

echo "=== the agent killed $kills times in a row"
ZU_SCENARIO_KILLS=$kills tools/simlaptop/scenario.sh build/windows || status=1

echo "=== fuzz targets, $fuzz_seconds s each"
cmake --preset host >/dev/null
cmake --build --preset host
# Each fuzz test's own command (target and seed corpus), with a longer time;
# the driver takes the last --seconds given.
while IFS= read -r line; do
  eval "set -- $line"
  echo "--- $(basename "$1")"
  "$@" --seconds "$fuzz_seconds" || status=1
done < <(ctest --preset host -L fuzz --show-only=json-v1 | python3 -c '
import json, shlex, sys
for t in json.load(sys.stdin)["tests"]:
    print(" ".join(shlex.quote(a) for a in t["command"]))')

if [ "$status" = 0 ]; then echo "=== robustness runs passed"; else echo "=== some robustness runs FAILED"; fi
exit "$status"
