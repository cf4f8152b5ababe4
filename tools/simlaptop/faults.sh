#!/usr/bin/env bash
# Faults a real laptop meets, each on the simulated laptop (notebook chassis,
# privacy panel and conference LED present) with the real service, agent and
# signed plug-ins installed in C:\Program Files\Orvale\TarnService:
#
#   service-killed  the service process dies while its agent runs and is
#                   started again: the session must then hold exactly one
#                   agent, and one FN_2 press must switch the panel once;
#                   also measures whether Wine's service manager restarts a
#                   killed service by itself
#   log-full        both log folders on a small file system that fills up
#   log-read-only   both log folders read-only
#                   (for both: agent and service keep running and driving the
#                   devices; once the folder can be written again, logging
#                   resumes in the same file after one line that gives the
#                   number of lines lost, which must match what was lost)
#
#   tools/simlaptop/faults.sh CASE [BUILD_DIR]      (default build/windows)
#
# Every case runs in a private mount namespace (tools/simlaptop/with-chassis),
# so the file systems it mounts over the log folders are seen by the Wine
# session it starts there and by nothing else. Needs root. The prefix,
# BUILD_DIR/faults/wineprefix, is made once and kept; each case starts its
# own session in it and leaves no service installed.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

if [ "${1:-}" != "--inside" ]; then
  case "${1:-}" in
    service-killed|log-full|log-read-only) ;;
    *) sed -n '2,22p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
  esac
  exec "$root/tools/simlaptop/with-chassis" 10 -- bash "${BASH_SOURCE[0]}" --inside "$@"
fi
shift
case_name=$1
build=$(cd "${2:-$root/build/windows}" && pwd)
bin=$build/bin
out=$build/faults
P=$out/wineprefix
user=$(id -un)
inst=$P/drive_c/Program\ Files/Orvale/TarnService
agent_logs=$P/drive_c/users/$user/AppData/Local/Orvale/TarnService
service_logs=$P/drive_c/windows/Log/TarnService
agent_log=$agent_logs/log.txt
service_log=$service_logs/log.txt

failures=0
. "$root/tools/simlaptop/script-kit.sh"


agents() { prefix_pids zueventapp.exe; }
service_pid() { prefix_pids zuservice.exe | head -1; }
count() { wc -w <<<"$*"; }
# CPU time (user + system) of a process in clock ticks.
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0; }

# Log records (a record may span lines: some messages end in a line break).
records() { grep -c '^\[20' "$1" 2>/dev/null || true; }

# "DEVS" requests the panel (0x0005001B) received, in order, as their values.
panel_devs() { simacpi history 2>/dev/null | tr -d '\r' | awk '$1 == "DEVS" && $5 == "0005001b" {print $6}'; }
led_devs() { simacpi history 2>/dev/null | tr -d '\r' | awk '$1 == "DEVS" && $5 == "00040019" {print $6}'; }
# Sent, so the key has been handled when this returns.
press() { wrun "$bin/simhotkey.exe" --wait 5000 --send firmware "$1" >/dev/null 2>&1; }

cleanup() {
  if [ -f "$inst/zuservice.exe" ]; then
    zuservice stop >/dev/null
    zuservice delete >/dev/null
  fi
  for p in $(agents); do kill -9 "$p" 2>/dev/null; done
  "$root/tools/wine-run" --prefix "$P" --stop >/dev/null 2>&1 || true
  umount -l "$agent_logs" 2>/dev/null; umount -l "$agent_logs" 2>/dev/null
  umount -l "$service_logs" 2>/dev/null; umount -l "$service_logs" 2>/dev/null
}

# A session of its own in this namespace, the device, the installed system.
setup() {
  step "The simulated laptop in $P (notebook chassis, panel and LED present)"
  mkdir -p "$out"
  "$root/tools/wine-run" --prefix "$P" --stop >/dev/null 2>&1 || true
  "$root/tools/wine-run" --prefix "$P" --init
  trap cleanup EXIT
  # Whatever an earlier, interrupted run left behind.
  if [ -f "$inst/zuservice.exe" ]; then zuservice stop >/dev/null; zuservice delete >/dev/null; fi
  for p in $(agents); do kill -9 "$p" 2>/dev/null; done
  rm -rf "$agent_logs" "$service_logs"
  WT=120 simacpi install >/dev/null
  simacpi reset >/dev/null
  simacpi status 0x0005001B 0x10000 >/dev/null
  simacpi status 0x00040019 0x10000 >/dev/null
  check "simulated ACPI control device running" device_running
  mkdir -p "$inst"
  cp "$bin"/{zuservice.exe,zueventapp.exe,libstdc++-6.dll,libgcc_s_seh-1.dll,libwinpthread-1.dll,glimmer.dll} "$inst/"
  cp "$bin"/{Veilpane.dll,meetlamp.dll} "$inst/"
  check "zuservice install" installed
}

