#!/usr/bin/env bash
# Time to draw and present one pop-up frame at each layout band, under Wine.
#
#   tools/glimmer-art/frame-bench.sh [FRAMES_PER_BAND]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."

cmake --preset windows >/dev/null
nice cmake --build --preset windows --target glimmer_frame_bench >/dev/null
prefix=build/windows/wineprefix
trap 'tools/wine-run --prefix "$prefix" --stop || true' EXIT
tools/wine-run --prefix "$prefix" --timeout 600 build/windows/bin/glimmer_frame_bench.exe "$@"
