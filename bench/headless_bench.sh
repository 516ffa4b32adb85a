#!/usr/bin/env bash
# The headless program against the desktop program and fping, 255 loopback hosts at "Awesome!",
# and the cost of its metrics endpoint.
#
#   bench/headless_bench.sh [SECONDS] [BUILD_DIR]
#     SECONDS    measured time per program (default 30)
#     BUILD_DIR  where sorvelo was built (default build)
#   ALERTS=1     sets an alert command and a webhook (to a port on the namespace's loopback where
#                nothing listens, so a change is refused at once and retried), as a server would run
#
# 1. `sorvelo --headless` and the desktop program (offscreen, no window open but the main one)
#    each ping 127.0.0.1 to 127.0.0.255 (interval 4 s) at "Awesome!", one after the other, each in
#    a private network namespace of its own, so the kernel's ICMP counters of that namespace count
#    exactly its echo requests. Printed: echoes per second, CPU seconds per 1,000 echoes, largest
#    resident size. Then fping sends the same rate for the same time (bench/fping_compare.sh).
# 2. While the headless program runs, build/bench/metrics_bench scrapes its endpoint from inside
#    the same namespace: 10 scrapes a second, then 1,000 a second, SECONDS/3 each (bounded loops).
#    The program's CPU time during each, less what pinging alone took, gives the cost per scrape.
#
# Needs root (namespaces, nsenter, ICMP). Traffic goes to 127.0.0.0/8 only.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
build=${2:-build}
program="$build/sorvelo"
scraper="$build/bench/metrics_bench"
warmup=5
if ! [[ $seconds =~ ^[0-9]+$ ]] || (( seconds < 6 || seconds > 3600 )); then
  echo "headless_bench: SECONDS must be a whole number from 6 to 3600 (got '$seconds')" >&2
  exit 2
fi
[ -x "$program" ] || { echo "headless_bench: $program not found; build first" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "headless_bench: run as root (network namespaces)" >&2; exit 2; }

source scripts/lib/testrun.sh
testrun_workdir

prepare() {  # a fresh home with settings at "Awesome!"
  rm -rf "$work/run"
  testrun_home "$work/run"
  local alerts=""
  if [ "${ALERTS:-0}" = 1 ]; then
    alerts=$(printf '[alerts]\ncommand=/bin/true\nwebhook_url=http://127.0.0.1:9/sorvelo')
  fi
  testrun_settings "$work/run" 0 "$alerts"
  testrun_loopback_hosts 255 4 >"$work/run/hosts.cfg"
  testrun_env "$work/run"
}

source bench/lib/processmeasure.sh

start() {  # arguments of the program; sets pid
  # unshare and sh both exec: $! is the program itself.
  env "${testrun_vars[@]}" QT_QPA_PLATFORM=offscreen SORVELO_MESSAGES_TO_STDERR=1 \
    unshare --net -- sh -c 'ip link set lo up && exec "$0" "$@"' "$program" "$@" \
    >/dev/null 2>"$work/run/stderr" &
  pid=$!
  sleep "$warmup"
}

measure() {  # name; prints one line and sets rate and cpu_per_s
  measure_window "$pid" "$seconds"
  read -r rate per_1000 cpu_per_s rss_mb < <(awk -v e=$((end_echoes - start_echoes)) \
      -v c=$((end_ticks - start_ticks)) -v hz="$hz" -v t0="$start_ns" -v t1="$end_ns" \
      -v rss="$max_rss" 'BEGIN {
    wall = (t1 - t0) / 1e9; cpu = c / hz
    printf "%.2f %.4f %.5f %.1f\n", e / wall, (e > 0 ? cpu / e * 1000 : 0), cpu / wall, rss / 1024 }')
  printf '%-10s %10s %14s %8s\n' "$1" "$rate" "$per_1000" "$rss_mb"
}

scrape_cost() {  # rate per second; prints the program's CPU per scrape beyond pinging
  local n=$(( seconds / 3 )) c0 c1 t0 t1 e0 e1 line
  e0=$(echo_requests "$pid"); c0=$(cpu_ticks "$pid"); t0=$(date +%s%N)
  line=$(nsenter --net="/proc/$pid/ns/net" "$scraper" --scrape 10427 "$1" "$n" || true)
  e1=$(echo_requests "$pid"); c1=$(cpu_ticks "$pid"); t1=$(date +%s%N)
  awk -v c=$((c1 - c0)) -v hz="$hz" -v t0="$t0" -v t1="$t1" -v base="$cpu_per_s" -v line="$line" \
      -v want="$1" -v e=$((e1 - e0)) 'BEGIN {
    split(line, f, /[ =]/); scrapes = f[4]   # ok=N
    wall = (t1 - t0) / 1e9; extra = c / hz - base * wall
    printf "%6s/s asked: %s\n         program CPU per scrape %.3f ms, %.1f %% of one core; pinging went on at %.2f echoes/s\n",
           want, line, (scrapes > 0 ? extra / scrapes * 1000 : 0), extra / wall * 100, e / wall }'
}

printf '%-10s %10s %14s %8s\n' program echoes/s cpu_s/1000 rss_MB
prepare
start --headless
measure headless
headless_rate=$rate
if [ -x "$scraper" ]; then
  scrape_lines=("$(scrape_cost 10)" "$(scrape_cost 1000)")
fi
stop_program

prepare
start
measure desktop
stop_program

printf '%-10s ' fping
bench/fping_compare.sh "$headless_rate" "$seconds" || echo "(fping failed)"

if [ -n "${scrape_lines+x}" ]; then
  echo
  echo "metrics endpoint of the headless program, 255 hosts (a page of about 450 kB):"
  printf '  %s\n' "${scrape_lines[@]}"
fi
