#!/usr/bin/env bash
# The installer package's life on the simulated laptop, end to end:
#   1. version N+1 of the package built here (a second build tree with
#      ZU_VERSION raised by one);
#   2. version N installed with msiexec /qn and the whole scenario run on it;
#   3. upgrade to N+1: versions read back from the installed files, the
#      service and its agent restarted with the new binaries, the user's and
#      the machine's settings and the logs kept;
#   4. a downgrade to N refused with a clear message, nothing changed;
#   5. repair: a deleted and a corrupted file restored, the stopped service
#      running again;
#   6. the signature, publisher, version and manifest of every installed
#      binary, and the packages' own signatures;
#   7. uninstall: no service, installed file, folder, event source or
#      product entry left; the logs and the settings kept;
#   8. bad input: stray files in the install folder; a TarnService
#      registered by hand; another service holding the display name, so that
#      TarnService cannot be registered (a clear error, nothing installed).
# Prints an account and exits non-zero when an outcome was not seen.
#
#   packaging/tests/package_lifecycle.sh [BUILD_DIR]      (default build/windows)
#
# ZU_NEXT_PACKAGE=<.msi> takes that package as version N+1 instead of
# building it. Everything it leaves is under BUILD_DIR/package-test (the
# prefix, the msiexec logs) and BUILD_DIR/package-next (the N+1 build).
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=$(cd "${1:-$root/build/windows}" && pwd)
bin=$build/bin
out=$build/package-test
P=$out/wineprefix
inst_win='C:\Program Files\Orvale\TarnService'
orvale=$P/drive_c/Program\ Files/Orvale
inst=$orvale/TarnService
user=$(id -un)
agent_log=$P/drive_c/users/$user/AppData/Local/Orvale/TarnService/log.txt
service_log=$P/drive_c/windows/Log/TarnService/log.txt
deliverables=(zuservice.exe zueventapp.exe Veilpane.dll meetlamp.dll Tintora.dll Kelvara.dll glimmer.dll)

failures=0
. "$root/tools/simlaptop/script-kit.sh"
: "${WT:=120}"  # msiexec runs take longer than the kit's default
cache() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }

# The Linux process ids of this prefix's running agents.
agent_pids() { prefix_pids zueventapp.exe; }
agent_path() { tr '\0' ' ' <"/proc/$1/cmdline" 2>/dev/null; }
one_installed_agent() {
  local pids; pids=$(agent_pids)
  [ "$(wc -w <<<"$pids")" = 1 ] && agent_path "$pids" | grep -qF "$inst_win\\zueventapp.exe"
}

# msi NAME ARGS...: msiexec ARGS /qn with the verbose log $out/NAME.log;
# sets msi_rc (Wine hands on the low byte of the Windows code: 1603 is 67)
# and msi_ms.
msi() {
  local name=$1 t0; shift
  t0=$(now_ms)
  wrun msiexec "$@" /qn /l*v "$(windows_path "$out/$name.log")" >/dev/null 2>&1
  msi_rc=$?
  msi_ms=$(( $(now_ms) - t0 ))
  note "msiexec $1 ... /qn: exit code $msi_rc after $msi_ms ms (log $out/$name.log)"
}
service_state() { wrun sc query "${1:-TarnService}" 2>/dev/null | tr -d '\r' | awk '/STATE/ {print $4}'; }
reg_value() { wrun reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | awk -v n="$2" '$1 == n {print $3}'; }
reg_key_exists() { wrun reg query "$1" >/dev/null 2>&1; }
# What Windows reads from the installed files (installedfiles.exe), one line each.
facts() {
  local args=() f
  for f in "$@"; do args+=("$inst_win\\$f"); done
  wrun "$bin/installedfiles.exe" "${args[@]}" 2>/dev/null | tr -d '\r'
}
installed_names() { (cd "$inst" 2>/dev/null && ls); }
no_agent() { [ -z "$(agent_pids)" ]; }
event_source='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\TarnService'
no_event_source() { ! reg_key_exists "$event_source"; }
product_entry() {  # the Add/Remove Programs entry of version $1, if registered
  wrun reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null | tr -d '\r' |
    grep -F "DisplayVersion    REG_SZ    $1"
}
session() {  # a fresh session on a notebook; the auto-start service starts its agent
  "$root/tools/wine-run" --prefix "$P" --stop >/dev/null 2>&1
  "$root/tools/simlaptop/with-chassis" 10 -- "$root/tools/wine-run" --prefix "$P" --init
}
cleanup() { "$root/tools/wine-run" --prefix "$P" --stop >/dev/null 2>&1 || true; }
trap cleanup EXIT

