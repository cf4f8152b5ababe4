#!/usr/bin/env bash
# Builds the signed Windows Installer package from the built binaries:
#
#   build-package.sh --version V --product-code GUID --wxs FILE --stage DIR
#                    --chain PEM --key PEM --setup-actions DLL --strip TOOL
#                    --out MSI -- FILE...
#
# 1. Every FILE is staged into DIR without its debug sections and signed with
#    CHAIN/KEY (a signature it carried is removed first: stripping would
#    break it). The set-up actions library is staged and signed the same way.
# 2. wixl builds the package from the WiX source and the staged files.
# 3. msibuild sets what wixl cannot author (see below), and the result is
#    read back to make sure it did.
# 4. The package itself is signed.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
sign=$here/../tools/signing/sign-file.sh

version= product_code= wxs= stage= chain= key= actions= strip= out=
while [ $# -gt 0 ]; do
  case "$1" in
    --version) version=$2; shift 2 ;;
    --product-code) product_code=$2; shift 2 ;;
    --wxs) wxs=$2; shift 2 ;;
    --stage) stage=$2; shift 2 ;;
    --chain) chain=$2; shift 2 ;;
    --key) key=$2; shift 2 ;;
    --setup-actions) actions=$2; shift 2 ;;
    --strip) strip=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    --) shift; break ;;
    *) echo "build-package.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
for v in version product_code wxs stage chain key actions strip out; do
  [ -n "${!v}" ] || { echo "build-package.sh: --${v//_/-} is missing" >&2; exit 2; }
done
[ $# -gt 0 ] || { echo "build-package.sh: no files to ship" >&2; exit 2; }

# stage_file SOURCE DEST
stage_file() {
  local tmp=$2.staging
  osslsigncode remove-signature -in "$1" -out "$tmp" >/dev/null 2>&1 || cp -f "$1" "$tmp"
  "$strip" --strip-debug "$tmp"
  "$sign" "$chain" "$key" "$tmp" "$2"
  rm -f "$tmp"
}

rm -rf "$stage"
mkdir -p "$stage" "$(dirname "$out")"
for f in "$@"; do
  stage_file "$f" "$stage/$(basename "$f")"
done
actions_staged=$stage.setup/$(basename "$actions")
rm -rf "$stage.setup"
mkdir -p "$stage.setup"
stage_file "$actions" "$actions_staged"

work=$out.building
rm -f "$work"
# wixl takes source files only by paths relative to where it runs.
(cd "$(dirname "$stage")" &&
  wixl -a x64 -D Version="$version" -D ProductCode="$product_code" -D StageDir="$(basename "$stage")" \
    -D SetupActions="$(basename "$stage").setup/$(basename "$actions")" -o "$work" "$wxs")

# wixl 0.101 has no Component/@Permanent, @NeverOverwrite or Condition,
# writes RegistryValue/@Type="expandable" as a plain string, and numbers
# actions placed After/Before others unreliably. So:
# - the machine settings component is permanent (kept at uninstall), never
#   overwrites a value that is there, and is installed only when the
#   settings search found nothing;
# - the event source's message file is an expandable string, as
#   "zuservice install" writes it;
# - the older version is removed right after InstallValidate, before this
#   one changes anything; the service's set-up follows InstallServices
#   (once file paths are known) and precedes StartServices.
field() {  # field TABLE KEY COLUMN_NUMBER
  msiinfo export "$work" "$1" | tr -d '\r' | awk -F'\t' -v k="$2" -v c="$3" 'NR > 3 && $1 == k { print $c }'
}
attributes=$(field Component MachineSettings 4)
[ -n "$attributes" ] || { echo "build-package.sh: no MachineSettings component in the package" >&2; exit 1; }
permanent=16 never_overwrite=128
attributes=$((attributes | permanent | never_overwrite))
validate=$(field InstallExecuteSequence InstallValidate 3)
services=$(field InstallExecuteSequence InstallServices 3)
sequence() { echo "UPDATE \`InstallExecuteSequence\` SET \`Sequence\` = $2 WHERE \`Action\` = '$1'"; }
msibuild "$work" \
  -q "UPDATE \`Component\` SET \`Attributes\` = $attributes, \`Condition\` = 'NOT ZU_MACHINE_SETTINGS_PRESENT' WHERE \`Component\` = 'MachineSettings'" \
  -q "UPDATE \`Registry\` SET \`Value\` = '#%[#zuservice.exe]' WHERE \`Name\` = 'EventMessageFile'" \
  -q "$(sequence RemoveExistingProducts $((validate + 1)))" \
  -q "$(sequence SetConfigureTarnServiceData $((services + 1)))" \
  -q "$(sequence ConfigureTarnService $((services + 2)))"

expect() {  # expect WHAT ACTUAL WANTED
  [ "$2" = "$3" ] || { echo "build-package.sh: $1 is '$2', not '$3'" >&2; exit 1; }
}
expect "the machine settings' attributes" "$(field Component MachineSettings 4)" "$attributes"
expect "the machine settings' condition" "$(field Component MachineSettings 5)" "NOT ZU_MACHINE_SETTINGS_PRESENT"
expect "the event source's message file" \
  "$(msiinfo export "$work" Registry | tr -d '\r' | awk -F'\t' '$4 == "EventMessageFile" { print $5 }')" '#%[#zuservice.exe]'
expect "RemoveExistingProducts' place" "$(field InstallExecuteSequence RemoveExistingProducts 3)" $((validate + 1))
expect "ConfigureTarnService's place" "$(field InstallExecuteSequence ConfigureTarnService 3)" $((services + 2))
[ $((services + 2)) -lt "$(field InstallExecuteSequence StartServices 3)" ] ||
  { echo "build-package.sh: no room between InstallServices and StartServices" >&2; exit 1; }

"$sign" "$chain" "$key" "$work" "$out"
rm -f "$work"
echo "package: $out ($(stat -c %s "$out") bytes)"
