#!/usr/bin/env bash
# Installs the Debian packages Sorvelo needs to build and test, when they are missing.
# As root it runs apt-get itself; otherwise it prints the one command to run and stops.
set -euo pipefail

packages=(g++ cmake ninja-build qt6-base-dev libgtest-dev libgmock-dev libbenchmark-dev
          iproute2 nftables xvfb xauth fping util-linux
          libqt6sql6-sqlite prometheus-cpp-dev prometheus desktop-file-utils appstream dbus
          dpkg-dev groff-base libxcb1-dev)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
else
  echo "Sorvelo needs these Debian packages. Run:"
  echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}"
  exit 1
fi
