#!/usr/bin/env bash
# Installs everything the build, the tests and the main job need on a fresh
# Debian 12 machine. Safe to run again: packages already present are skipped.
#
#   tools/setup.sh [--fuzz]
#
# --fuzz also installs clang and its libFuzzer runtime for the optional
# `fuzz` preset; the two commands of README.md do not need them.
set -euo pipefail

fuzz=0
for a in "$@"; do
  case "$a" in
    --fuzz) fuzz=1 ;;
    *) echo "unknown option $a" >&2; exit 2 ;;
  esac
done

packages=(
  cmake ninja-build make g++ pkg-config
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64
  mingw-w64-x86-64-dev
  wine64
  googletest libgtest-dev libgmock-dev
  libspdlog-dev libfmt-dev
  osslsigncode openssl
  wixl msitools
  python3
  fonts-dejavu-core fonts-noto-ui-core fonts-noto-cjk
  util-linux mount
)
[ "$fuzz" = 1 ] && packages+=(clang libclang-rt-14-dev)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -q
  "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The posix-thread flavour of the cross compiler is the one whose libstdc++
# has std::thread and std::mutex; make sure the alternatives point at it.
for tool in x86_64-w64-mingw32-g++ x86_64-w64-mingw32-gcc; do
  if update-alternatives --list "$tool" >/dev/null 2>&1; then
    target=$(update-alternatives --list "$tool" | grep posix | head -n1 || true)
    if [ -n "$target" ] && [ "$(id -u)" -eq 0 ]; then
      update-alternatives --set "$tool" "$target" >/dev/null
    fi
  fi
done

echo "setup: all packages present"
