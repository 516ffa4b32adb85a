#!/usr/bin/env bash
# Makes docs/images/notification.png: the alerts send a real desktop notification over a private
# D-Bus bus to a notification service of the test program's own, which draws what it received.
#
#   scripts/alerts-screenshot.sh [BUILD_DIR]     (default: build; needs BUILD_DIR/tests/tests_alerts)
#
# Runs under Xvfb so the picture has real fonts. Needs xvfb-run (Debian packages xvfb and xauth)
# and dbus-daemon (package dbus).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
tests="$build/tests/tests_alerts"
[ -x "$tests" ] || { echo "alerts-screenshot: $tests not found; build first" >&2; exit 2; }
for tool in xvfb-run dbus-daemon; do
  command -v "$tool" >/dev/null || { echo "alerts-screenshot: $tool is not installed" >&2; exit 2; }
done

mkdir -p docs/images
rm -f docs/images/notification.png
SORVELO_SCREENSHOT_DIR="$PWD/docs/images" QT_QPA_PLATFORM=xcb \
  timeout 60 xvfb-run -a -s "-screen 0 1280x900x24" \
  "$tests" --gtest_filter='AlertScreenshot.*' >/dev/null
[ -s docs/images/notification.png ] || { echo "alerts-screenshot: no picture was made" >&2; exit 1; }
echo "docs/images/notification.png"
