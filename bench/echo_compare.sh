#!/usr/bin/env bash
# The host engine's echo cost next to fping's: first the program's own scheduler and workers pinging
# 127.0.0.1..127.0.0.255 for SECONDS (hosts_bench --echo-seconds), then fping over the same hosts at
# the rate the program achieved (bench/fping_compare.sh). Prints both lines.
#
#   bench/echo_compare.sh [SECONDS [BUILD_DIR]]
#     SECONDS    length of each run (default 20, at most 600)
#     BUILD_DIR  where hosts_bench was built (default $SORVELO_BUILD_DIR, else build/)
#
# Traffic goes to 127.0.0.0/8 only. Both need root, or ICMP sockets allowed for the user.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-20}
build=${2:-${SORVELO_BUILD_DIR:-build}}
if ! [[ $seconds =~ ^[0-9]+$ ]] || (( seconds < 1 || seconds > 600 )); then
  echo "echo_compare: SECONDS must be a whole number from 1 to 600 (got '$seconds')" >&2
  exit 2
fi
program="$build/bench/hosts_bench"
if [[ ! -x $program ]]; then
  echo "echo_compare: $program not found; build the target hosts_bench first" >&2
  exit 2
fi

ours=$(timeout --kill-after=5 $((seconds + 60)) "$program" --echo-seconds="$seconds")
echo "$ours"
rate=$(sed -n 's/.*rate=\([0-9.]*\)\/s.*/\1/p' <<<"$ours")
if [[ -z $rate ]] || ! awk -v r="$rate" 'BEGIN { exit !(r > 0) }'; then
  echo "echo_compare: the program achieved no echoes, nothing to compare" >&2
  exit 1
fi
bench/fping_compare.sh "$rate" "$seconds"
