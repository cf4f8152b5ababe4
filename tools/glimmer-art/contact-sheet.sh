#!/usr/bin/env bash
# One contact sheet of the pop-up in every language: the privacy view on and
# the multi-presenter call, drawn by the real glimmer.dll under Wine, each
# pair labelled with its language, its dictionary and the caption check's
# verdict (missing glyphs, cut text, right-to-left order).
#
#   tools/glimmer-art/contact-sheet.sh [--dictionaries ID,ID,...] [OUT.png [WIDTH HEIGHT]]
#   default: all 33 dictionaries, build/windows/glimmer-contact-sheet.png,
#   on a 1920 x 1080 screen
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."

only=()
if [ "${1:-}" = --dictionaries ]; then only=(--dictionaries "$2"); shift 2; fi
out=${1:-build/windows/glimmer-contact-sheet.png}
shift || true

cmake --preset windows >/dev/null
nice cmake --build --preset windows --target glimmer_contact_sheet >/dev/null

mkdir -p "$(dirname "$out")"
abs=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")
prefix=build/windows/wineprefix
trap 'tools/wine-run --prefix "$prefix" --stop || true' EXIT
tools/wine-run --prefix "$prefix" --timeout 300 build/windows/bin/glimmer_contact_sheet.exe "${only[@]}" "Z:${abs//\//\\}" "$@"
echo "wrote $out"
