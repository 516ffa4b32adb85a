#!/usr/bin/env bash
# Checks that a fresh Debian 12 system has all it needs: makes a minimal root (debootstrap,
# variant minbase) in a folder, copies a clean clone of this repository's current commit into it,
# and runs ./test there and then a build of ./run (sorvelo --version), with /proc, /sys and /dev
# mounted. Afterwards no service may be enabled in that root that debootstrap did not enable.
# Needs root, debootstrap and the network to the Debian mirror; takes a long time (it installs
# the build packages and builds everything). Not part of the tests.
#   scripts/fresh-root-check.sh [FOLDER]     (default: a new folder under /var/tmp; kept afterwards
#                                             when KEEP=1; MIRROR names another Debian mirror)
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
root=${1:-$(mktemp -d /var/tmp/sorvelo-fresh-root.XXXXXX)}
# mktemp makes its folder 0700; as "/" of the new system that would keep every ordinary user (the
# tests run the program as nobody) from the system's libraries.
chmod 0755 "$root"
mirror=${MIRROR:-http://deb.debian.org/debian}

[ "$(id -u)" -eq 0 ] || { echo "fresh-root-check: needs root" >&2; exit 1; }
command -v debootstrap >/dev/null ||
  { echo "fresh-root-check: needs debootstrap (apt-get install debootstrap)" >&2; exit 1; }

mounted=()
cleanup() {
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount -l "${mounted[i]}" 2>/dev/null || true; done
  if [ "${KEEP:-0}" != 1 ]; then rm -rf --one-file-system "$root"; fi
}
trap cleanup EXIT
mount_into() { mkdir -p "$root$2"; mount "${@:3}" "$1" "$root$2"; mounted+=("$root$2"); }

step() { echo "=== $(date -u +%H:%M:%S) $*"; }

step "debootstrap --variant=minbase bookworm into $root"
debootstrap --variant=minbase bookworm "$root" "$mirror"
cp /etc/resolv.conf "$root/etc/resolv.conf"
enabled_services() { find "$root/etc/systemd/system" -path '*.wants/*.service' -type l | sort; }
services_before=$(enabled_services)

step "clean clone of $(git -C "$source_dir" rev-parse --short HEAD)"
git clone --quiet --no-local "$source_dir" "$root/root/sorvelo"
git -C "$root/root/sorvelo" checkout --quiet --detach "$(git -C "$source_dir" rev-parse HEAD)"

# The root a mount point of its own, so that tests may unshare mounts inside it (unshare changes
# the propagation of "/", which fails on a plain folder).
mount --bind "$root" "$root"
mounted+=("$root")
mount_into proc /proc -t proc
mount_into sysfs /sys -t sysfs
mount_into /dev /dev --rbind
mount_into tmpfs /run -t tmpfs

in_root() { chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 "$@"; }

step "./test"
in_root bash -c 'cd /root/sorvelo && ./test'
step "./run --version"
in_root bash -c 'cd /root/sorvelo && QT_QPA_PLATFORM=offscreen ./run --version'

added=$(comm -13 <(echo "$services_before") <(enabled_services))
if [ -n "$added" ]; then
  echo "fresh-root-check: the set-up left services enabled:" >&2
  echo "$added" >&2
  exit 1
fi
step "passed: ./test and ./run on a fresh Debian 12 minbase root, no service left enabled"