version=$(cache ZU_VERSION)
IFS=. read -r major minor patch <<<"$version"
next=$major.$minor.$((patch + 1))
package=$build/package/zu-agent-$version-x64.msi
root_pem=$build/signing/root.pem  # the root the test prefix trusts

step "Version $next of the package (version $version is the build's)"
if [ -n "${ZU_NEXT_PACKAGE:-}" ]; then
  next_package=$ZU_NEXT_PACKAGE
  note "given: $next_package"
else
  next_build=$build/package-next
  mkdir -p "$next_build"
  t0=$(now_ms)
  {
    cmake -S "$root" -B "$next_build" -G "$(cache CMAKE_GENERATOR)" \
      -DCMAKE_TOOLCHAIN_FILE="$(cache CMAKE_TOOLCHAIN_FILE)" -DCMAKE_BUILD_TYPE="$(cache CMAKE_BUILD_TYPE)" \
      -DBUILD_TESTING=OFF -DZU_VERSION="$next" -DZU_PUBLISHER_THUMBPRINT="$(cache ZU_PUBLISHER_THUMBPRINT)" \
      -DZU_SIGNING_CHAIN="$(cache ZU_SIGNING_CHAIN)" -DZU_SIGNING_KEY="$(cache ZU_SIGNING_KEY)" &&
      cmake --build "$next_build" --target zu_package
  } >"$next_build/build.log" 2>&1
  next_package=$next_build/package/zu-agent-$next-x64.msi
  check "built with -DZU_VERSION=$next in $(( ($(now_ms) - t0) / 1000 )) s ($next_build/build.log)" test -f "$next_package"
fi
[ -f "$next_package" ] && [ -f "$package" ] || { echo "package_lifecycle: packages missing"; exit 1; }

step "Version $version installed with msiexec /qn, then the whole scenario on it"
ZU_SCENARIO_PACKAGE=$package ZU_SCENARIO_OUT=$out "$root/tools/simlaptop/scenario.sh" "$build" 2>&1 | sed 's/^/    | /'
check "the scenario saw every step on the installed package" test "${PIPESTATUS[0]}" = 0
# Wine's service manager keeps no failure actions (it answers the query with
# error 124), so the set-up action's own account is what can be checked.
setup_lines=$(tr -d '\r' <"$out/msiexec-install.log" | grep -F 'TarnService: ' | sort -u)
sed 's/^/           install log: /' <<<"$setup_lines"
check "the set-up action quoted the service's path and set its failure actions" \
  test "$(grep -cE 'binary path "C:\\Program Files\\Orvale\\TarnService\\zuservice.exe"|failure actions: restart after 5000 ms, restart after 5000 ms, then none; reset after 86400 s' <<<"$setup_lines")" = 2

