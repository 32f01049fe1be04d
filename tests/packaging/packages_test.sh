#!/usr/bin/env bash
# Builds the two Debian packages from the suite's build tree and checks what an administrator
# relies on: each package holds the files the README names, the server's configuration is a
# conffile, the dependencies come from the linked libraries, the desktop entry and the systemd
# unit are valid, the default options are ones the server takes, and the installed client finds
# its spreadsheet reader.
# Usage: packages_test.sh BUILD_DIR PREFIX SYSCONFDIR (the build's install prefix and /etc).
set -euo pipefail

build=$1 prefix=$2 etc=$3
work=$(mktemp -d)
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; echo "FAIL: cpack"; exit 1; }
client_deb=$(echo "$work"/out/staffinfo_*.deb)
server_deb=$(echo "$work"/out/staffinfo-server_*.deb)
for deb in "$client_deb" "$server_deb"; do
  [ -f "$deb" ] || { ls "$work/out"; echo "FAIL: no package $deb"; exit 1; }
done

# What each package installs.
while read -r deb path; do
  grep " \.$path\$" <<<"$(dpkg-deb -c "${!deb}")" >/dev/null ||
    fail "$(basename "${!deb}") lacks $path"
done <<PATHS
client_deb $prefix/bin/staffinfo
client_deb $prefix/libexec/staffinfo/staffinfo-sheet-reader
client_deb $prefix/share/applications/staffinfo.desktop
client_deb $prefix/share/icons/hicolor/scalable/apps/staffinfo.svg
server_deb $prefix/bin/staffinfo-server
server_deb $prefix/lib/systemd/system/staffinfo-server.service
server_deb $etc/staffinfo/server.conf
PATHS

# Upgrades keep the administrator's configuration; the maintainer scripts are there.
[ "$(dpkg-deb -I "$server_deb" conffiles)" = "$etc/staffinfo/server.conf" ] ||
  fail "conffiles: $(dpkg-deb -I "$server_deb" conffiles 2>&1)"
for script in postinst prerm postrm; do
  dpkg-deb -I "$server_deb" "$script" | sh -n || fail "$script is missing or not sh"
done
# Dependencies were read from the linked libraries.
for deb in "$client_deb" "$server_deb"; do
  grep libqt6core6 <<<"$(dpkg-deb -f "$deb" Depends)" >/dev/null ||
    fail "$(basename "$deb") depends on no Qt library: $(dpkg-deb -f "$deb" Depends)"
done

root=$work/root
dpkg-deb -x "$client_deb" "$root"
dpkg-deb -x "$server_deb" "$root"

desktop=$root$prefix/share/applications/staffinfo.desktop
if ! command -v desktop-file-validate >/dev/null; then
  fail "desktop-file-validate is missing (scripts/deps installs desktop-file-utils)"
elif ! report=$(desktop-file-validate "$desktop" 2>&1) || grep -v ': hint: ' <<<"$report"; then
  fail "desktop entry: $report"
fi
[ -f "$root$prefix/share/icons/hicolor/scalable/apps/$(sed -n 's/^Icon=//p' "$desktop").svg" ] ||
  fail "the desktop entry's Icon names no installed icon"

# The unit as systemd reads it, its program being the extracted one. verify reports bad keys
# and values without failing, so any output fails here.
unit=$root$prefix/lib/systemd/system/staffinfo-server.service
if command -v systemd-analyze >/dev/null; then
  sed "s|=$prefix/bin/staffinfo-server |=$root$prefix/bin/staffinfo-server |" "$unit" \
    >"$work/staffinfo-server.service"
  if ! report=$(systemd-analyze verify "$work/staffinfo-server.service" 2>&1) ||
    [ -n "$report" ]; then
    fail "systemd-analyze verify: $report"
  fi
  # Confined: systemd's exposure score (0 the most confined, 10 the least) stays at most 2.
  systemd-analyze security --offline=true --threshold=20 "$work/staffinfo-server.service" \
    >"$work/security.log" 2>&1 || fail "unit exposure: $(tail -1 "$work/security.log")"
else
  echo "SKIP unit checks: systemd-analyze is not installed"
fi
grep -q "^ExecStart=$prefix/bin/staffinfo-server serve \$STAFFINFO_SERVE_OPTIONS\$" "$unit" ||
  fail "the unit does not run serve with the configured options"

# The default options parse: the parser stops at the first option it does not know, so a
# trailing unknown one is the first refused only when every option before it was taken.
# shellcheck disable=SC1090  # the extracted configuration
options=$(. "$root$etc/staffinfo/server.conf" && echo "$STAFFINFO_SERVE_OPTIONS")
# shellcheck disable=SC2086  # split into options, as systemd does
refusal=$("$root$prefix/bin/staffinfo-server" serve $options --end-of-options 2>&1 || true)
grep -- --end-of-options <<<"$refusal" >/dev/null || fail "server.conf's options: $refusal"

# The installed client finds its reader (in libexec, not beside it): a dry-run import of a CSV
# file through a real server.
db=$work/staffinfo.db
echo secret | "$root$prefix/bin/staffinfo-server" add-account --db "$db" \
  110101198001010010 管理员 0 >/dev/null 2>&1
"$root$prefix/bin/staffinfo-server" serve --db "$db" --listen 127.0.0.1:0 2>"$work/server.log" &
server_pid=$!
port=
for _ in $(seq 1 100); do
  port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/server.log")
  [ -n "$port" ] && break
  sleep 0.1
done
if [ -z "$port" ]; then
  fail "the server did not start: $(cat "$work/server.log")"
else
  printf '姓名,身份证号,密码,权限\n甲,330101199001010001,p,2\n' >"$work/accounts.csv"
  imported=$(echo secret | env -u STAFFINFO_SHEET_READER QT_QPA_PLATFORM=offscreen \
    "$root$prefix/bin/staffinfo" import --server "127.0.0.1:$port" \
    --user 110101198001010010 --dry-run "$work/accounts.csv" 2>&1) ||
    fail "installed client's import: $imported"
fi

[ "$failures" -eq 0 ] && echo "packages: $(basename "$client_deb") $(basename "$server_deb") OK"
exit $((failures > 0))
