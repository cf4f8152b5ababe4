#!/usr/bin/env bash
# The system's figures in one run on this machine, each beside its floor:
# what the smallest program doing the same thing costs under the same Wine
# prefix in the same run (bench/floor/). Prints each program's account
# (with the breakdowns of where time and memory go), then one table:
# figure, ours, floor, ratio, target.
#
#   bench/run-bench.sh [--presses N] [--idle-seconds N] [--starts N] [--deaths N]
#
# Figures: dispatch per firmware message to four services, a log line
# written and flushed, hot-key message to pop-up frame presented (median and
# 99th percentile), the agent's private memory and working set after start
# (four services UNKNOWN, and meetlamp and Veilpane in service), its idle
# CPU, service start to agent window, agent death to new agent window, the
# colour library's CCTAPI(1)+CCTAPI(2) (native), and the package's install
# time and size when build/windows/package holds the MSI.
#
# Builds what it needs (windows preset, and the colour benchmark natively)
# and uses Wine prefixes of its own with the simulated laptop
# (build/windows/bench/wineprefix; a fresh build/windows/bench/msi-prefix for
# the package).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
presses=200 idle=30 starts=5 deaths=5
while [ $# -gt 0 ]; do
  case "$1" in
    --presses) presses=$2; shift 2 ;;
    --idle-seconds) idle=$2; shift 2 ;;
    --starts) starts=$2; shift 2 ;;
    --deaths) deaths=$2; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done

build=$root/build/windows
bin=$build/bin
P=$build/bench/wineprefix
M=$build/bench/msi-prefix
inst=$P/drive_c/Program\ Files/Orvale/TarnService
work=$(mktemp -d)
figures=$work/figures   # "@ ours|floor key value" lines of every program

cmake --preset windows >/dev/null
nice cmake --build --preset windows --target agent_bench hotkey_bench service_bench zuservice zueventapp Veilpane \
  meetlamp glimmer simacpi simacpi_driver floor_window floor_dispatch floor_logline floor_frame floor_service \
  >/dev/null

wrun() { "$root/tools/wine-run" --prefix "$P" --timeout 600 "$@"; }
on_notebook() { "$root/tools/simlaptop/with-chassis" 10 -- "$root/tools/wine-run" --prefix "$P" --timeout 600 "$@"; }
stop_prefix() { "$root/tools/wine-run" --prefix "$1" --stop >/dev/null 2>&1 || true; }

# The load of the machine, sampled every 5 s while the benchmark runs.
loadlog=$work/load
( while :; do cut -d' ' -f1 /proc/loadavg >>"$loadlog"; sleep 5; done ) &
sampler=$!
cleanup() {
  kill "$sampler" 2>/dev/null || true
  stop_prefix "$P"
  stop_prefix "$M"
  rm -rf "$work"
}
trap cleanup EXIT

# Runs a program, shows its account and keeps its figures.
# A failed program's figures are missing from the table and the run ends
# non-zero, but the other figures are still taken.
failures=0
collect() {
  local out=$work/out
  if ! "$@" >"$out" 2>"$work/err"; then
    failures=$((failures + 1))
    echo "FAILED: $*"
    tr -d '\r' <"$work/err" | grep -v '^ALSA lib' | tail -20 || true
  fi
  tr -d '\r' <"$out" | grep '^@ ' >>"$figures" || true
  tr -d '\r' <"$out" | grep -v '^@ \|^Log settings\|StartOSD\|EndOSD' || true
}

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)
machine="$(nproc) cores, $cpu, $(awk '/MemTotal/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo),"
machine+=" $(/usr/lib/wine/wine64 --version 2>/dev/null)"
echo "Machine: $machine; load average at the start $(cut -d' ' -f1-3 /proc/loadavg)"
echo

# A notebook session with the privacy panel and the conference LED present.
stop_prefix "$P"
mkdir -p "$(dirname "$P")"
"$root/tools/simlaptop/with-chassis" 10 -- "$root/tools/wine-run" --prefix "$P" --init
"$root/tools/simlaptop/simacpi" --prefix "$P" --bin "$bin" install >/dev/null
"$root/tools/simlaptop/simacpi" --prefix "$P" --bin "$bin" status 0x0005001B 0x10000 >/dev/null
"$root/tools/simlaptop/simacpi" --prefix "$P" --bin "$bin" status 0x00040019 0x10000 >/dev/null
# No agent of an earlier run's service may run beside the measured ones.
remove_service() {
  wrun "$bin/zuservice.exe" stop >/dev/null 2>&1 || true
  wrun "$bin/zuservice.exe" delete >/dev/null 2>&1 || true
}
remove_service