step "Upgrade to $next: new binaries running, settings and logs kept"
session
wait_until 20 one_installed_agent
wrun reg add 'HKLM\SOFTWARE\Orvale\TarnService' /v debug /t REG_DWORD /d 1 /f >/dev/null 2>&1
wrun reg add 'HKLM\SOFTWARE\Orvale\TarnService' /v HotKeyCpuFan /t REG_DWORD /d 0x70 /f >/dev/null 2>&1
wrun reg add 'HKCU\SOFTWARE\Orvale\TarnService\ConfigLED' /v mode /t REG_DWORD /d 2 /f >/dev/null 2>&1
old_agent=$(agent_pids)
agent_first=$(head -1 "$agent_log") service_first=$(head -1 "$service_log")
agent_lines=$(wc -l <"$agent_log") starts=$(count_in "$service_log" "Start ZuEventApp successfully!")
windows=$(count_in "$agent_log" "ProductLine: 1")
msi upgrade /i "$(windows_path "$next_package")"
check "msiexec upgraded (exit code 0)" test "$msi_rc" = 0
versions=$(facts "${deliverables[@]}")
sed 's/^/           /' <<<"$versions"
check "every deliverable installed reads file and product version $next.0" \
  test "$(grep -c " version=$next.0 product=$next.0 " <<<"$versions")" = "${#deliverables[@]}"
check "one product registered, version $next" bash -c "[ -n \"\$1\" ] && [ -z \"\$2\" ]" _ \
  "$(product_entry "$next")" "$(product_entry "$version")"
check "the service is running again ($(service_state))" test "$(service_state)" = RUNNING
wait_until 20 bash -c "[ \$(grep -cF 'ProductLine: 1' '$agent_log') -gt $windows ]"
new_agent=$(agent_pids)
check "a new agent ($old_agent -> $new_agent) runs the installed zueventapp.exe and opened its window" \
  bash -c "[ '$old_agent' != '$new_agent' ] && [ \$(grep -cF 'ProductLine: 1' '$agent_log') -gt $windows ] &&
           [ \$(grep -cF 'Start ZuEventApp successfully!' '$service_log') -gt $starts ]"
check "one agent, from $inst_win" one_installed_agent
check "machine settings kept: \"debug\" $(reg_value 'HKLM\SOFTWARE\Orvale\TarnService' debug), \"HotKeyCpuFan\" $(reg_value 'HKLM\SOFTWARE\Orvale\TarnService' HotKeyCpuFan)" \
  test "$(reg_value 'HKLM\SOFTWARE\Orvale\TarnService' debug) $(reg_value 'HKLM\SOFTWARE\Orvale\TarnService' HotKeyCpuFan)" = "0x1 0x70"
check "user setting kept: the LED mode Off (2) the new agent read and wrote back: $(reg_value 'HKCU\SOFTWARE\Orvale\TarnService\ConfigLED' mode)" \
  test "$(reg_value 'HKCU\SOFTWARE\Orvale\TarnService\ConfigLED' mode)" = 0x2
check "the logs kept and continued ($agent_lines agent lines before, $(wc -l <"$agent_log") now)" \
  bash -c "[ \"\$(head -1 '$agent_log')\" = \"\$1\" ] && [ \"\$(head -1 '$service_log')\" = \"\$2\" ] &&
           [ \$(wc -l <'$agent_log') -gt $agent_lines ]" _ "$agent_first" "$service_first"

step "A downgrade to $version is refused"
msi downgrade /i "$(windows_path "$package")"
message=$(tr -d '\r' <"$out/downgrade.log" | grep -F "A newer version of TarnService")
note "log: $message"
check "msiexec failed (exit code $msi_rc, not 0) with a message naming version $next" \
  bash -c "[ '$msi_rc' != 0 ] && grep -qF '($next) is already installed' <<<\"\$1\"" _ "$message"
check "version $next still installed and running" \
  bash -c "grep -q ' version=$next.0 ' <<<\"\$1\" && [ '$(service_state)' = RUNNING ] && [ -n \"\$2\" ]" _ \
  "$(facts zuservice.exe)" "$(product_entry "$next")"

