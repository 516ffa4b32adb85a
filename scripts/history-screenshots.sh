#!/usr/bin/env bash
# Takes the screenshots of the overview and of a history window for the README and the user guide:
# a real run under Xvfb pinging a few loopback addresses, after a synthetic day of echoes has been
# written into the history database (so the history picture has something to show). Saved as
# docs/images/overview.png, docs/images/history.png and docs/images/outages.png.
#
#   scripts/history-screenshots.sh [BUILD_DIR]   (default: build; needs BUILD_DIR/sorvelo and
#                                                 BUILD_DIR/bench/historywindow_bench)
#
# The settings, hosts file, history database and log of the run live in a temporary folder, so your
# own are never touched. The program takes the pictures itself (SORVELO_VIEWS_SCREENSHOT_DIR, see
# ui/program/startuphooks.h) and then quits in the normal way. Pinging needs root or ICMP sockets allowed
# for your group. Needs xvfb-run (Debian packages xvfb and xauth).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
program="$build/sorvelo"
filler="$build/bench/historywindow_bench"
for needed in "$program" "$filler"; do
  [ -x "$needed" ] || { echo "history-screenshots: $needed not found; build first" >&2; exit 2; }
done
command -v xvfb-run >/dev/null || { echo "history-screenshots: xvfb-run is not installed" >&2; exit 2; }

source scripts/lib/testrun.sh
testrun_workdir
testrun_home "$work"
testrun_settings "$work" 1 $'[overview]\ngeometry='

hosts=(gateway=127.0.0.1 fileserver=127.0.0.2 printer=127.0.0.3 nas=127.0.0.4 camera=127.0.0.5)
for entry in "${hosts[@]}"; do testrun_host "${entry%%=*}" "${entry#*=}" 1 0 0; done >"$work/hosts.cfg"

# A synthetic day: an echo every 5 seconds per host, ending now (the live run continues it).
QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/runtime" \
  "$filler" --fill "$work/history.sqlite" 1 5 "${hosts[@]}"

mkdir -p docs/images
rm -f docs/images/overview.png docs/images/history.png docs/images/outages.png
# 40 seconds of live echoes: about ten per host at the program's fastest pace.
testrun_env "$work"
env "${testrun_vars[@]}" SORVELO_MESSAGES_TO_STDERR=1 SORVELO_VIEWS_SCREENSHOT_DIR="$PWD/docs/images" SORVELO_SCREENSHOT_DELAY_MS=${SHOT_DELAY_MS:-40000} \
  timeout "${SHOT_TIMEOUT:-120}" xvfb-run -a -s "-screen 0 1280x900x24" "$program"

for shot in overview history outages; do
  [ -s "docs/images/$shot.png" ] || { echo "history-screenshots: $shot.png was not written" >&2; exit 1; }
done
echo "history-screenshots: docs/images/overview.png docs/images/history.png docs/images/outages.png"