echo "== Agent: memory and idle CPU beside the smallest windowed program; dispatch and log line"
collect on_notebook "$bin/agent_bench.exe" --idle-seconds "$idle"
collect wrun "$bin/floor_dispatch.exe"
collect wrun "$bin/floor_logline.exe"
echo
echo "== Hot key to pop-up (Veilpane.dll and the real glimmer.dll), in turn with a bare layered window"
half=$(( (presses + 1) / 2 ))
for round in 1 2; do
  collect on_notebook "$bin/hotkey_bench.exe" --presses "$half"
  read -r w h < <(awk '$2 == "ours" && $3 == "frame_size" {print $4, $5}' "$figures" | tail -1) || true
  collect wrun "$bin/floor_frame.exe" --size "${w:-220}" "${h:-221}" --presses "$half"
done
# The median and 99th percentile over both rounds' presses, of the whole
# path and of the pop-up's own part (from the panel set to the frame).
percentiles() {  # WHO SAMPLES_KEY FIGURE_KEY DESCRIPTION
  awk -v w="$1" -v k="$2" '$2 == w && $3 == k {for (i = 4; i <= NF; i++) print $i}' "$figures" | sort -g |
    awk -v w="$1" -v k="$3" -v what="$4" '{v[NR - 1] = $1} END {
      if (!NR) exit;
      p = int((NR * 99 + 99) / 100) - 1; if (p > NR - 1) p = NR - 1;
      printf "@ %s %s_median_ms %.3f\n@ %s %s_p99_ms %.3f\n", w, k, v[int(NR / 2)], w, k, v[p];
      printf "%s: %s over both rounds (%d presses): median %.2f ms, 99th percentile %.2f ms\n", w, what, NR,
        v[int(NR / 2)], v[p] > "/dev/stderr";
    }' 2>&1 >>"$figures"
}
percentiles ours frame_samples_ms frame "hot key to frame presented"
percentiles ours frame_own_samples_ms frame_own "panel set to frame presented"
percentiles floor frame_samples_ms frame "posted message to frame presented"
echo
echo "== Service and broker, in turn with the smallest service"
mkdir -p "$inst"
cp "$bin"/{zuservice.exe,zueventapp.exe,libstdc++-6.dll,libgcc_s_seh-1.dll,libwinpthread-1.dll,glimmer.dll} \
  "$bin"/{Veilpane.dll,meetlamp.dll} "$inst/"
wrun "$inst/zuservice.exe" install >/dev/null 2>&1 || true
collect wrun "$bin/service_bench.exe" --starts "$starts" --deaths "$deaths"
remove_service
stop_prefix "$P"
echo
echo "== Colour library (native)"
cct=$work/cct
libs/kelvara/colour/bench/run-bench.sh >"$cct" 2>&1 || true
grep -v '^\[' "$cct" || true
sed -n 's/^whole initialisation (CCTAPI(1) + CCTAPI(2)): \([0-9.]*\) ms median.*/@ ours cct_ms \1/p' "$cct" \
  >>"$figures"
echo
echo "== Package"
msi=$(ls "$build"/package/zu-agent-*-x64.msi 2>/dev/null | head -1 || true)
if [ -n "$msi" ]; then
  echo "$msi"
  awk -v b="$(stat -c %s "$msi")" 'BEGIN {printf "@ ours msi_size_mib %.2f\n", b / 1048576}' >>"$figures"
  stop_prefix "$M"
  rm -rf "$M"
  "$root/tools/wine-run" --prefix "$M" --init
  msilog=$build/bench/msi-install.log
  t0=$(date +%s.%N)
  if "$root/tools/wine-run" --prefix "$M" --timeout 600 msiexec /i "Z:${msi//\//\\}" /qn "/l*v" "Z:${msilog//\//\\}" \
      >/dev/null 2>&1 && tr -d '\0' <"$msilog" | grep -q 'INSTALL\. Return value 1\.'; then
    awk -v a="$t0" -v b="$(date +%s.%N)" 'BEGIN {printf "@ ours msi_install_s %.2f\n", b - a}' >>"$figures"
    echo "installed silently into a fresh prefix; log $msilog"
  else
    failures=$((failures + 1))
    echo "FAILED: msiexec did not install the package; log $msilog"
  fi
  stop_prefix "$M"
else
  echo "not built (no build/windows/package/zu-agent-*-x64.msi)"
