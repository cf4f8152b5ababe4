#!/usr/bin/env bash
# Builds the colour benchmark natively with optimisation and no sanitizers
# (build/bench-kelvara) and runs it; prints the figures.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../../../.."
build=build/bench-kelvara
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=g++ -DCMAKE_C_COMPILER=gcc \
  -DZU_SANITIZE=OFF -DBUILD_TESTING=OFF >/dev/null
nice cmake --build "$build" --target kelvara_colour_bench
"$build/bin/kelvara_colour_bench"