installed() { [ "$(zuservice install | head -1)" = "Service installed successfully" ]; }
start_service() {
  local started
  started=$(zuservice start)
  check "zuservice start: $(tr '\n' ' ' <<<"$started")" grep -q "Service started successfully" <<<"$started"
}
in_service_lines() { count_in "$agent_log" "Veilpane: state change INIT -> IN_SERVICE"; }
at_least() { [ "$("$1")" -ge "$2" ]; }
# Waits until the agent log holds n lines saying Veilpane is in service.
wait_in_service() { wait_until 30 at_least in_service_lines "$1"; }
panel_devs_count() { panel_devs | wc -l; }
led_devs_count() { led_devs | wc -l; }
# Without a log, an agent is known to be up when the panel and the LED have
# had their start-up "DEVS" from it.
wait_agent_up() {  # wait_agent_up PANEL_DEVS_BEFORE LED_DEVS_BEFORE
  wait_until 30 at_least panel_devs_count $(($1 + 1)) && wait_until 30 at_least led_devs_count $(($2 + 1))
}

finish() {
  step "Files"
  cp "$agent_log" "$out/$case_name-agent-log.txt" 2>/dev/null
  cp "$service_log" "$out/$case_name-service-log.txt" 2>/dev/null
  note "agent log:   $out/$case_name-agent-log.txt"
  note "service log: $out/$case_name-service-log.txt"
  echo
  if [ $failures -eq 0 ]; then echo "faults $case_name: every step as expected"; else echo "faults $case_name: $failures step(s) FAILED"; fi
  [ $failures -eq 0 ]
}

case_service_killed() {
  step "The service starts its agent"
  start_service
  wait_until 20 test -n "$(agents)"
  check "Veilpane in service" wait_in_service 1
  local s1 a1; s1=$(service_pid) a1=$(agents)
  check "one service process ($s1) and one agent ($a1)" test "$(count $s1)" = 1 -a "$(count $a1)" = 1

  step "The service process is killed; its agent lives on"
  kill -9 "$s1"
  local t_kill=$SECONDS back="" state
  # Long enough for the agreed restart after 5 s, and the second one.
  while [ $((SECONDS - t_kill)) -lt 12 ]; do
    back=$(service_pid)
    [ -n "$back" ] && [ "$back" != "$s1" ] && break
    back=""; sleep 0.5
  done
  state=$(wrun sc query TarnService 2>/dev/null | tr -d '\r' | awk '/STATE/ {print $4}')
  check "the agent ($a1) outlives the service" test "$(agents)" = "$a1"
  if [ -n "$back" ]; then
    ok "the service manager restarted the service by itself (process $back, $((SECONDS - t_kill)) s after the kill)"
  else
    note "measured: the service manager did not restart the service within 12 s; it still reports it ${state:-?}"
    note "zuservice start now says: $(zuservice start | tr '\n' ' ')"
    note "zuservice stop now says: $(zuservice stop | tr '\n' ' ')"
    step "The service is started again by hand, after a restart of Wine's service manager"
    # Wine's service manager forgets a dead service process only when it is
    # restarted itself. On demand start, so that the new one does not start
    # TarnService before it has loaded the simulated device again (a real
    # boot loads drivers first); the device host dies with it.
    note "zuservice enable: $(zuservice enable)"
    for p in $(prefix_pids services.exe); do kill -9 "$p"; done
    check "the simulated device is back" wait_until 30 device_running
    start_service
    wait_until 20 test -n "$(service_pid)"
  fi
  local s2; s2=$(service_pid)
  check "a new service process runs ($s2)" test -n "$s2" -a "$s2" != "$s1"
  check "the new service ended the leftover agent and logged it" wait_until 20 log_has "$service_log" "Leftover ZuEventApp ended, pid= "
  note "service log: $(grep -F 'Leftover ZuEventApp' "$service_log" | tail -1 | sed 's/^.*ZuServiceBroker: //' | tr -d '\r')"
  check "and started its own" wait_until 20 at_least start_lines 2
  check "the new agent's Veilpane in service" wait_in_service 2

  step "Exactly one agent in the session, and it stays so"
  local a2 seen=1 t_end=$((SECONDS + 8))
  a2=$(agents)
  while [ $SECONDS -lt $t_end ]; do
    [ "$(agents)" = "$a2" ] || seen=0
    sleep 0.5
  done
  check "one agent (${a2//$'\n'/ }), not the leftover ($a1), for 8 s" test "$(count $a2)" = 1 -a "$a2" != "$a1" -a "$seen" = 1
  check "no agent death or restart logged by the new service" test "$(count_in "$service_log" "ZuEventApp is dead")" = 0

  step "One FN_2 press switches the panel exactly once"
  local before after
  before=$(panel_devs_count)
  press 0x62
  sleep 1
  after=$(panel_devs_count)
  note "panel \"DEVS\" history: $(panel_devs | tr '\n' ' ')"
  check "one more panel \"DEVS\" ($before -> $after), value $(panel_devs | tail -1)" test "$after" = $((before + 1))
  local mode; mode=$(wrun reg query 'HKCU\SOFTWARE\Orvale\TarnService\Veilpane' /v mode 2>/dev/null | tr -d '\r' | awk '/mode/ {print $3}')
  check "\"mode\" toggled to 0 (privacy view on): $mode" test "$((mode))" = 0

  step "zuservice stop ends the agent"
  zuservice stop | sed 's/^/           zuservice stop: /'
  check "no agent left" wait_until 10 test -z "$(agents)"
}
device_running() { simacpi show 2>/dev/null | grep -q 'running yes'; }
start_lines() { count_in "$service_log" "Start ZuEventApp successfully!"; }

