#!/usr/bin/env bash
# Signs a PE file in place with an Authenticode signature (SHA-256 file digest):
#
#   sign-file.sh CHAIN_PEM KEY_PEM FILE [OUT]
#
# CHAIN_PEM holds the signing certificate first, then its issuers. Without
# OUT the file itself is replaced by its signed form. The signing time is
# fixed so that the same input always gives the same output.
set -euo pipefail
chain=$1 key=$2 in=$3 out=${4:-$3}
tmp=$out.signing.$$
trap 'rm -f "$tmp"' EXIT
osslsigncode sign -certs "$chain" -key "$key" -h sha256 -time 1704067200 \
  -in "$in" -out "$tmp" >/dev/null
mv -f "$tmp" "$out"
