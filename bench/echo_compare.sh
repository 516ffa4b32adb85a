#!/usr/bin/env bash
# The whole program's echo cost next to fping's, side by side in one run: the program pings HOSTS
# loopback hosts (127.0.0.1 ...) at "Awesome!" with interval 4 s for SECONDS, offscreen, in a private
# network namespace; then fping sends the same echoes to the same hosts at the same even pace (one
# echo every 1000/rate ms, -i) and once more at its burst pace (-i 1), one run after the other so
# they never compete for the CPU.
#
#   bench/echo_compare.sh [SECONDS [HOSTS [BUILD_DIR]]]
#     SECONDS    measured time (default 30, 5 to 600)
#     HOSTS      hosts to ping, 1 to 255 (default 255)
#     BUILD_DIR  where sorvelo was built (default build)
#   SORVELO_OPEN_STATUS_VIEW=1 keeps the status view open during the run.
#
# Prints one line per run: echoes per second, CPU seconds per 1,000 echoes (user plus system time of
# the whole process), the program's CPU share and its largest resident size.
#
# Traffic goes to 127.0.0.0/8 only. Needs root (private namespace, ICMP sockets).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
hosts=${2:-255}
build=${3:-build}
program="$build/sorvelo"
warmup=6  # every host has had its first echo
if ! [[ $seconds =~ ^[0-9]+$ ]] || (( seconds < 5 || seconds > 600 )); then
  echo "echo_compare: SECONDS must be a whole number from 5 to 600 (got '$seconds')" >&2
  exit 2
fi
if ! [[ $hosts =~ ^[0-9]+$ ]] || (( hosts < 1 || hosts > 255 )); then
  echo "echo_compare: HOSTS must be a whole number from 1 to 255 (got '$hosts')" >&2
  exit 2
fi
[ -x "$program" ] || { echo "echo_compare: $program not found; build first" >&2; exit 2; }
if [ "$(id -u)" -ne 0 ] || ! command -v unshare >/dev/null; then
  echo "echo_compare: needs root and unshare (the program runs in a private network namespace)" >&2
  exit 2
fi

work=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/config/Sorvelo" "$work/data" "$work/rt"
chmod 700 "$work/rt"
for i in $(seq 1 "$hosts"); do
  printf 'NEW_HOST_START $$@@$$ \r\nHOSTCALLINGNAME %%STRING%% loop%s\r\n' "$i"
  printf 'HOSTNAME %%STRING%% 127.0.0.%s\r\nHOSTIPADDRESS %%STRING%% 127.0.0.%s\r\n' "$i" "$i"
  printf 'TIMEOUT %%INTEGER%% 2000\r\nINTERVAL %%INTEGER%% 4\r\nNEW_HOST_END $$@@$$ \r\n'
done >"$work/hosts.cfg"
cat >"$work/config/Sorvelo/Sorvelo.conf" <<CONF
[logging]
general_log_enabled=1
host_log_enabled=1
general_log_filename=$work/general_log.txt
[hosts]
hosts_file_name=$work/hosts.cfg
[pinging]
ping_speed=0
auto_startup=1
[general]
firsttime=0
logtimestampinterval=60
checkversion=0
CONF

source bench/lib/processmeasure.sh

# unshare and sh both exec: $! is the program itself.
XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/rt" \
  QT_QPA_PLATFORM=offscreen SORVELO_MESSAGES_TO_STDERR=1 \
  SORVELO_OPEN_STATUS_VIEW=${SORVELO_OPEN_STATUS_VIEW:-0} \
  unshare --net -- sh -c 'ip link set lo up && exec "$0"' "$program" >/dev/null 2>&1 &
pid=$!
sleep "$warmup"
measure_window "$pid" "$seconds"
stop_program

read -r rate per_1000 cpu_pct < <(awk -v e="$((end_echoes - start_echoes))" -v t0="$start_ns" \
    -v t1="$end_ns" -v c0="$start_ticks" -v c1="$end_ticks" -v hz="$hz" 'BEGIN {
  wall = (t1 - t0) / 1e9; cpu = (c1 - c0) / hz
  per = e > 0 ? cpu * 1000 / e : 0
  printf "%.1f %.3f %.2f\n", e / wall, per, cpu / wall * 100 }')
echo "sorvelo: hosts=$hosts rate=${rate}/s echoes=$((end_echoes - start_echoes))" \
     "cpu_s_per_1000=$per_1000 cpu_pct=$cpu_pct rss_mb=$(awk -v k="$max_rss" 'BEGIN { printf "%.1f", k / 1024 }')"
if ! awk -v r="$rate" 'BEGIN { exit !(r > 0) }'; then
  echo "echo_compare: the program sent no echoes, nothing to compare" >&2
  exit 1
fi
FPING_HOSTS=$hosts bench/fping_compare.sh "$rate" "$seconds" even
FPING_HOSTS=$hosts bench/fping_compare.sh "$rate" "$seconds" burst
