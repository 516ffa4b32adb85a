#!/usr/bin/env bash
# The program on a real X server (Xvfb, no window manager): every caption is exactly the one given
# (X11 would show an application display name after it), and the tray icon docks in a system tray
# that starts only after the program, as when Sorvelo starts from its autostart entry before the
# panel.
#   x11_desktop_test.sh SORVELO X11PROBE
set -euo pipefail
program=$1
probe=$2
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; [ -f "$work/out" ] && cat "$work/out" >&2; exit 1; }

# Xvfb picks a free display and writes its number to the descriptor given.
exec 3>"$work/display"
Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=:$(head -n 1 "$work/display")

mkdir -p "$work/config/Sorvelo" "$work/data" "$work/runtime"
chmod 0700 "$work/runtime"
printf '[general]\nfirsttime=0\ncheckversion=1\n[hosts]\nhosts_file_name=%s\n[logging]\ngeneral_log_filename=%s\n' \
  "$work/hosts.cfg" "$work/log.txt" >"$work/config/Sorvelo/Sorvelo.conf"
XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/runtime \
  QT_QPA_PLATFORM=xcb SORVELO_MESSAGES_TO_STDERR=1 "$program" >"$work/out" 2>&1 &
sorvelo=$!
pids+=("$sorvelo")

# The main window is activated at start and retitled from its design caption "Tolvo".
names=""
for _ in $(seq 100); do
  names=$("$probe" names)
  grep -q 'Sorvelo' <<<"$names" && ! grep -q 'Tolvo' <<<"$names" && break
  sleep 0.1
done
if grep -q 'Tolvo' <<<"$names"; then fail "the main window was never activated: [$names]"; fi
grep -qx 'Sorvelo' <<<"$names" || fail "no window captioned exactly Sorvelo: [$names]"
if grep -q 'release' <<<"$names"; then fail "a caption carries the application title: [$names]"; fi

# A tray appears now; the icon asks to be docked there within a few seconds.
docked=$("$probe" tray 8000) || fail "the tray icon never asked a late tray to dock it"
echo "captions: [$(tr '\n' '|' <<<"$names")]; $docked"

kill -TERM "$sorvelo"
for _ in $(seq 150); do kill -0 "$sorvelo" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$sorvelo" 2>/dev/null; then fail "program did not end on SIGTERM"; fi

# A window opened after the first activation (the status view, through the screenshot hook, which
# then closes the program) is captioned exactly as well.
XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/runtime \
  QT_QPA_PLATFORM=xcb SORVELO_MESSAGES_TO_STDERR=1 SORVELO_SCREENSHOT_DIR=$work/shots \
  SORVELO_SCREENSHOT_DELAY_MS=300 "$program" >"$work/out" 2>&1 &
sorvelo=$!
pids+=("$sorvelo")
for _ in $(seq 100); do
  names=$("$probe" names)
  grep -q 'Ping status' <<<"$names" && break
  sleep 0.1
done
grep -qx 'Ping status' <<<"$names" || fail "no window captioned exactly Ping status: [$names]"
if grep -q 'release' <<<"$names"; then fail "a caption carries the application title: [$names]"; fi
echo "captions later: [$(tr '\n' '|' <<<"$names")]"
for _ in $(seq 100); do kill -0 "$sorvelo" 2>/dev/null || break; sleep 0.1; done
