# Shared by the screenshot and bench scripts (sourced, not run): a private home for one run of the
# program, so the user's own settings, hosts file, history and logs are never touched.
#
#   testrun_workdir              sets `work` to a new temporary folder, removed at exit together with
#                                the program whose process id is in `pid` (when set)
#   testrun_home DIR             makes DIR/config/Sorvelo, DIR/data and DIR/runtime (mode 700)
#   testrun_settings DIR SPEED [MORE]
#                                writes DIR's settings: logs in DIR, hosts file DIR/hosts.cfg, the
#                                given running speed (0 "Awesome!" .. 3 "Slow"), pinging started at
#                                once, no first-run questions; MORE (further lines) is appended
#   testrun_host NAME ADDRESS INTERVAL [SUCCEEDED FAILED]
#                                prints one hosts-file entry (timeout 2000 ms); the counters are
#                                written only when given
#   testrun_loopback_hosts COUNT INTERVAL
#                                prints entries loop1..loopCOUNT for 127.0.0.1..127.0.0.COUNT
#   testrun_env DIR              sets the array testrun_vars to the environment that points the
#                                program at DIR; use as `env "${testrun_vars[@]}" program ...`
#                                (env execs, so $! of a background start is the program itself)

testrun_workdir() {
  work=$(mktemp -d)
  pid=
  trap testrun_cleanup EXIT
}

testrun_cleanup() {
  [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null || true
  rm -rf "$work"
}

testrun_home() {
  mkdir -p "$1/config/Sorvelo" "$1/data" "$1/runtime"
  chmod 700 "$1/runtime"
}

testrun_settings() {  # dir, speed [, further lines]
  {
    cat <<CONF
[logging]
general_log_enabled=1
host_log_enabled=1
general_log_filename=$1/general_log.txt
[hosts]
hosts_file_name=$1/hosts.cfg
[pinging]
ping_speed=$2
auto_startup=1
[general]
firsttime=0
logtimestampinterval=60
checkversion=1
CONF
    [ -z "${3:-}" ] || printf '%s\n' "$3"
  } >"$1/config/Sorvelo/Sorvelo.conf"
}

testrun_host() {  # calling name, address, interval [, succeeded, failed]
  printf 'NEW_HOST_START $$@@$$ \r\nHOSTCALLINGNAME %%STRING%% %s\r\nHOSTNAME %%STRING%% %s\r\n' "$1" "$2"
  printf 'HOSTIPADDRESS %%STRING%% %s\r\nTIMEOUT %%INTEGER%% 2000\r\nINTERVAL %%INTEGER%% %s\r\n' "$2" "$3"
  if [ $# -ge 5 ]; then
    printf 'SUCCEEDEDCOUNT %%INTEGER%% %s\r\nFAILEDCOUNT %%INTEGER%% %s\r\n' "$4" "$5"
  fi
  printf 'NEW_HOST_END $$@@$$ \r\n'
}

testrun_loopback_hosts() {  # count, interval
  local i
  for i in $(seq 1 "$1"); do testrun_host "loop$i" "127.0.0.$i" "$2"; done
}

testrun_env() {  # dir
  testrun_vars=(XDG_CONFIG_HOME="$1/config" XDG_DATA_HOME="$1/data" XDG_RUNTIME_DIR="$1/runtime")
}
