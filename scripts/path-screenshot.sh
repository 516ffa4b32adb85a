#!/usr/bin/env bash
# Takes the pictures of the Path window for the README: docs/images/path.png at the default font
# and docs/images/path-144dpi-dark.png at 144 DPI with a dark palette.
#
#   scripts/path-screenshot.sh [BUILD_DIR]   (default: build; needs BUILD_DIR/bench/pathwindow_bench)
#
# The window shows 26 hours of made-up rounds of a seven-hop path stored in a temporary results
# database (a router that limits its answers, a route change at hop 4, twenty minutes in which
# nothing behind hop 4 answered); no probe is sent. Each picture is taken on an Xvfb display of
# its own (xvfb-run -a picks a free one; Debian packages xvfb and xauth).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
shooter="$build/bench/pathwindow_bench"
[ -x "$shooter" ] || { echo "path-screenshot: $shooter not found; build first" >&2; exit 2; }
command -v xvfb-run >/dev/null || { echo "path-screenshot: xvfb-run is not installed" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p docs/images
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
timeout 120 xvfb-run -a -s "-screen 0 1600x1000x24" "$shooter" --shot docs/images/path.png
# 1366 x 768 at 144 DPI: the window keeps to what such a screen offers.
SORVELO_DARK=1 QT_FONT_DPI=144 timeout 120 xvfb-run -a -s "-screen 0 1366x768x24" \
  "$shooter" --shot docs/images/path-144dpi-dark.png
echo "path-screenshot: docs/images/path.png docs/images/path-144dpi-dark.png"