step "Repair: a deleted and a corrupted file, the service stopped"
wrun "$inst/zuservice.exe" stop >/dev/null 2>&1
wait_until 20 no_agent
rm -f "$inst/zueventapp.exe"
printf 'not a library' >"$inst/Veilpane.dll"
loads=$(count_in "$agent_log" "A certified check has been verified for the file Veilpane.dll.")
note "zueventapp.exe deleted, Veilpane.dll overwritten, service $(service_state)"
msi repair /i "$(windows_path "$next_package")" REINSTALL=ALL REINSTALLMODE=amus
check "msiexec repaired (exit code 0)" test "$msi_rc" = 0
restored=$(facts zueventapp.exe Veilpane.dll)
sed 's/^/           /' <<<"$restored"
check "both files restored, signed by the publisher, version $next.0" \
  test "$(grep -c " version=$next.0 .*signature=valid publisher=expected" <<<"$restored")" = 2
check "the service is running again ($(service_state))" test "$(service_state)" = RUNNING
check "its agent loaded the restored Veilpane.dll" wait_until 20 bash -c \
  "[ \$(grep -cF 'A certified check has been verified for the file Veilpane.dll.' '$agent_log') -gt $loads ]"

step "Every installed binary: signature, publisher, version, manifest"
all=$(facts $(installed_names))
sed 's/^/           /' <<<"$all"
check "$(wc -l <<<"$all") binaries, each with a valid signature of the expected publisher" \
  test "$(grep -c 'signature=valid publisher=expected' <<<"$all")" = "$(installed_names | wc -l)"
check "the two programs carry a manifest asking for asInvoker" \
  test "$(grep -cE '^zu(service|eventapp)\.exe .*manifest=asInvoker$' <<<"$all")" = 2
# Wine's check of an MSI signature does not look at the digest, so the
# packages are verified natively, and their signer compared with the
# certificate the build signs with.
chain=$(cache ZU_SIGNING_CHAIN)
publisher=$(openssl x509 -in "${chain:-$build/signing/publisher-chain.pem}" -noout -subject -nameopt compat | sed 's/^subject=//')
for m in "$package" "$next_package"; do
  verified=$(osslsigncode verify -CAfile "$root_pem" -in "$m" 2>&1)
  signer=$(awk '/Signer.s certificate:/ { f = 1 } f && /Subject:/ { sub(/.*Subject: /, ""); print; exit }' <<<"$verified")
  check "$(basename "$m"): signature valid, signed by $signer" \
    test "$(grep -cx 'Succeeded' <<<"$verified")" = 1 -a "$signer" = "$publisher"
done

step "Uninstall"
msi uninstall /x "$(windows_path "$next_package")"
check "msiexec removed the product (exit code 0)" test "$msi_rc" = 0
check "no service TarnService" test -z "$(service_state)"
check "no agent running" wait_until 10 no_agent
check "no installed file or folder (C:\\Program Files\\Orvale is gone)" test ! -e "$orvale"
check "no event-log source" no_event_source
check "no product entry" test -z "$(product_entry "$next")"
check "kept: the agent's and the service's logs" test -s "$agent_log" -a -s "$service_log"
check "kept: the user's settings (LED mode $(reg_value 'HKCU\SOFTWARE\Orvale\TarnService\ConfigLED' mode))" \
  test "$(reg_value 'HKCU\SOFTWARE\Orvale\TarnService\ConfigLED' mode)" = 0x2
check "kept: the machine's settings (\"debug\" $(reg_value 'HKLM\SOFTWARE\Orvale\TarnService' debug))" \
  test "$(reg_value 'HKLM\SOFTWARE\Orvale\TarnService' debug)" = 0x1

step "Bad input: stray files in the install folder"
mkdir -p "$inst"
printf 'notes of the last owner\r\n' >"$inst/notes.txt"
printf 'a broken leftover' >"$inst/zueventapp.exe"
msi stray-install /i "$(windows_path "$next_package")"
check "msiexec installed (exit code 0)" test "$msi_rc" = 0
check "the leftover zueventapp.exe replaced by the package's: $(facts zueventapp.exe)" \
  bash -c "grep -q ' version=$next.0 .*signature=valid publisher=expected' <<<\"\$1\"" _ "$(facts zueventapp.exe)"
