#!/usr/bin/env bash
# The Debian package unpacked into a scratch folder: the files it holds, the dependencies it
# declares, the system service it carries, and its programs run from where they were unpacked.
#   package_test.sh DEB
set -uo pipefail
deb="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config"
failures=0
check() {  # check DESCRIPTION CONDITION...
  local what="$1"; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}

root="$work/root"
dpkg-deb -x "$deb" "$root" || { echo "FAILED: dpkg-deb -x $deb"; exit 1; }
for file in usr/bin/corvio usr/bin/corvioctl usr/bin/corvio-server \
    usr/share/man/man1/corvio.1.gz usr/share/man/man1/corvioctl.1.gz \
    usr/share/man/man8/corvio-server.8.gz usr/lib/systemd/system/corvio-server.service \
    usr/share/bash-completion/completions/corvioctl usr/share/doc/corvio/copyright \
    usr/share/applications/corvio.desktop usr/share/icons/hicolor/scalable/apps/corvio.svg \
    usr/share/doc/corvio/changelog.gz; do
  check "holds /$file" [ -f "$root/$file" ]
done
check "nothing outside /usr" [ "$(ls "$root")" = usr ]
check "the copyright names the Apache-2.0 licence for every file" bash -c \
  "grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
     '$root/usr/share/doc/corvio/copyright' &&
   grep -qx 'License: Apache-2.0' '$root/usr/share/doc/corvio/copyright' &&
   ! grep -q 'All rights reserved' '$root/usr/share/doc/corvio/copyright'"
check "programs are executable" [ -x "$root/usr/bin/corvio" ] && [ -x "$root/usr/bin/corvioctl" ]
check "the desktop entry starts corvio in a window" \
  grep -qx 'Exec=corvio' "$root/usr/share/applications/corvio.desktop"
if command -v desktop-file-validate > /dev/null; then
  check "desktop-file-validate accepts the desktop entry" \
    desktop-file-validate "$root/usr/share/applications/corvio.desktop"
fi
check "man pages are roff" bash -c "gzip -dc '$root/usr/share/man/man1/corvioctl.1.gz' | grep -q '^.TH \"corvioctl\" \"1\"'"

# The dependencies come from the libraries the programs link.
depends="$(dpkg-deb -f "$deb" Depends)"
for library in libc6 libstdc++6 libssl3 libsqlite3-0 zlib1g libqt6widgets6 adduser; do
  check "depends on $library" grep -q "\\b$library\\b" <<< "$depends"
done
check "the package is named corvio" [ "$(dpkg-deb -f "$deb" Package)" = corvio ]

# The service: its own user, a store under /var/lib, disabled (nothing links it into a target).
unit="$root/usr/lib/systemd/system/corvio-server.service"
check "service runs as its own user" grep -qx 'User=corvio-server' "$unit"
check "service keeps its store in /var/lib" grep -qx 'StateDirectory=corvio-server' "$unit"
check "service serves /var/lib/corvio-server" \
  grep -q '^ExecStart=/usr/bin/corvio-server serve --store /var/lib/corvio-server ' "$unit"
check "service is not enabled by the package" [ ! -e "$root/etc" ]
dpkg-deb -e "$deb" "$work/control"
check "postinst creates the user" grep -q 'adduser --system .* corvio-server' "$work/control/postinst"
check "postinst does not enable the service" bash -c "! grep -q systemctl '$work/control/postinst'"
if command -v systemd-analyze > /dev/null; then
  # The unit as installed, pointed at the unpacked program.
  sed "s|/usr/bin/corvio-server|$root/usr/bin/corvio-server|" "$unit" > "$work/corvio-server.service"
  check "systemd-analyze verify accepts the service" \
    systemd-analyze verify --man=no "$work/corvio-server.service"
fi

# The unpacked programs run.
"$root/usr/bin/corvio" --version > "$work/out"; status=$?
check "corvio --version exits 0" [ "$status" -eq 0 ]
check "corvio --version names the package's version" \
  grep -q "^corvio v$(dpkg-deb -f "$deb" Version | awk -F. '{printf "%d.%02d.%04d", $1, $2, $3}')," "$work/out"
"$root/usr/bin/corvioctl" --help > "$work/out"; status=$?
check "corvioctl --help exits 0" [ "$status" -eq 0 ]
check "corvioctl --help lists schedule" grep -q 'corvioctl schedule list' "$work/out"
"$root/usr/bin/corvio-server" --version > /dev/null; status=$?
check "corvio-server --version exits 0" [ "$status" -eq 0 ]

# The completion loads and completes commands.
check "bash completion completes commands" bash -c "
  _init_completion() { cur=\${COMP_WORDS[COMP_CWORD]}; words=(\"\${COMP_WORDS[@]}\"); cword=\$COMP_CWORD; }
  source '$root/usr/share/bash-completion/completions/corvioctl'
  COMP_WORDS=(corvioctl sch); COMP_CWORD=1; _corvioctl
  [ \"\${COMPREPLY[*]}\" = schedule ]"

[ "$failures" -eq 0 ]
