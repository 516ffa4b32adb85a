#!/usr/bin/env bash
# The whole program's echo cost next to fping's, as a matrix in one run: loopback hosts (16, 64,
# 255; interval 4 s), the four running speeds, the desktop program (offscreen) and `--headless`,
# the metrics endpoint off and on. Each row runs the program in a private network namespace for
# SECONDS (after a warm-up), then fping in a namespace of its own sending the same number of echoes
# a second to the same addresses at the same even pace (-i of the per-echo interval), one after the
# other so they never compete for the CPU; with BEFORE set, the same row with that program too.
#
#   bench/echo_compare.sh [SECONDS [BUILD_DIR]]
#     SECONDS    measured time per program and row (default 12, 5 to 600)
#     BUILD_DIR  where sorvelo was built (default build)
#   BEFORE=path/to/sorvelo   also measures another build (an older one) in every row, side by side
#   FULL=1                   the whole matrix, 48 rows (some 40 minutes at the default time, twice
#                            that with BEFORE); by default 13 rows that cover every speed, every host
#                            count, both programs and the metrics
#   ROWS="mode:hosts:speed:metrics ..."  rows of one's own, e.g. "desktop:255:0:off headless:16:3:on"
#   SOCKETS=datagram         lets every group use datagram ICMP sockets inside the namespaces
#                            (ping_group_range, as the sysctl way of allowing pings does); by default
#                            a new namespace allows none, so root takes raw sockets (as setcap does)
#
# Prints a Markdown table: echoes per second, CPU seconds per 1,000 echoes of the program (all its
# threads, the scheduler's own account in nanoseconds), fping's at the same pace, and the ratio;
# "Wakes/s" is how often the program's threads (this build's) were switched in, per second (the
# kernel's count of context switches), next to the echoes a second that need them.
#
# Traffic goes to 127.0.0.0/8 only. Needs root (private namespaces, ICMP sockets) and fping.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-12}
build=${2:-build}
program="$build/sorvelo"
before=${BEFORE:-}
warmup=6  # every host has had its first echo
if ! [[ $seconds =~ ^[0-9]+$ ]] || (( seconds < 5 || seconds > 600 )); then
  echo "echo_compare: SECONDS must be a whole number from 5 to 600 (got '$seconds')" >&2
  exit 2
fi
[ -x "$program" ] || { echo "echo_compare: $program not found; build first" >&2; exit 2; }
[ -z "$before" ] || [ -x "$before" ] || { echo "echo_compare: BEFORE=$before is no program" >&2; exit 2; }
if [ "$(id -u)" -ne 0 ] || ! command -v unshare >/dev/null || ! command -v fping >/dev/null; then
  echo "echo_compare: needs root, unshare and fping (private network namespaces, ICMP sockets)" >&2
  exit 2
fi

in_namespace='ip link set lo up && exec "$0" "$@"'
case "${SOCKETS:-raw}" in
  raw) ;;
  datagram) in_namespace='ip link set lo up && echo "0 2147483647" >/proc/sys/net/ipv4/ping_group_range && exec "$0" "$@"' ;;
  *) echo "echo_compare: SOCKETS is raw or datagram (got '$SOCKETS')" >&2; exit 2 ;;
esac

source scripts/lib/testrun.sh
source bench/lib/processmeasure.sh
testrun_workdir

if [ -n "${ROWS:-}" ]; then
  read -r -a rows <<<"$ROWS"
elif [ "${FULL:-0}" = 1 ]; then
  rows=()
  for mode in desktop headless; do
    for hosts in 16 64 255; do
      for speed in 0 1 2 3; do
        for metrics in off on; do rows+=("$mode:$hosts:$speed:$metrics"); done
      done
    done
  done
else
  rows=(desktop:255:0:off desktop:255:1:off desktop:255:2:off desktop:255:3:off
        headless:255:0:off headless:255:1:off headless:255:2:off headless:255:3:off
        desktop:64:0:off desktop:16:0:off desktop:16:3:off
        desktop:255:0:on headless:255:0:on)
fi

speed_names=("Awesome!" "Fast" "Normal" "Slow")

