# The scenario's install step (sourced by scenario.sh, which provides the
# helpers step, check, bad, note, wrun, zuservice, now_ms, windows_path (from
# script-kit.sh), has_dll and the
# variables bin, inst, inst_win, out). Two ways:
#
# - by hand (default): the programs, the C++ runtime, glimmer.dll and the
#   signed plug-ins copied from the build into the install folder, then
#   "zuservice install" and "zuservice start";
# - ZU_SCENARIO_PACKAGE=<path of the .msi>: the Windows Installer package
#   installed silently by msiexec, with a verbose log, which registers and
#   starts the service. Reports the package's path, size and install time.

install_system() {
  if [ -n "${ZU_SCENARIO_PACKAGE:-}" ]; then
    install_by_package "$ZU_SCENARIO_PACKAGE"
  else
    install_by_hand
  fi
}

install_by_hand() {
  step "Install the signed plug-ins beside the service, zuservice install and start"
  mkdir -p "$inst"
  cp "$bin"/{zuservice.exe,zueventapp.exe,libstdc++-6.dll,libgcc_s_seh-1.dll,libwinpthread-1.dll,glimmer.dll} "$inst/"
  local installed=() dll started
  for dll in Veilpane.dll meetlamp.dll; do
    if has_dll "$dll"; then cp "$bin/$dll" "$inst/"; installed+=("$dll"); fi
  done
  note "installed in $inst_win: zuservice.exe zueventapp.exe glimmer.dll ${installed[*]}"
  zuservice install | sed 's/^/           zuservice install: /'
  started=$(zuservice start)
  sed 's/^/           zuservice start: /' <<<"$started"
  check "the service started" grep -q "Service started successfully" <<<"$started"
}


install_by_package() {
  local msi=$1 log=$out/msiexec-install.log size t0 rc elapsed state
  step "Install the signed package with msiexec /qn (silent), verbose log"
  if [ ! -f "$msi" ]; then
    bad "package $msi not found (cmake --build --preset windows builds it)"
    return
  fi
  size=$(stat -c %s "$msi")
  note "package: $msi"
  note "size:    $size bytes ($(awk -v s="$size" 'BEGIN { printf "%.1f", s / 1048576 }') MiB)"
  t0=$(now_ms)
  wrun msiexec /i "$(windows_path "$msi")" /qn /l*v "$(windows_path "$log")" >/dev/null 2>&1
  rc=$?
  elapsed=$(( $(now_ms) - t0 ))
  note "install: msiexec /i ... /qn took $elapsed ms (exit code $rc); log $log"
  check "the package installed (msiexec exit code 0)" test "$rc" = 0
  note "installed in $inst_win: $(cd "$inst" 2>/dev/null && echo *)"
  state=$(wrun sc query TarnService 2>/dev/null | tr -d '\r' | awk '/STATE/ {print $4}')
  check "the installer registered and started the service (state ${state:-none})" test "$state" = RUNNING
}
