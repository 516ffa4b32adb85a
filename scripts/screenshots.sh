#!/usr/bin/env bash
# Takes the screenshots of the user guide: the main window and the status view of a real run under
# Xvfb, pinging a few loopback addresses, saved as docs/images/main-window.png and
# docs/images/status-view.png.
#
#   scripts/screenshots.sh [BUILD_DIR]     (default: build; the program is BUILD_DIR/sorvelo)
#
# The settings, hosts file and log of the run live in a temporary folder, so your own are never
# touched. The program takes the pictures itself (SORVELO_SCREENSHOT_DIR, see ui/startuphooks.h)
# and then quits in the normal way. Pinging needs root or ICMP sockets allowed for your group.
# Needs xvfb-run (Debian packages xvfb and xauth).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
program="$build/sorvelo"
[ -x "$program" ] || { echo "screenshots: $program not found; build first" >&2; exit 2; }
command -v xvfb-run >/dev/null || { echo "screenshots: xvfb-run is not installed" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/config/Sorvelo" "$work/data" "$work/runtime"
chmod 700 "$work/runtime"

cat >"$work/config/Sorvelo/Sorvelo.conf" <<CONF
[logging]
general_log_enabled=1
host_log_enabled=1
general_log_filename=$work/general_log.txt
[hosts]
hosts_file_name=$work/hosts.cfg
[pinging]
ping_speed=1
auto_startup=1
[general]
firsttime=0
logtimestampinterval=60
checkversion=1
CONF

# A handful of loopback addresses with counters as a longer run would have them. The pictures are
# taken after 21 seconds: the second pings-per-second figure is the first that counts only this run.
host_block() {  # calling name, address, succeeded, failed
  printf 'NEW_HOST_START $$@@$$ \r\nHOSTCALLINGNAME %%STRING%% %s\r\nHOSTNAME %%STRING%% %s\r\n' "$1" "$2"
  printf 'HOSTIPADDRESS %%STRING%% %s\r\nTIMEOUT %%INTEGER%% 2000\r\nINTERVAL %%INTEGER%% 4\r\n' "$2"
  printf 'SUCCEEDEDCOUNT %%INTEGER%% %s\r\nFAILEDCOUNT %%INTEGER%% %s\r\nNEW_HOST_END $$@@$$ \r\n' "$3" "$4"
}
{
  host_block gateway 127.0.0.1 1520 3
  host_block fileserver 127.0.0.2 884 0
  host_block printer 127.0.0.3 301 12
  host_block nas 127.0.0.4 97 1
  host_block camera 127.0.0.5 12 0
} >"$work/hosts.cfg"

mkdir -p docs/images
rm -f docs/images/main-window.png docs/images/status-view.png
XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/runtime" \
  SORVELO_SCREENSHOT_DIR="$PWD/docs/images" SORVELO_SCREENSHOT_DELAY_MS=21000 \
  timeout 90 xvfb-run -a -s "-screen 0 1280x900x24" "$program"

for shot in main-window status-view; do
  [ -s "docs/images/$shot.png" ] || { echo "screenshots: $shot.png was not written" >&2; exit 1; }
done
echo "screenshots: docs/images/main-window.png docs/images/status-view.png"
