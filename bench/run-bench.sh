#!/usr/bin/env bash
# The system's figures, in one run on this machine: hot-key message to pop-up
# frame presented, dispatch cost per event, agent idle CPU and private memory,
# service start to agent window, agent death to new agent window, the colour
# library's CCTAPI(1)+CCTAPI(2) time, and the cost of a log line with its flush.
#
#   bench/run-bench.sh [--presses N] [--idle-seconds N] [--deaths N]
#
# Builds what it needs (windows preset, and the colour benchmark natively)
# and uses a Wine prefix of its own with the simulated laptop
# (build/windows/bench/wineprefix).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
presses=200 idle=30 deaths=5
while [ $# -gt 0 ]; do
  case "$1" in
    --presses) presses=$2; shift 2 ;;
    --idle-seconds) idle=$2; shift 2 ;;
    --deaths) deaths=$2; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done

build=$root/build/windows
bin=$build/bin
P=$build/bench/wineprefix
inst=$P/drive_c/Program\ Files/Orvale/TarnService

cmake --preset windows >/dev/null
nice cmake --build --preset windows --target agent_bench hotkey_bench service_bench zuservice zueventapp Veilpane \
  glimmer simacpi simacpi_driver >/dev/null

wrun() { "$root/tools/wine-run" --prefix "$P" --timeout 600 "$@"; }
stop_prefix() { "$root/tools/wine-run" --prefix "$P" --stop >/dev/null 2>&1 || true; }
trap stop_prefix EXIT

echo "Machine: $(nproc) cores, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)," \
  "$(awk '/MemTotal/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo), $(/usr/lib/wine/wine64 --version 2>/dev/null)," \
  "load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo

# A notebook session with the privacy panel present.
stop_prefix
mkdir -p "$(dirname "$P")"
"$root/tools/simlaptop/with-chassis" 10 -- "$root/tools/wine-run" --prefix "$P" --init
"$root/tools/simlaptop/simacpi" --prefix "$P" --bin "$bin" install >/dev/null
"$root/tools/simlaptop/simacpi" --prefix "$P" --bin "$bin" status 0x0005001B 0x10000 >/dev/null

echo "== Agent (dispatch through the real window procedure, log line, idle, memory)"
wrun "$bin/agent_bench.exe" --idle-seconds "$idle" | tr -d '\r' | grep -v '^Log settings'
echo
echo "== Hot key to pop-up (Veilpane.dll and the real glimmer.dll)"
"$root/tools/simlaptop/with-chassis" 10 -- "$root/tools/wine-run" --prefix "$P" --timeout 600 \
  "$bin/hotkey_bench.exe" --presses "$presses" | tr -d '\r' | grep -v '^Log settings\|StartOSD\|EndOSD'
echo
echo "== Service and broker"
mkdir -p "$inst"
cp "$bin"/{zuservice.exe,zueventapp.exe,libstdc++-6.dll,libgcc_s_seh-1.dll,libwinpthread-1.dll,glimmer.dll,Veilpane.dll} \
  "$inst/"
wrun "$inst/zuservice.exe" install >/dev/null 2>&1 || true
wrun "$inst/zuservice.exe" stop >/dev/null 2>&1 || true
wrun "$bin/service_bench.exe" --deaths "$deaths" | tr -d '\r'
echo
echo "== Colour library"
libs/kelvara/colour/bench/run-bench.sh 2>&1 | grep -v '^\[' || true
