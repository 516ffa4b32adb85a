#!/usr/bin/env bash
# Builds the Debian package with CPack and checks its file list and its dependencies.
#   debian_package_test.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work" >"$work/cpack.log" 2>&1 ||
  fail "cpack: $(cat "$work/cpack.log")"
deb=$(find "$work" -maxdepth 1 -name 'sorvelo_*.deb' | head -n 1)
[ -n "$deb" ] || fail "no .deb: $(cat "$work/cpack.log")"

files=$(dpkg-deb -c "$deb" | awk '{print $6}')
for path in ./usr/bin/sorvelo ./usr/share/applications/sorvelo.desktop \
            ./usr/share/metainfo/org.sorvelo.Sorvelo.metainfo.xml \
            ./usr/share/icons/hicolor/scalable/apps/sorvelo.svg \
            ./usr/share/icons/hicolor/16x16/apps/sorvelo.png \
            ./usr/share/icons/hicolor/256x256/apps/sorvelo.png \
            ./usr/share/man/man1/sorvelo.1.gz ./usr/lib/systemd/user/sorvelo.service \
            ./usr/share/doc/sorvelo/copyright ./usr/share/doc/sorvelo/changelog.gz; do
  grep -qxF "$path" <<<"$files" || fail "$path missing from the package: $files"
done
# The unit in the package names the packaged program.
dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/lib/systemd/user/sorvelo.service |
  grep -qx 'ExecStart=/usr/bin/sorvelo --headless' || fail "packaged unit ExecStart"

# Dependencies come from the program's libraries (dpkg-shlibdeps), Qt Widgets among them.
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libqt6network6 libc6 libstdc++6; do
  grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib: $depends"
done
[ "$(dpkg-deb -f "$deb" Package)" = sorvelo ] || fail "package name"

# Debian's own checks, pedantic ones included: no error, no warning.
command -v lintian >/dev/null || fail "lintian is not installed (scripts/setup.sh installs it)"
lintian --pedantic --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1 || true
! grep -E '^(E|W): ' "$work/lintian.log" || fail "lintian: $(cat "$work/lintian.log")"
echo "debian package: $(basename "$deb"), Depends: $depends"