case_log_full() { log_fault full; }
case_log_read_only() { log_fault read-only; }

# The lines one press of a hot key adds to the agent log.
lines_per_press() {
  local before; before=$(records "$agent_log")
  press "$1"
  sleep 1
  echo $(( $(records "$agent_log") - before ))
}
# Waits for a new agent other than $1; prints it.
new_agent() {
  local deadline=$((SECONDS + 15)) a
  while [ $SECONDS -lt $deadline ]; do
    a=$(agents)
    [ -n "$a" ] && [ "$a" != "$1" ] && { echo "$a"; return; }
    sleep 0.1
  done
}
# FN_2 once: true when the panel got exactly one more "DEVS", of the other value.
toggles_panel() {
  local before last
  before=$(panel_devs_count) last=$(panel_devs | tail -1)
  press 0x62 || return 1
  [ "$(panel_devs_count)" = $((before + 1)) ] && [ "$(panel_devs | tail -1)" != "$last" ]
}
# A line of the log that is not a whole record: a torn write.
# (Some messages end in a line break of their own, which leaves an empty line.)
torn_lines() { grep -c -v -E -e '^\[20[0-9-]+ [0-9:.]+\] \[TarnService\] \[[a-z]+\] ' -e $'^\r?$' "$1"; }
notice_of() { grep -F 'ZuLogger: ' "$1" | grep -F 'lines could not be written' | tail -1 | tr -d '\r'; }
notice_count() { notice_of "$1" | sed -n 's/.*ZuLogger: \([0-9]*\) lines.*/\1/p'; }
has_notice() { [ -n "$(notice_of "$1")" ]; }

# An earlier run's log of exactly $2 bytes in file $1, in whole records.
earlier_log() {
  python3 - "$1" "$2" <<'PY'
import sys
path, size = sys.argv[1], int(sys.argv[2])
head = "[2026-12-01 08:00:00.000] [TarnService] [info] earlier: "
lines, left = [], size
while left > 0:
    # Records of 200 bytes; the last two share what is left, none under 80.
    n = left if left <= 200 else 200 if left - 200 >= 80 else left - 80
    lines.append(head + "x" * (n - len(head) - 2) + "\r\n")
    left -= n
with open(path, "wb") as f:
    f.write("".join(lines).encode())
PY
}

