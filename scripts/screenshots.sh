#!/usr/bin/env bash
# Takes the screenshots of the user guide: the main window and the status view of a real run under
# Xvfb, pinging a few loopback addresses, saved as docs/images/main-window.png and
# docs/images/status-view.png.
#
#   scripts/screenshots.sh [BUILD_DIR]     (default: build; the program is BUILD_DIR/sorvelo)
#
# The settings, hosts file and log of the run live in a temporary folder, so your own are never
# touched. The program takes the pictures itself (SORVELO_SCREENSHOT_DIR, see ui/program/startuphooks.h)
# and then quits in the normal way. Pinging needs root or ICMP sockets allowed for your group.
# Needs xvfb-run (Debian packages xvfb and xauth).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
program="$build/sorvelo"
[ -x "$program" ] || { echo "screenshots: $program not found; build first" >&2; exit 2; }
command -v xvfb-run >/dev/null || { echo "screenshots: xvfb-run is not installed" >&2; exit 2; }

source scripts/lib/testrun.sh
testrun_workdir
testrun_home "$work"
testrun_settings "$work" 1

# A handful of loopback addresses with counters as a longer run would have them. The pictures are
# taken after 21 seconds: the second pings-per-second figure is the first that counts only this run.
{
  testrun_host gateway 127.0.0.1 4 1520 3
  testrun_host fileserver 127.0.0.2 4 884 0
  testrun_host printer 127.0.0.3 4 301 12
  testrun_host nas 127.0.0.4 4 97 1
  testrun_host camera 127.0.0.5 4 12 0
} >"$work/hosts.cfg"

mkdir -p docs/images
rm -f docs/images/main-window.png docs/images/status-view.png
testrun_env "$work"
env "${testrun_vars[@]}" SORVELO_SCREENSHOT_DIR="$PWD/docs/images" SORVELO_SCREENSHOT_DELAY_MS=21000 \
  timeout 90 xvfb-run -a -s "-screen 0 1280x900x24" "$program"

for shot in main-window status-view; do
  [ -s "docs/images/$shot.png" ] || { echo "screenshots: $shot.png was not written" >&2; exit 1; }
done
echo "screenshots: docs/images/main-window.png docs/images/status-view.png"
