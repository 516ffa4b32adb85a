#!/usr/bin/env bash
# Takes the screenshots of the Timeline view and of a history window following live for the README
# and the user guide, at the default font and at 144 DPI with a dark palette:
# docs/images/timeline.png, docs/images/timeline-144dpi-dark.png, docs/images/history-live.png and
# docs/images/history-live-144dpi-dark.png.
#
#   scripts/timeline-screenshots.sh [BUILD_DIR]   (default: build; needs BUILD_DIR/sorvelo and
#                                                  BUILD_DIR/bench/historywindow_bench; run as root)
#
# Each run is real: 20 hosts on loopback addresses, pinged by the program inside a private network
# namespace of its own (unshare -n, with only lo up), where an nft rule drops the echo requests to
# one address, so that host shows an outage. No other address is ever pinged. Pinging is stopped
# for 40 seconds through SORVELO_SCREENSHOT_PAUSE_MS, which leaves a "not monitored" span. The two
# runs go side by side on Xvfb displays 91 and 92 and take about two and a half minutes. Settings,
# hosts file and history live in a temporary folder (scripts/lib/testrun.sh); the history
# database is filled with a synthetic stretch first, so the history window has more to show than
# the live minutes. Needs xvfb-run (Debian packages xvfb and xauth), unshare and nft.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
program="$build/sorvelo"
filler="$build/bench/historywindow_bench"
for needed in "$program" "$filler"; do
  [ -x "$needed" ] || { echo "timeline-screenshots: $needed not found; build first" >&2; exit 2; }
done
for tool in xvfb-run unshare nft ip; do
  command -v "$tool" >/dev/null || { echo "timeline-screenshots: $tool is not installed" >&2; exit 2; }
done
[ "$(id -u)" = 0 ] || { echo "timeline-screenshots: needs root (a private network namespace)" >&2; exit 2; }

source scripts/lib/testrun.sh
testrun_workdir

names=(gateway fileserver printer nas camera switch-1 switch-2 backup mail web
       dns-1 dns-2 vpn wiki build-1 build-2 phone-1 phone-2 ups storage)
silent=127.0.0.8  # "backup": its echo requests are dropped inside the namespace
hosts=()
for i in "${!names[@]}"; do hosts+=("${names[$i]}=127.0.0.$((i + 1))"); done

delay_ms=${SHOT_DELAY_MS:-130000}
pause_ms=${SHOT_PAUSE_MS:-40000,40000}

# One run in DIR on display NUMBER; further arguments are environment settings for the program.
shoot() {
  local dir=$1 display=$2
  shift 2
  testrun_home "$dir"
  testrun_settings "$dir" 1 $'[overview]\ngeometry='
  local entry
  for entry in "${hosts[@]}"; do testrun_host "${entry%%=*}" "${entry#*=}" 1 0 0; done >"$dir/hosts.cfg"
  # A synthetic 2.4 hours at one echo every 5 seconds, ending now; the live run continues it.
  QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$dir/runtime" \
    "$filler" --fill "$dir/history.sqlite" 0.1 5 "${hosts[@]}"
  testrun_env "$dir"
  # The namespace is private to this command: lo is its only interface, and the rule goes with it.
  unshare -n bash -c '
    set -e
    ip link set lo up
    nft add table inet sc
    nft add chain inet sc input "{ type filter hook input priority 0; }"
    nft add rule inet sc input ip daddr '"$silent"' icmp type echo-request drop
    exec "$@"' shoot \
    env "${testrun_vars[@]}" SORVELO_MESSAGES_TO_STDERR=1 SORVELO_VIEWS_SCREENSHOT_DIR="$dir/shots" \
    SORVELO_SCREENSHOT_DELAY_MS="$delay_ms" SORVELO_SCREENSHOT_PAUSE_MS="$pause_ms" \
    SORVELO_SCREENSHOT_HISTORY_HOUR=1 SORVELO_SCREENSHOT_TIMELINE_5MIN=1 "$@" \
    timeout "${SHOT_TIMEOUT:-240}" xvfb-run -n "$display" -s "-screen 0 1600x1000x24" "$program" \
    >"$dir/run.log" 2>&1
}

mkdir -p "$work/plain" "$work/dark"
shoot "$work/plain" 91 &
plain=$!
shoot "$work/dark" 92 QT_FONT_DPI=144 SORVELO_DARK=1 &
dark=$!
failed=0
wait "$plain" || failed=1
wait "$dark" || failed=1

mkdir -p docs/images
copy() {  # run folder, picture taken, name in docs/images
  if [ -s "$1/shots/$2" ]; then
    cp "$1/shots/$2" "docs/images/$3"
  else
    echo "timeline-screenshots: $3 was not written; the run's log:" >&2
    cat "$1/run.log" >&2
    failed=1
  fi
}
copy "$work/plain" timeline.png timeline.png
copy "$work/plain" history.png history-live.png
copy "$work/dark" timeline.png timeline-144dpi-dark.png
copy "$work/dark" history.png history-live-144dpi-dark.png
[ "$failed" = 0 ] || exit 1
echo "timeline-screenshots: docs/images/timeline.png docs/images/timeline-144dpi-dark.png" \
  "docs/images/history-live.png docs/images/history-live-144dpi-dark.png"
