#!/usr/bin/env bash
# Sets up a fresh machine, builds both presets and runs every test:
# the portable code natively with sanitizers, the Windows binaries under Wine.
#
#   tools/test.sh [--no-setup] [--host-only | --windows-only]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

setup=1 host=1 windows=1
for a in "$@"; do
  case "$a" in
    --no-setup) setup=0 ;;
    --host-only) windows=0 ;;
    --windows-only) host=0 ;;
    *) echo "unknown option $a" >&2; exit 2 ;;
  esac
done

[ "$setup" = 1 ] && tools/setup.sh

status=0
run_preset() {
  local preset=$1
  echo "=== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  echo "=== $preset: tests"
  ctest --preset "$preset" || status=1
}

[ "$host" = 1 ] && run_preset host
if [ "$windows" = 1 ]; then
  trap 'tools/wine-run --prefix build/windows/wineprefix --stop || true' EXIT
  run_preset windows
fi

if [ "$status" = 0 ]; then echo "=== all tests passed"; else echo "=== some tests FAILED"; fi
exit "$status"
