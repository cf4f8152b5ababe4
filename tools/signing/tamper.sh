#!/usr/bin/env bash
# Makes a copy of a signed file with one byte changed inside the signed image,
# as an attacker patching a released plug-in would:
#
#   tamper.sh IN OUT MARK
#
# MARK is an ASCII string the module carries (a constant in its data); its
# last character is replaced. Fails when MARK is not found exactly once.
set -euo pipefail
in=$1 out=$2 mark=$3
offsets=$(grep -obUaF -- "$mark" "$in" | cut -d: -f1)
count=$(printf '%s\n' "$offsets" | grep -c . || true)
[ "$count" = 1 ] || { echo "tamper.sh: '$mark' found $count times in $in" >&2; exit 1; }
cp -f "$in" "$out.tmp.$$"
printf '#' | dd of="$out.tmp.$$" bs=1 seek=$((offsets + ${#mark} - 1)) conv=notrunc status=none
mv -f "$out.tmp.$$" "$out"
