#!/usr/bin/env bash
# The peer figure for the echo benchmarks: fping pinging the 255 loopback addresses 127.0.0.1 to
# 127.0.0.255 at a given total echo rate for a given time, and the CPU it spent per 1,000 echoes.
#
#   bench/fping_compare.sh [RATE [SECONDS [PACE]]]
#     RATE     total echoes per second over all hosts (default 51: each host every 5 s)
#     SECONDS  how long to run (default 30)
#     PACE     even (default): one echo every 1000/RATE ms (-i), as the program sends them;
#              burst: every round sent at fping's quickest pace (-i 1), then a pause
#   FPING_HOSTS=N pings 127.0.0.1 to 127.0.0.N (default 255).
#
# Prints one line, for people and for the benchmark program that calls this script:
#   fping: pace=even rate=51.0/s echoes=1530 cpu_s_per_1000=0.045
# "echoes" counts the requests fping reports as sent; the CPU time is user plus system time of the
# fping process as /usr/bin/time (or the shell's own accounting) measured it.
#
# Traffic goes to 127.0.0.0/8 only. fping needs root or ICMP sockets allowed for the user.
set -euo pipefail

rate=${1:-51}
seconds=${2:-30}
pace=${3:-even}
hosts=${FPING_HOSTS:-255}
if [[ $pace != even && $pace != burst ]] || ! [[ $hosts =~ ^[0-9]+$ ]] || (( hosts < 1 || hosts > 255 )); then
  echo "fping_compare: PACE is even or burst, FPING_HOSTS 1 to 255 (got '$pace', '$hosts')" >&2
  exit 2
fi

if ! [[ $rate =~ ^[0-9]+([.][0-9]+)?$ ]] || ! awk -v r="$rate" 'BEGIN { exit !(r > 0 && r <= 100000) }'; then
  echo "fping_compare: RATE must be a number of echoes per second above 0 (got '$rate')" >&2
  exit 2
fi
if ! [[ $seconds =~ ^[0-9]+$ ]] || (( seconds < 1 || seconds > 3600 )); then
  echo "fping_compare: SECONDS must be a whole number from 1 to 3600 (got '$seconds')" >&2
  exit 2
fi
if ! command -v fping >/dev/null 2>&1 && [[ $(id -u) -eq 0 ]]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq fping >/dev/null 2>&1 ||
    { apt-get update -qq >/dev/null 2>&1 && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq fping >/dev/null 2>&1; } || true
fi
if ! command -v fping >/dev/null 2>&1; then
  echo "fping_compare: fping is not installed (sudo apt-get install fping)" >&2
  exit 2
fi

# Each host is pinged every period; the requests of one round are spread evenly over it. A run of
# SECONDS holds round(SECONDS * RATE / 255) rounds, at least one.
read -r period_ms interval_ms count < <(awk -v r="$rate" -v s="$seconds" -v h="$hosts" 'BEGIN {
  period = h * 1000 / r; interval = 1000 / r; count = int(s * r / h + 0.5); if (count < 1) count = 1
  printf "%.3f %.3f %d\n", period, interval, count }')
[[ $pace == burst ]] && interval_ms=1
last=127.0.0.$hosts

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The whole run is bounded: the planned time, the last round's time-outs and a margin.
limit=$((seconds * 2 + 30))
status=0
if [[ -x /usr/bin/time ]]; then
  /usr/bin/time -f "%U %S" -o "$work/cpu" \
    timeout --kill-after=5 "$limit" \
    fping -q -c "$count" -p "$period_ms" -i "$interval_ms" -g 127.0.0.1 "$last" \
    2>"$work/summary" || status=$?
else
  # Without /usr/bin/time, the shell's accounting of its finished children does the same job.
  ( timeout --kill-after=5 "$limit" \
      fping -q -c "$count" -p "$period_ms" -i "$interval_ms" -g 127.0.0.1 "$last" \
      2>"$work/summary" || exit $?
    # Not in a pipeline: there `times` would run in a fresh subshell that has no finished children.
    times >"$work/times"
    tail -n 1 "$work/times" | awk '{ gsub(/[ms]/, " "); print $1 * 60 + $2, $3 * 60 + $4 }' >"$work/cpu"
  ) || status=$?
fi

# fping exits 1 when some host did not answer, which still is a measurement; anything above is not.
if (( status > 1 )); then
  echo "fping_compare: fping failed (exit $status):" >&2
  grep -v 'xmt/rcv' "$work/summary" >&2 || true
  exit 1
fi

echoes=$(awk -F'[=/ ]+' '/xmt\/rcv/ { for (i = 1; i <= NF; ++i) if ($i == "xmt") { sent += $(i + 3) } }
                         END { print sent + 0 }' "$work/summary")
cpu=$(awk 'NR == 1 { print $1 + $2 }' "$work/cpu" 2>/dev/null || true)
cpu=${cpu:-0}
awk -v r="$rate" -v e="$echoes" -v c="$cpu" -v p="$pace" 'BEGIN {
  per = e > 0 ? c * 1000 / e : 0
  printf "fping: pace=%s rate=%.1f/s echoes=%d cpu_s_per_1000=%.3f\n", p, r, e, per }'
