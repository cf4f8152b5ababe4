#!/usr/bin/env bash
# The main job: sets up the machine, builds the Windows deliverables and their
# installer package, installs the package with msiexec on a simulated laptop
# under Wine and runs the agent system there, printing an account of what
# happened.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

[ "${1:-}" = "--no-setup" ] || tools/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows

version=$(sed -n 's/^ZU_VERSION:[A-Z]*=//p' build/windows/CMakeCache.txt)
package=$PWD/build/windows/package/zu-agent-$version-x64.msi
if [ -x tools/simlaptop/scenario.sh ]; then
  ZU_SCENARIO_PACKAGE=$package exec tools/simlaptop/scenario.sh build/windows
fi

echo "The simulated-laptop scenario is not built yet; deliverables present:"
for f in zuservice.exe zueventapp.exe Veilpane.dll meetlamp.dll Tintora.dll Kelvara.dll glimmer.dll; do
  if [ -e "build/windows/bin/$f" ]; then echo "  $f"; fi
done