log_fault() {
  local mode=$1 dir
  step "Before the fault: the service and its agent log as usual"
  start_service
  wait_until 20 test -n "$(agents)"
  check "Veilpane in service" wait_in_service 1
  sleep 2
  local start_block per_fn1 per_fn2
  start_block=$(records "$agent_log")
  per_fn1=$(lines_per_press 0x61)
  per_fn2=$(lines_per_press 0x62)
  note "an agent start writes $start_block log records; FN_1 writes $per_fn1, FN_2 $per_fn2"
  check "service log started ($(records "$service_log") records)" log_has "$service_log" "Start ZuEventApp successfully!"
  zuservice stop >/dev/null
  wait_until 10 test -z "$(agents)"

  if [ "$mode" = full ]; then
    step "The fault: both log folders on a small file system (tmpfs, 256 KiB) that is full"
    # Each log.txt ends 40 bytes short of a page: every line the programs
    # write then fits in part only, and none may stay torn in the file.
    for dir in "$agent_logs" "$service_logs"; do
      mount -t tmpfs -o size=256k,mode=0755 faultlog "$dir"
      earlier_log "$dir/log.txt" $((2 * 4096 - 40))
      dd if=/dev/zero of="$dir/filler" bs=4096 status=none 2>/dev/null
    done
    check "no space left on either (free: $(df --output=avail -B1 "$agent_logs" | tail -1 | tr -d ' ') and $(df --output=avail -B1 "$service_logs" | tail -1 | tr -d ' ') bytes)" \
      bash -c "! dd if=/dev/zero of='$agent_logs/probe' bs=4096 count=1 status=none 2>/dev/null && ! dd if=/dev/zero of='$service_logs/probe' bs=4096 count=1 status=none 2>/dev/null"
    rm -f "$agent_logs/probe" "$service_logs/probe"
  else
    step "The fault: both log folders read-only"
    for dir in "$agent_logs" "$service_logs"; do
      mount --bind "$dir" "$dir" && mount -o remount,bind,ro "$dir"
    done
    check "neither folder can be written" bash -c "! touch '$agent_logs/probe' 2>/dev/null && ! touch '$service_logs/probe' 2>/dev/null"
  fi
  local first_agent first_service agent_size service_size
  first_agent=$(head -1 "$agent_log") first_service=$(head -1 "$service_log")
  agent_size=$(stat -c %s "$agent_log") service_size=$(stat -c %s "$service_log")
  local panel0 led0; panel0=$(panel_devs_count) led0=$(led_devs_count)
  start_service
  check "the agent came up all the same" wait_agent_up "$panel0" "$led0"
  local lost_service=2  # the start's two lines

  step "During the fault: hot keys, a dead agent, the broker's restart"
  local s1 a1 a2; s1=$(service_pid) a1=$(agents)
  check "FN_2 switches the panel" toggles_panel
  check "FN_2 again switches it back" toggles_panel
  press 0x61; press 0x61
  local panel1 led1; panel1=$(panel_devs_count) led1=$(led_devs_count)
  kill -9 "$a1"
  a2=$(new_agent "$a1")
  check "the broker started a new agent ($a1 killed, ${a2:-none} started)" test -n "$a2"
  lost_service=$((lost_service + 5))  # dead, UnregisterWait, stop, path, started
  check "the new agent came up" wait_agent_up "$panel1" "$led1"
  sleep 2
  check "FN_2 switches the panel (new agent)" toggles_panel
  check "FN_2 again switches it back" toggles_panel
  local k; for k in 1 2 3; do press 0x61; done
  local lost_agent=$((start_block + 2 * per_fn2 + 3 * per_fn1))

  local ta ts
  ta=$(cpu_ticks "$a2") ts=$(cpu_ticks "$s1")
  sleep 5
  ta=$(( $(cpu_ticks "$a2") - ta )) ts=$(( $(cpu_ticks "$s1") - ts ))
  check "no busy loop: over 5 s idle the agent used $((ta * 10)) ms of CPU, the service $((ts * 10)) ms" \
    test "$ta" -lt 100 -a "$ts" -lt 100
  check "service ($s1) and agent ($a2) still running" test "$(service_pid)" = "$s1" -a "$(agents)" = "$a2"
  check "neither log file changed during the fault" \
    test "$(stat -c %s "$agent_log")" = "$agent_size" -a "$(stat -c %s "$service_log")" = "$service_size"

  if [ "$mode" = full ]; then
    step "Space returns"
    rm -f "$agent_logs/filler" "$service_logs/filler"
  else
    step "The folders can be written again"
    umount "$agent_logs"; umount "$service_logs"
  fi
  local fn1_line; fn1_line=$(records "$agent_log")
  press 0x61
  check "the agent logs again, first the count of lost lines: $(notice_of "$agent_log" | sed 's/^.*ZuLogger: //')" \
    wait_until 5 has_notice "$agent_log"
  check "$lost_agent agent lines were lost (start $start_block, 2 FN_2 x $per_fn2, 3 FN_1 x $per_fn1), as stated" \
    test "$(notice_count "$agent_log")" = "$lost_agent"
  check "the key's own line follows it" test "$(records "$agent_log")" = $((fn1_line + 1 + per_fn1))
  kill -9 "$a2"
  check "the service logs again, first the count of lost lines: $(sleep 0.5; notice_of "$service_log" | sed 's/^.*ZuLogger: //')" \
    wait_until 5 has_notice "$service_log"
  check "$lost_service service lines were lost, as stated" test "$(notice_count "$service_log")" = "$lost_service"
  check "the broker's death line follows it" wait_until 5 bash -c "grep -A1 -F 'lines could not be written' '$service_log' | grep -qF 'ZuEventApp is dead'"
  check "the same files go on (first lines unchanged)" \
    test "$(head -1 "$agent_log")" = "$first_agent" -a "$(head -1 "$service_log")" = "$first_service"
  check "no torn line in either file" test "$(torn_lines "$agent_log")" = 0 -a "$(torn_lines "$service_log")" = 0
  wait_until 15 test -n "$(new_agent "$a2")"

  step "zuservice stop ends the agent"
  zuservice stop | sed 's/^/           zuservice stop: /'
  check "no agent left" wait_until 10 test -z "$(agents)"
}

setup
"case_${case_name//-/_}"
finish
