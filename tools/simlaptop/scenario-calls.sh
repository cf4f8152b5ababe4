# The main job's conference calls, sourced by scenario.sh: calls made by
# simcall in processes of their own, on the Core Audio stand-in, followed by
# the real service, agent and meetlamp.dll. Uses scenario.sh's helpers
# (step, check, note, bad, wrun, simacpi, simhotkey, wait_until, log_has)
# and its variables (root, bin, P, agent_log).
#
#   calls_prepare   before the service starts: the stand-in registered in
#                   the prefix for the device enumerator's class
#   calls_run       while the agent runs, its LED mode Auto: the calls

# A call's process keeps simcall's standard error open (Wine hands every
# child its parent's), so only standard output is read here.
calls_simcall() {
  ZU_WINE_TIMEOUT=60 "$root/tools/simlaptop/simcall" --prefix "$P" --bin "$bin" "$@" 2>>"$out/simcall-errors.txt" |
    tr -d '\r'
}
calls_led() { simacpi devs 0x00040019 2>/dev/null | tr -d '\r' | awk '{print $3}'; }
calls_led_is() { [ "$(calls_led)" = "$1" ]; }
# calls_expect_led VALUE WHAT: the LED device ends at VALUE (waited for, bounded).
calls_expect_led() {
  wait_until 5 calls_led_is "$1"
  local v; v=$(calls_led)
  check "$2: LED device value $v" test "$v" = "$1"
}
calls_pid() { sed -n 's/.*process \([0-9]*\).*/\1/p' <<<"$1"; }

calls_prepare() {
  if [ ! -f "$bin/simaudio/simaudio.dll" ] || [ ! -f "$bin/simcall.exe" ]; then
    bad "the Core Audio stand-in (bin/simaudio/simaudio.dll) or simcall.exe is not built"
    return
  fi
  local said
  said=$(calls_simcall register)
  check "Core Audio stand-in registered for the device enumerator's class ($said)" grep -q "^reset:" <<<"$said"
}

calls_run() {
  step "Calls in other processes, through the Core Audio stand-in, turn the LED on and off (mode Auto)"
  check "the monitor watches the stand-in's microphone (\"Numbers of capture endpoints: 1\")" \
    log_has "$agent_log" "Numbers of capture endpoints: 1"
  local said pid1 pid2 t0 t1 line
  said=$(calls_simcall start call1)
  pid1=$(calls_pid "$said")
  note "simcall: $said"
  calls_expect_led 1 "a call starts in process $pid1"
  check "the agent logged \"audio state changed: PID($pid1), new state = active\"" \
    log_has "$agent_log" "audio state changed: PID($pid1), new state = active"

  simhotkey --send message WM_WTSSESSION_CHANGE 7 1 >/dev/null
  calls_expect_led 0 "the session is locked during the call"
  simhotkey --send message WM_WTSSESSION_CHANGE 8 1 >/dev/null
  calls_expect_led 1 "unlocked, the call going on"

  t0=$(now_ms)
  said=$(calls_simcall add-headset)
  note "simcall: $said"
  wait_until 5 log_has "$agent_log" "OnDeviceAddedBottom, DeviceID = {0.0.1.00000000}"
  t1=$(now_ms)
  line=$(grep -F "OnDeviceAddedBottom, DeviceID = {0.0.1.00000000}" "$agent_log" | tail -1 | sed 's/.*AudioSessionMonitor: //' | tr -d '\r')
  check "a headset plugged in during the call is watched from the next heartbeat (${line:-no line}, $((t1 - t0)) ms)" \
    test -n "$line"
  said=$(calls_simcall start call2 --endpoint headset)
  pid2=$(calls_pid "$said")
  note "simcall: $said"
  check "a call on the headset (process $pid2) is reported: \"PID($pid2) created a new audio session\"" \
    wait_until 5 log_has "$agent_log" "PID($pid2) created a new audio session"
  calls_simcall end call1 >/dev/null
  calls_expect_led 1 "the first call ends while the headset's goes on"
  calls_simcall end call2 >/dev/null
  calls_expect_led 0 "the headset's call ends"
  calls_simcall remove-headset >/dev/null
  said=$(calls_simcall check)
  check "the stand-in saw no client misuse (${said%%$'\n'*})" grep -qx "violations 0" <<<"$said"
}
