#!/usr/bin/env bash
# Checks the program as a user gets it (exit 0: ok, 77: skipped, 1: a fault), leaving nothing behind:
# metadata (the installed menu entries and metadata validate), lintian (no errors in the package),
# install (as root: installs, both programs run from PATH, removed again; skips if anything is there).
set -euo pipefail

mode=${1:?usage: check_package.sh metadata|lintian|install BUILD}
build=$(cd "${2:?usage: check_package.sh metadata|lintian|install BUILD}" && pwd)
app_id=net.example.lumora.Driver
package=lumora-driver
work=$(mktemp -d "${TMPDIR:-/tmp}/lumora-package-check.XXXXXX")
installed_here="" sudo=""
cleanup() {
  local status=$?
  if [ -n "$installed_here" ]; then
    $sudo apt-get purge -y -qq -o DPkg::Lock::Timeout=120 "$package" >"$work/remove.log" 2>&1 ||
      { cat "$work/remove.log" >&2; echo "FAIL: could not remove $package: remove it by hand" >&2; status=1; }
    [ ! -e /usr/bin/lumora-driver ] || { echo "FAIL: removing $package left /usr/bin/lumora-driver" >&2; status=1; }
  fi
  rm -rf "$work"
  exit $status
}
trap cleanup EXIT && trap 'exit 1' INT TERM HUP
fail() { echo "FAIL: $*" >&2; exit 1; }
skip() { echo "SKIP: $*"; exit 77; }

# Runs an install keeping the build folder's list of installed files as it was.
keeping_manifest() {
  local manifest=$build/install_manifest.txt status=0
  if [ -f "$manifest" ]; then cp -p "$manifest" "$work/manifest"; fi
  "$@" || status=$?
  if [ -f "$work/manifest" ]; then cp -p "$work/manifest" "$manifest"; else rm -f "$manifest"; fi
  return $status
}
build_package() {
  keeping_manifest cpack --config "$build/CPackConfig.cmake" -B "$work/cpack" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack could not build the package"; }
  local debs=("$work"/cpack/*.deb)
  [ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single package: ${debs[*]}"
  echo "${debs[0]}"
}

case $mode in
metadata)
  DESTDIR=$work/root keeping_manifest cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1 ||
    { cat "$work/install.log" >&2; fail "cmake --install failed"; }
  for entry in "$work"/root/usr/share/applications/*.desktop; do desktop-file-validate "$entry" || fail "desktop-file-validate rejects $entry"; done
  service=$work/root/usr/share/dbus-1/services/$app_id.service
  grep -qx "Exec=/usr/bin/lumora-driver" "$service" || fail "the D-Bus service file does not start /usr/bin/lumora-driver: $service"
  grep -qx "DBusActivatable=true" "$work/root/usr/share/applications/$app_id.desktop" || fail "the menu entry is not D-Bus activatable"
  [ -s "$work/root/usr/share/dbus-1/interfaces/net.example.lumora.Driver1.xml" ] || fail "the interface's XML is not installed"
  appstreamcli validate --no-net "$work/root/usr/share/metainfo/$app_id.metainfo.xml" || fail "appstreamcli rejects the metadata"
  ;;
lintian)
  deb=$(build_package)
  TMPDIR=$work lintian --fail-on error "$deb" || fail "lintian finds errors in $(basename "$deb")"
  ;;
install)
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null && sudo -n true 2>/dev/null && sudo="sudo -n" ||
      skip "installing a package needs root or password-less sudo, and this user has neither"
  fi
  if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -qv "not-installed"; then
    skip "$package is already installed on this machine; the check leaves it as it is"
  fi
  deb=$(build_package)
  # Files or packages that removal would take away or leave behind: skip.
  while read -r path; do
    path=${path#.}
    [ -n "$path" ] && [ -e "$path" ] && [ ! -d "$path" ] && skip "$path is already on this machine (not from the package)"
  done < <(dpkg-deb --fsys-tarfile "$deb" | tar -t)
  extra=$(apt-get install -s -qq "$deb" 2>/dev/null | sed -n 's/^Inst \([^ ]*\).*/\1/p' | grep -vx "$package" || true)
  [ -z "$extra" ] || skip "the package would also install ${extra//$'\n'/ } here"
  installed_here=yes
  $sudo apt-get install -y -qq -o DPkg::Lock::Timeout=120 "$deb" >"$work/install.log" 2>&1 ||
    { cat "$work/install.log" >&2; fail "apt-get could not install $(basename "$deb")"; }
  export PATH=/usr/local/bin:/usr/bin:/bin # as a desktop session has it
  [ "$(command -v lumora-driver)" = /usr/bin/lumora-driver ] || fail "lumora-driver is not on PATH from the package"
  [[ $(lumora-driver --version) == "lumora-driver "[0-9]* ]] || fail "lumora-driver --version failed"
  [[ $(lumora-board-sim --help) == *"Usage: lumora-board-sim"* ]] || fail "lumora-board-sim --help printed no usage"
  # A session bus with the system's service folders can start the driver by its name.
  names=$(dbus-run-session -- dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.ListActivatableNames) || fail "no session bus to ask for the activatable names"
  [[ $names == *'"'$app_id'"'* ]] || fail "the session bus cannot start $app_id: $names"
  ;;
*)
  fail "unknown check '$mode': metadata, lintian or install"
  ;;
esac
echo "ok: $mode"