fi
kill "$sampler" 2>/dev/null || true
echo

# ---------------------------------------------------------------------------
# The table.
fig() { awk -v w="$1" -v k="$2" '$2 == w && $3 == k {v = $4} END {if (v != "") print v}' "$figures"; }

# row LABEL KEY UNIT DIGITS TARGET [FLOOR_KEY]
#   TARGET: "x N" (at most N times the floor), "+ N" (at most the floor plus
#   N units), "= 0", "< N" (absolute), "-" (none).
row() {
  local label=$1 key=$2 unit=$3 digits=$4 target=$5 floorkey=${6:-$2}
  local ours floor
  ours=$(fig ours "$key")
  floor=$(fig floor "$floorkey")
  awk -v label="$label" -v o="$ours" -v f="$floor" -v unit="$unit" -v d="$digits" -v t="$target" 'BEGIN {
    fmt = "%." d "f";
    os = (o == "") ? "not measured" : sprintf(fmt " %s", o, unit);
    fs = (f == "") ? "-" : sprintf(fmt " %s", f, unit);
    ratio = (o != "" && f != "" && f + 0 > 0) ? sprintf("%.2f", o / f) : "-";
    split(t, p, " ");
    if (p[1] == "x") ts = "at most " p[2] "x floor";
    else if (p[1] == "+") ts = "at most floor + " p[2] " " unit;
    else if (p[1] == "=") ts = p[2] " " unit;
    else if (p[1] == "<") ts = "< " p[2] " " unit;
    else ts = "-";
    met = "-";
    if (o != "") {
      if (p[1] == "x" && f != "") met = (o <= p[2] * f) ? "yes" : "no";
      else if (p[1] == "+" && f != "") met = (o <= f + p[2]) ? "yes" : "no";
      else if (p[1] == "=") met = (o + 0 == p[2] + 0) ? "yes" : "no";
      else if (p[1] == "<") met = (o + 0 < p[2] + 0) ? "yes" : "no";
    }
    printf "| %s | %s | %s | %s | %s | %s |\n", label, os, fs, ratio, ts, met;
  }'
}

msi_row() {
  local key=$1 label=$2 unit=$3
  if [ -z "$msi" ]; then
    echo "| $label | not built | - | - | - | - |"
  else
    row "$label" "$key" "$unit" 2 "-"
  fi
}

load=$(sort -n "$loadlog" | awk '{v[NR] = $1; s += $1} END {if (NR) printf "%.2f-%.2f, mean %.2f", v[1], v[NR], s / NR}')
echo "Machine: $machine; load average (1 min) during the run $load"
echo
echo "| Figure | Ours | Floor | Ratio | Target | Met |"
echo "|---|---|---|---|---|---|"
row "Dispatch per firmware message to four services" dispatch_us us 2 "x 3"
row "Log line written and flushed" logline_us us 2 "x 3"
row "Hot-key message to pop-up frame presented, median" frame_median_ms ms 2 "x 2"
row "Hot-key message to pop-up frame presented, 99th percentile" frame_p99_ms ms 2 "x 2"
row "Of it, panel set to frame presented (the pop-up's part), median" frame_own_median_ms ms 2 "x 2" frame_median_ms
row "Of it, panel set to frame presented (the pop-up's part), 99th percentile" frame_own_p99_ms ms 2 "x 2" frame_p99_ms
row "Agent private memory after start, four services UNKNOWN" memory_mib MiB 1 "+ 8"
row "Agent private memory, meetlamp and Veilpane in service" memory_inservice_mib MiB 1 "+ 8" memory_mib
row "Agent working set after start, four services UNKNOWN" workingset_mib MiB 1 "-"
row "Agent working set, meetlamp and Veilpane in service" workingset_inservice_mib MiB 1 "-" workingset_mib
row "Agent idle CPU over ${idle} s, four services UNKNOWN" idle_ticks ticks 0 "= 0"
row "Agent idle CPU over ${idle} s, meetlamp and Veilpane in service" idle_inservice_ticks ticks 0 "= 0" idle_ticks
row "Service start to agent window" service_start_ms ms 0 "+ 100"
row "Agent death to new agent window (3000 ms broker delay)" restart_ms ms 0 "-"
row "CCTAPI(1)+CCTAPI(2), native" cct_ms ms 2 "< 5"
msi_row msi_install_s "Package install, msiexec /qn into a fresh prefix" s
msi_row msi_size_mib "Package size" MiB
[ "$failures" -eq 0 ] || { echo "$failures benchmark program(s) failed" >&2; exit 1; }