check "the foreign notes.txt left as it was" grep -qx $'notes of the last owner\r' "$inst/notes.txt"
check "one agent running, from $inst_win" wait_until 20 one_installed_agent
msi stray-uninstall /x "$(windows_path "$next_package")"
check "uninstall removed everything it installed; only notes.txt is left ($(installed_names | tr '\n' ' '))" \
  bash -c "[ '$msi_rc' = 0 ] && [ \"\$(cd \"\$0\" && ls)\" = notes.txt ]" "$inst"
rm -rf "$orvale"

step "Bad input: TarnService already registered by hand (files copied, zuservice install, start)"
mkdir -p "$inst"
cp "$bin"/{zuservice.exe,zueventapp.exe,libstdc++-6.dll,libgcc_s_seh-1.dll,libwinpthread-1.dll,glimmer.dll,Veilpane.dll,meetlamp.dll} "$inst/"
hand=$(wrun "$inst/zuservice.exe" install 2>/dev/null | tr -d '\r'; wrun "$inst/zuservice.exe" start 2>/dev/null | tr -d '\r')
sed 's/^/           by hand: /' <<<"$hand"
wait_until 20 one_installed_agent
hand_query=$(wrun "$inst/zuservice.exe" query 2>/dev/null | tr -d '\r')
hand_source=$(wrun reg query "$event_source" 2>/dev/null | tr -d '\r')
msi hand-install /i "$(windows_path "$next_package")"
check "msiexec installed over it (exit code 0)" test "$msi_rc" = 0
pkg_query=$(wrun "$inst/zuservice.exe" query 2>/dev/null | tr -d '\r')
sed 's/^/           /' <<<"$pkg_query"
check "the service is configured exactly as zuservice install made it" test "$pkg_query" = "$hand_query"
check "the event source is registered exactly as zuservice install made it" \
  test "$(wrun reg query "$event_source" 2>/dev/null | tr -d '\r')" = "$hand_source"
all=$(facts $(installed_names))
sed 's/^/           /' <<<"$all"
check "the hand-copied files replaced by the package's (signed, version $next.0 where versioned)" \
  test "$(grep -c 'signature=valid publisher=expected' <<<"$all")" = "$(installed_names | wc -l)" -a \
       "$(grep -c "^zuservice.exe version=$next.0 " <<<"$all")" = 1
check "the service running ($(service_state)) with one agent, from $inst_win" \
  test "$(service_state)" = RUNNING -a -n "$(wait_until 20 one_installed_agent && echo yes)"
msi hand-uninstall /x "$(windows_path "$next_package")"
check "uninstall leaves no service and no folder" bash -c "[ '$msi_rc' = 0 ] && [ -z '$(service_state)' ] && [ ! -e \"\$0\" ]" "$orvale"

step "Bad input: another service already holds the display name TarnService"
wrun sc create TarnLegacy binpath= 'C:\windows\system32\notepad.exe' displayname= TarnService >/dev/null 2>&1
msi conflict /i "$(windows_path "$next_package")"
message=$(tr -d '\r' <"$out/conflict.log" | grep -F "could not be registered")
note "log: $message"
check "msiexec failed (exit code $msi_rc, not 0), naming the service that holds the name" \
  bash -c "[ '$msi_rc' != 0 ] && grep -qF 'already used by the service \"TarnLegacy\"' <<<\"\$1\"" _ "$message"
check "nothing installed: no TarnService, no folder, no event source, no product entry" \
  test -z "$(service_state)" -a ! -e "$orvale" -a -z "$(product_entry "$next")" -a -n "$(no_event_source && echo yes)"
check "the other service is untouched ($(service_state TarnLegacy))" test "$(service_state TarnLegacy)" = STOPPED
wrun sc delete TarnLegacy >/dev/null 2>&1

echo
if [ $failures -eq 0 ]; then echo "package lifecycle: every step as expected"; else echo "package lifecycle: $failures step(s) FAILED"; fi
[ $failures -eq 0 ]
