# Shared by the simulated-laptop scripts (scenario.sh, faults.sh, the
# package's lifecycle test): the account they print, the prefix's Wine
# runner and tools, waiting, and log and process lookups. Sourced; the
# functions read the caller's variables at call time: root (the source
# tree), P (the prefix), bin (the build's bin folder), inst (the install
# folder) and failures (the count of outcomes not seen).

step() { printf '\n== %s\n' "$*"; }
ok() { printf '   ok      %s\n' "$*"; }
bad() { printf '   FAILED  %s\n' "$*"; failures=$((failures + 1)); }
note() { printf '           %s\n' "$*"; }
check() { local what=$1; shift; if "$@"; then ok "$what"; else bad "$what"; fi; }

# Every Wine command is bounded: WT seconds, 60 unless the caller sets it.
wrun() { "$root/tools/wine-run" --prefix "$P" --timeout "${WT:-60}" "$@"; }
simacpi() { "$root/tools/simlaptop/simacpi" --prefix "$P" --bin "$bin" "$@"; }
zuservice() { wrun "$inst/zuservice.exe" "$@" 2>/dev/null | tr -d '\r'; }

wait_until() {  # wait_until SECONDS COMMAND...
  local deadline=$((SECONDS + $1)); shift
  until "$@"; do [ $SECONDS -lt $deadline ] || return 1; sleep 0.1; done
}
now_ms() { date +%s%3N; }
# The Windows path of a Linux file (Wine maps / to Z:).
windows_path() { local p; p=$(readlink -f "$1"); echo "Z:${p//\//\\}"; }
log_has() { grep -qF -- "$2" "$1" 2>/dev/null; }
count_in() { grep -cF -- "$2" "$1" 2>/dev/null || true; }

# Linux process ids of this prefix's live processes whose command line is
# exactly the given program (so "zuservice.exe stop" is not the service).
prefix_pids() {
  local f p cmd
  for f in /proc/[0-9]*/cmdline; do
    p=${f%/cmdline}
    cmd=$(tr '\0' ' ' 2>/dev/null <"$f") || continue
    cmd=${cmd%"${cmd##*[! ]}"}
    [[ $cmd == *"\\$1" ]] || continue
    tr '\0' '\n' 2>/dev/null <"$p/environ" | grep -qx "WINEPREFIX=$P" || continue
    grep -qs '^State:.*Z' "$p/status" && continue
    echo "${p#/proc/}"
  done
}
