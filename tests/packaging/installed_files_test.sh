#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR as a package would (prefix /usr) and checks what
# lands there with the desktop's own validators; then starts the installed program as a user who
# may not write its folder and checks that its default files go to that user's XDG data folder.
#   installed_files_test.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

dest=$work/dest
DESTDIR=$dest cmake --install "$build" --prefix /usr >/dev/null
root=$dest/usr

[ -x "$root/bin/sorvelo" ] || fail "no program at usr/bin/sorvelo"
version=$("$root/bin/sorvelo" --version) || fail "installed program: --version failed"
grep -q '1\.0\.5\.1' <<<"$version" || fail "installed program: --version said [$version]"

launcher=$root/share/applications/sorvelo.desktop
desktop-file-validate "$launcher" || fail "desktop-file-validate: $launcher"
grep -qx 'Categories=Network;Monitor;' "$launcher" || fail "launcher categories"
grep -qx 'Exec=sorvelo' "$launcher" || fail "launcher Exec"
grep -qx 'Icon=sorvelo' "$launcher" || fail "launcher Icon"

metainfo=$root/share/metainfo/org.sorvelo.Sorvelo.metainfo.xml
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate: $metainfo"
grep -q '<launchable type="desktop-id">sorvelo.desktop</launchable>' "$metainfo" ||
  fail "metainfo does not launch the installed launcher"

# Every PNG is the size its folder names (width and height from the PNG header).
for size in 16 22 24 32 48 64 128 256; do
  png=$root/share/icons/hicolor/${size}x${size}/apps/sorvelo.png
  [ -f "$png" ] || fail "no icon $png"
  read -r w h < <(od -An -tu1 -j16 -N8 "$png" |
                  awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
  [ "$w" = "$size" ] && [ "$h" = "$size" ] || fail "icon $size is ${w}x${h}"
done
grep -q '<svg' "$root/share/icons/hicolor/scalable/apps/sorvelo.svg" || fail "no scalable icon"

# The man page formats without warnings and documents every option.
man=$root/share/man/man1/sorvelo.1.gz
gzip -t "$man" || fail "man page is not gzip"
warnings=$(gzip -dc "$man" | groff -man -ww -z 2>&1) || fail "groff failed"
[ -z "$warnings" ] || fail "man page warnings: $warnings"
for option in --headless --config --hosts --help --version --outages --since --format; do
  gzip -dc "$man" | grep -qF -- "\\-\\-${option#--}" ||
    fail "man page does not document $option"
done
gzip -dc "$man" | grep -qE -- '(^| )\\-h( |$)' || fail "man page does not document -h"

unit=$root/lib/systemd/user/sorvelo.service
grep -qx 'ExecStart=/usr/bin/sorvelo --headless' "$unit" || fail "unit ExecStart: $(grep Exec "$unit")"
grep -qx 'Restart=on-failure' "$unit" || fail "unit Restart"
grep -qx 'WantedBy=default.target' "$unit" || fail "unit WantedBy"
# Not allowed to ping (status 1) is not retried for ever.
grep -qx 'RestartPreventExitStatus=1 2' "$unit" || fail "unit retries a run that cannot ping"

# An installed program whose folder its user cannot write keeps its files in XDG folders.
chmod 0755 "$work" "$dest"
user_home=$work/home
mkdir -p "$user_home/config/Sorvelo" "$user_home/data" "$user_home/runtime"
printf '[general]\nfirsttime=0\ncheckversion=1\n' >"$user_home/config/Sorvelo/Sorvelo.conf"
if [ "$(id -u)" -eq 0 ]; then
  chown -R 65534:65534 "$user_home"
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
else
  chmod a-w "$root/bin"
  as_user=()
fi
chmod 0700 "$user_home/runtime"
env -i PATH=/usr/bin:/bin HOME="$user_home" XDG_CONFIG_HOME="$user_home/config" \
  XDG_DATA_HOME="$user_home/data" XDG_RUNTIME_DIR="$user_home/runtime" QT_QPA_PLATFORM=offscreen \
  SORVELO_MESSAGES_TO_STDERR=1 "${as_user[@]}" "$root/bin/sorvelo" >"$work/out" 2>&1 &
pid=$!
sleep 2
kill -TERM "$pid"
for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$pid" 2>/dev/null && { kill -KILL "$pid"; fail "program did not end on SIGTERM"; }
[ -f "$user_home/data/Sorvelo/tolvo_hosts.cfg" ] ||
  fail "hosts file not in XDG_DATA_HOME/Sorvelo: $(ls -R "$user_home/data"; cat "$work/out")"
[ ! -e "$root/bin/tolvo_hosts.cfg" ] || fail "hosts file written beside the installed program"
chmod -R u+w "$work"
echo "installed files: all checks passed"
