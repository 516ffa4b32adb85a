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

# Which services are enabled now: links that systemctl enable and update-rc.d make.
enabled_services() {
  find /etc/systemd/system /etc/rc[0-6S].d -type l 2>/dev/null |
    sed -e 's|.*/||' -e 's/^[SK][0-9][0-9]//' -e 's/\.service$//' | sort -u
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
trap '[ "$own_policy" = 1 ] && rm -f "$policy"' EXIT

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends "${missing[@]}"

# Services the install enabled (and that were not enabled before) are disabled and, should one
# have started after all, stopped.
for service in $(comm -13 <(echo "$before") <(enabled_services)); do
  case $service in *.target|*.socket|*.timer|*.path|*.wants|*.requires) continue ;; esac
  echo "Disabling the service $service that the install enabled (the tests only run its program)"
  if [ -d /run/systemd/system ]; then
    systemctl disable --now "$service.service" || true
  else
    systemctl disable "$service.service" 2>/dev/null || true
    command -v update-rc.d >/dev/null && update-rc.d -f "$service" remove >/dev/null 2>&1 || true
    [ -x "/etc/init.d/$service" ] && "/etc/init.d/$service" stop >/dev/null 2>&1 || true
  fi
done
