#!/usr/bin/env bash
# Installs the Debian packages Sorvelo needs to build and test, when they are missing.
# As root it runs apt-get itself; otherwise it prints the one command to run and stops.
# Only what the build and the tests use is installed (no recommended packages), and a service that
# a package would enable or start (prometheus ships one; the tests only run its binary) is left
# disabled and stopped, unless it was enabled before.
set -euo pipefail

packages=(g++ cmake ninja-build file dpkg-dev lintian
          qt6-base-dev qt6-qpa-plugins libqt6sql6-sqlite libgtest-dev libgmock-dev libbenchmark-dev
          prometheus-cpp-dev zlib1g-dev prometheus
          iproute2 nftables xvfb xauth fping util-linux procps dbus
          desktop-file-utils appstream groff-base libxcb1-dev)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Sorvelo needs these Debian packages. Run:"
  echo "  sudo apt-get update && sudo apt-get install -y --no-install-recommends ${missing[*]}"
  exit 1
fi

# Which services are enabled now: the links that systemctl enable (or deb-systemd-helper) makes.
enabled_services() {
  find /etc/systemd/system -path '*.wants/*.service' -type l 2>/dev/null |
    sed -e 's|.*/||' -e 's/\.service$//' | sort -u
}
before=$(enabled_services)

# Packages may not start services while they install (see invoke-rc.d(8)); an existing policy of
# the machine's own is kept as it is.
policy=/usr/sbin/policy-rc.d
own_policy=0
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\n# Written by Sorvelo set-up while it installs packages.\nexit 101\n' >"$policy"
  chmod 0755 "$policy"
  own_policy=1
fi
trap 'if [ "$own_policy" = 1 ]; then rm -f "$policy"; fi' EXIT

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends "${missing[@]}"

# Services the install enabled (and that were not enabled before) are disabled and, should one
# have started after all, stopped. Without a running systemd (a container, a chroot) the links are
# removed the way package scripts make them, and a boot script of the same name is disabled too.
for service in $(comm -13 <(echo "$before") <(enabled_services)); do
  echo "Disabling $service.service, which the install enabled (the tests only run its program)"
  if [ -d /run/systemd/system ]; then
    systemctl disable --now "$service.service" || true
  else
    deb-systemd-helper disable "$service.service" || true
    if [ -x "/etc/init.d/$service" ]; then update-rc.d "$service" disable >/dev/null 2>&1 || true; fi
  fi
done
