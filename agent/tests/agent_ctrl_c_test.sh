#!/usr/bin/env bash
# Ctrl+C to the running agent (Wine turns a SIGINT into CTRL_C_EVENT): the
# process ends with exit code 0 and no service is joined or released; its
# first line of output names the data folder.
#
#   agent_ctrl_c_test.sh BIN_DIR WINE_PREFIX WINE_RUN
set -euo pipefail
bin=$1 prefix=$2 wine_run=$3

dir=$(mktemp -d "$bin/agent-ctrl-c.XXXXXX")
agent_pid=
cleanup() {
  [ -n "$agent_pid" ] && kill -KILL "$agent_pid" 2>/dev/null || true
  rm -rf "$dir"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; echo "--- trace" >&2; cat "$dir/trace.txt" >&2 || true; exit 1; }

cp "$bin"/zueventapp.exe "$bin"/libstdc++-6.dll "$bin"/libgcc_s_seh-1.dll "$bin"/libwinpthread-1.dll "$dir"/
cp "$bin"/agent-test-plugins/agent_fake_plugin.dll "$dir"/meetlamp.dll
cp "$bin"/agent-test-plugins/agent_fake_plugin.dll "$dir"/Veilpane.dll

# wine-run ends in `exec timeout ... wine`, which passes a SIGINT on to Wine.
"$wine_run" --prefix "$prefix" --timeout 60 "$dir/zueventapp.exe" >"$dir/out.txt" 2>/dev/null &
agent_pid=$!

# Both services running, and the window there: an event has reached them.
for _ in $(seq 150); do
  grep -q '^Veilpane Run' "$dir/trace.txt" 2>/dev/null && break
  sleep 0.1
done
grep -q '^Veilpane Run' "$dir/trace.txt" 2>/dev/null || fail "the services never ran"
"$wine_run" --prefix "$prefix" "$bin/simhotkey.exe" --wait 5000 --send firmware 0x61 >/dev/null ||
  fail "the agent's window never appeared"
grep -q '^Veilpane event 61' "$dir/trace.txt" || fail "the event did not reach the services"

kill -INT "$agent_pid"
rc=0
wait "$agent_pid" || rc=$?
agent_pid=

[ "$rc" -eq 0 ] || fail "exit code $rc after Ctrl+C, expected 0"
if grep -E ' (Join|Release)' "$dir/trace.txt"; then fail "services were taken down on Ctrl+C"; fi
first=$(head -n1 "$dir/out.txt" | tr -d '\r')
case "$first" in
  "GetAppDataPath: wsAppData= "*'\Orvale') ;;
  *) fail "first line of output: '$first'" ;;
esac
echo "agent ended by Ctrl+C with exit code 0, no Join or Release"
