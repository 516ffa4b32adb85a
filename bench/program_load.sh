#!/usr/bin/env bash
# The whole program's load while it pings 255 loopback hosts (127.0.0.1 to 127.0.0.255), at each
# running speed in turn, next to fping sending the same number of echoes per second.
#
#   bench/program_load.sh [SECONDS] [BUILD_DIR]
#     SECONDS    measured time per speed (default 60)
#     BUILD_DIR  where sorvelo was built (default build)
#
# For every speed the program starts with settings and a hosts file of its own in a temporary
# folder (interval 4 s, pinging started automatically), runs offscreen, and is ended with SIGTERM.
# As root it runs in a private network namespace of its own, so the kernel's ICMP counters of that
# namespace count exactly its echo requests during the measured time; otherwise the echoes are
# those the saved hosts file counts (results collected, warm-up included).
# At "Awesome!" the status view is open (SORVELO_OPEN_STATUS_VIEW=1); messages such as the warning
# about "Awesome!" go to standard error (SORVELO_MESSAGES_TO_STDERR=1), since nobody is there to
# close a box. Printed per speed: echoes per
# second, CPU share of one core, CPU seconds per 1,000 echoes and the largest resident size; then
# bench/fping_compare.sh sends the same rate for the same time, one run after the other so the two
# never compete for the CPU. Targets at "Awesome!": under 3 % of one core and under 60 MB resident.
#
# Traffic goes to 127.0.0.0/8 only. Needs root, or ICMP sockets allowed for your group
# (net.ipv4.ping_group_range); fping needs the same.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
build=${2:-build}
program="$build/sorvelo"
warmup=3
if ! [[ $seconds =~ ^[0-9]+$ ]] || (( seconds < 5 || seconds > 3600 )); then
  echo "program_load: SECONDS must be a whole number from 5 to 3600 (got '$seconds')" >&2
  exit 2
fi
[ -x "$program" ] || { echo "program_load: $program not found; build first" >&2; exit 2; }

source scripts/lib/testrun.sh
testrun_workdir

source bench/lib/processmeasure.sh

private_netns=0
if [ "$(id -u)" -eq 0 ] && command -v unshare >/dev/null && command -v ip >/dev/null; then
  private_netns=1
fi

echoes_saved() {
  awk '/^(SUCCEEDEDCOUNT|FAILEDCOUNT) / { gsub("\r", ""); n += $3 } END { print n + 0 }' "$1"
}

names=("Awesome!" "Fast" "Normal" "Slow")
printf '%-9s %8s %8s %8s %12s %8s\n' speed echoes rate/s "cpu %" cpu_s/1000 rss_MB
results=()
for speed in 0 1 2 3; do
  rm -rf "$work/run"
  testrun_home "$work/run"
  testrun_settings "$work/run" "$speed"
  testrun_loopback_hosts 255 4 >"$work/run/hosts.cfg"
  testrun_env "$work/run"
  open_view=0
  [ "$speed" -eq 0 ] && open_view=1

  launcher=()
  # unshare and sh both exec: $! is the program itself.
  (( private_netns )) && launcher=(unshare --net -- sh -c 'ip link set lo up && exec "$0"')
  env "${testrun_vars[@]}" QT_QPA_PLATFORM=offscreen SORVELO_MESSAGES_TO_STDERR=1 SORVELO_OPEN_STATUS_VIEW=$open_view \
    "${launcher[@]}" "$program" >/dev/null 2>&1 &
  pid=$!
  sleep "$warmup"
  measure_window "$pid" "$seconds"
  stop_program

  if (( private_netns )); then
    echoes=$(( end_echoes - start_echoes )); counted=0
  else
    echoes=$(echoes_saved "$work/run/hosts.cfg"); counted=$warmup
  fi
  read -r rate cpu_pct per_1000 rss_mb < <(awk -v e="$echoes" -v t0="$start_ns" -v t1="$end_ns" \
      -v w="$counted" -v c0="$start_ticks" -v c1="$end_ticks" -v hz="$hz" -v rss="$max_rss" 'BEGIN {
    wall = (t1 - t0) / 1e9; cpu = (c1 - c0) / hz; rate = e / (wall + w)
    per = rate > 0 ? cpu / (rate * wall) * 1000 : 0
    printf "%.2f %.2f %.4f %.1f\n", rate, cpu / wall * 100, per, rss / 1024 }')
  printf '%-9s %8s %8s %8s %12s %8s\n' "${names[$speed]}" "$echoes" "$rate" "$cpu_pct" "$per_1000" "$rss_mb"
  results+=("$rate")
done

echo
echo "fping at the same rates, $seconds s each:"
for speed in 0 1 2 3; do
  rate=${results[$speed]}
  if awk -v r="$rate" 'BEGIN { exit !(r > 0) }'; then
    printf '%-9s ' "${names[$speed]}"
    bench/fping_compare.sh "$rate" "$seconds" || echo "(fping failed)"
  fi
done
