#!/usr/bin/env bash
# Screenshot of the pop-up, taken from the frame glimmer.dll pushes to its
# layered window (under Wine, headless). Writes OUT.png (the pop-up over a
# plain desktop background) and OUT-frame.png (the frame with its
# transparency).
#
#   tools/glimmer-art/screenshot.sh [OUT [KIND VALUE [WIDTH HEIGHT]]]
#   default: build/windows/glimmer-popup, privacy view on (kind 4 value 0), 1920 x 1080
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."

out=${1:-build/windows/glimmer-popup}
shift || true
args=("$@")
[ "${#args[@]}" -ge 2 ] || args=(4 0)

cmake --preset windows >/dev/null
nice cmake --build --preset windows --target glimmer_popup_snapshot >/dev/null

mkdir -p "$(dirname "$out")"
abs=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")
prefix=build/windows/wineprefix
trap 'tools/wine-run --prefix "$prefix" --stop || true' EXIT
tools/wine-run --prefix "$prefix" --timeout 120 build/windows/bin/glimmer_popup_snapshot.exe "Z:${abs//\//\\}" "${args[@]}"
echo "wrote $out.png and $out-frame.png"
