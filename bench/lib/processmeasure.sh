# Shared by the benchmark scripts (sourced, not run): what one running program costs.
#
#   echo_requests PID     ICMP echo requests sent so far in the program's network namespace
#   cpu_ticks PID         user and system CPU of the program, in clock ticks (hz per second)
#   cpu_ns PID            CPU time of the program's threads running now, in nanoseconds (the
#                         scheduler's own account: fine enough for a few echoes a second)
#   rss_kb PID            resident memory in KiB
#   measure_window PID SECONDS
#                         samples the program for SECONDS and sets start_echoes/end_echoes,
#                         start_ticks/end_ticks, start_cpu_ns/end_cpu_ns, start_ns/end_ns and
#                         max_rss (KiB, sampled each second)
#   stop_program          SIGTERM to the program in `pid`, waits up to 30 s for it, clears `pid`

hz=$(getconf CLK_TCK)

echo_requests() {
  awk '/^IcmpMsg:/ { if (!names) { for (i = 2; i <= NF; i++) col[$i] = i; names = 1 }
                     else { print (("OutType8" in col) ? $(col["OutType8"]) : 0); exit } }' \
    "/proc/$1/net/snmp"
}
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
cpu_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ t += $1 } END { printf "%d\n", t }'; }
rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }

measure_window() {  # pid, seconds
  local rss
  start_echoes=$(echo_requests "$1")
  start_ticks=$(cpu_ticks "$1")
  start_cpu_ns=$(cpu_ns "$1")
  start_ns=$(date +%s%N)
  max_rss=0
  for _ in $(seq 1 "$2"); do
    sleep 1
    rss=$(rss_kb "$1")
    (( rss > max_rss )) && max_rss=$rss
  done
  end_ticks=$(cpu_ticks "$1")
  end_cpu_ns=$(cpu_ns "$1")
  end_ns=$(date +%s%N)
  end_echoes=$(echo_requests "$1")
}

stop_program() {
  kill -TERM "$pid"
  for _ in $(seq 1 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  wait "$pid" 2>/dev/null || true
  pid=
}