# Context switches of all the program's threads so far.
switches() {
  cat /proc/"$1"/task/*/status 2>/dev/null |
    awk '/^(non)?voluntary_ctxt_switches:/ { n += $2 } END { printf "%d\n", n }'
}

# One program's row: sets rate (echoes/s), per (CPU s per 1,000 echoes) and wakes (per second).
run_program() {  # program, mode, hosts, speed, metrics
  local home="$work/run" enabled=0
  [ "$5" = on ] && enabled=1
  rm -rf "$home"
  testrun_home "$home"
  testrun_settings "$home" "$4" "$(printf '[metrics]\nenabled=%s' "$enabled")"
  testrun_loopback_hosts "$3" 4 >"$home/hosts.cfg"
  testrun_env "$home"
  local args=()
  [ "$2" = headless ] && args=(--headless)
  # unshare and sh both exec: $! is the program itself.
  env "${testrun_vars[@]}" QT_QPA_PLATFORM=offscreen SORVELO_MESSAGES_TO_STDERR=1 \
    SORVELO_OPEN_STATUS_VIEW=0 \
    unshare --net -- sh -c "$in_namespace" "$1" "${args[@]}" \
    >/dev/null 2>"$home/stderr" &
  pid=$!
  sleep "$warmup"
  local first
  first=$(switches "$pid")
  measure_window "$pid" "$seconds"
  wakes=$(awk -v a="$first" -v b="$(switches "$pid")" -v s="$seconds" 'BEGIN { printf "%.1f", (b - a) / s }')
  stop_program
  figures
}

# fping at the given rate to 127.0.0.1..N, even pace, as long as the program ran.
run_fping() {  # hosts, rate
  local period interval
  read -r period interval < <(awk -v r="$2" -v h="$1" 'BEGIN { printf "%.0f %.0f\n", h * 1000 / r, 1000 / r }')
  (( interval >= 1 )) || interval=1
  unshare --net -- sh -c "$in_namespace" \
    fping -q -l -p "$period" -i "$interval" -t 2000 -g 127.0.0.1 "127.0.0.$1" >/dev/null 2>&1 &
  pid=$!
  sleep 2
  measure_window "$pid" "$seconds"
  stop_program
  figures
}

figures() {
  read -r rate per < <(awk -v e=$((end_echoes - start_echoes)) -v c=$((end_cpu_ns - start_cpu_ns)) \
      -v t0="$start_ns" -v t1="$end_ns" 'BEGIN {
    wall = (t1 - t0) / 1e9
    printf "%.1f %.3f\n", e / wall, (e > 0 ? c / 1e9 * 1000 / e : 0) }')
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "-" }'; }

echo "$(date -u +%Y-%m-%dT%H:%MZ), $seconds s per program and row, interval 4 s, loopback," \
     "${SOCKETS:-raw} sockets"
echo
if [ -n "$before" ]; then
  echo "| Program | Hosts | Speed | Metrics | Echoes/s | Wakes/s | Before | After | fping | Before/fping | After/fping | After/Before |"
  echo "|---|---|---|---|---|---|---|---|---|---|---|---|"
else
  echo "| Program | Hosts | Speed | Metrics | Echoes/s | Wakes/s | Sorvelo | fping | Ratio |"
  echo "|---|---|---|---|---|---|---|---|---|"
fi
for row in "${rows[@]}"; do
  IFS=: read -r mode hosts speed metrics <<<"$row"
  if ! [[ $mode =~ ^(desktop|headless)$ && $hosts =~ ^[0-9]+$ && $speed =~ ^[0-3]$ &&
          $metrics =~ ^(on|off)$ ]] || (( hosts < 1 || hosts > 255 )); then
    echo "echo_compare: a row is mode:hosts:speed:metrics, e.g. desktop:255:0:off (got '$row')" >&2
    exit 2
  fi
  if [ -n "$before" ]; then
    run_program "$before" "$mode" "$hosts" "$speed" "$metrics"
    old_per=$per
  fi
  run_program "$program" "$mode" "$hosts" "$speed" "$metrics"
  new_rate=$rate new_per=$per new_wakes=$wakes
  if awk -v r="$new_rate" 'BEGIN { exit !(r > 0) }'; then
    run_fping "$hosts" "$new_rate"
    fping_per=$per
  else
    fping_per=0
  fi
  label="${speed_names[$speed]}"
  if [ -n "$before" ]; then
    echo "| $mode | $hosts | $label | $metrics | $new_rate | $new_wakes | $old_per | $new_per | $fping_per |" \
         "$(ratio "$old_per" "$fping_per") | $(ratio "$new_per" "$fping_per") | $(ratio "$new_per" "$old_per") |"
  else
    echo "| $mode | $hosts | $label | $metrics | $new_rate | $new_wakes | $new_per | $fping_per | $(ratio "$new_per" "$fping_per") |"
  fi
done
