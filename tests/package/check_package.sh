#!/usr/bin/env bash
# Checks the program as a user gets it: what `cmake --install` puts in place, and the Debian
# package that `make package` builds.
#   check_package.sh metadata BUILD   install into a temporary DESTDIR: the menu entries and the
#                                     AppStream metadata validate, the entry's program, icon and
#                                     manual pages are installed where the desktop and man look
#   check_package.sh lintian BUILD    build the package; lintian finds no errors in it
#   check_package.sh install BUILD    build the package, install it on this machine, run both
#                                     programs from PATH, find the icon and manual pages, remove
#                                     it. Needs root (or password-less sudo); skips, saying why,
#                                     without it, or when the package or any of its files is
#                                     already on the machine (so nothing that was there is lost).
# Exits 0 on success, 77 when skipped, 1 on a fault. Leaves nothing behind: the temporary folder,
# and the installed package, are removed on every exit.
set -euo pipefail

mode=${1:?usage: check_package.sh metadata|lintian|install BUILD}
build=$(cd "${2:?usage: check_package.sh metadata|lintian|install BUILD}" && pwd)
app_id=net.example.lumora.Driver
package=lumora-driver
icon_sizes=(16 22 24 32 48 64 128 256)
skip=77

work=$(mktemp -d "${TMPDIR:-/tmp}/lumora-package-check.XXXXXX")
installed_here=""
sudo=""
cleanup() {
  local status=$?
  if [ -n "$installed_here" ]; then
    echo "removing $package again"
    $sudo apt-get purge -y -qq -o DPkg::Lock::Timeout=120 "$package" >"$work/remove.log" 2>&1 ||
      { cat "$work/remove.log" >&2; echo "FAIL: could not remove $package: remove it by hand" >&2; status=1; }
  fi
  rm -rf "$work"
  exit $status
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

fail() { echo "FAIL: $*" >&2; exit 1; }
skip() { echo "SKIP: $*"; exit $skip; }
need() { command -v "$1" >/dev/null || fail "$1 is missing (Debian package $2): scripts/install-deps.sh installs it"; }

# The value of KEY in a desktop entry's main group.
entry_value() { sed -n "/^\[Desktop Entry\]/,/^\[/s/^$2=//p" "$1" | head -n1; }

# The manual pages to look for in an installed tree.
pages=(lumora-driver lumora-board-sim)

# Checks an installed tree rooted at ROOT (/ or a DESTDIR) with PREFIX: the menu entry names an
# installed program and an icon the hicolor theme holds at every size, and the pages man reads.
check_layout() {
  local root=$1 prefix=$2
  local entry=$root$prefix/share/applications/$app_id.desktop
  [ -f "$entry" ] || fail "no menu entry at $entry"
  local program icon
  program=$(entry_value "$entry" Exec | cut -d' ' -f1)
  [ "$program" = lumora-driver ] || fail "the menu entry starts '$program', not lumora-driver"
  [ -x "$root$prefix/bin/$program" ] || fail "the entry's program is not installed at $prefix/bin/$program"
  icon=$(entry_value "$entry" Icon)
  [ "$icon" = "$app_id" ] || fail "the menu entry's icon is '$icon', not the application id $app_id"
  for size in "${icon_sizes[@]}"; do
    local png=$root$prefix/share/icons/hicolor/${size}x${size}/apps/$icon.png
    [ -f "$png" ] || fail "no ${size}px icon at $png"
    file -b "$png" | grep -q "^PNG image data, $size x $size," || fail "$png is not a $size x $size PNG: $(file -b "$png")"
  done
  local launchable
  launchable=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' \
    "$root$prefix/share/metainfo/$app_id.metainfo.xml")
  [ "$launchable" = "$app_id.desktop" ] || fail "the metadata launches '$launchable', not $app_id.desktop"
  for page in "${pages[@]}"; do
    local man=$root$prefix/share/man/man1/$page.1.gz
    [ -f "$man" ] || fail "no manual page at $man"
    zcat "$man" | grep -q '^\.SH SYNOPSIS' || fail "$man has no synopsis: was --help read?"
  done
  [ -f "$root$prefix/share/doc/lumora-driver/README" ] || fail "no README among the package's documents"
  grep -q dialout "$root$prefix/share/doc/lumora-driver/README" || fail "the README does not explain the dialout group"
}

# Runs an install (cmake --install, cpack) leaving the build folder's list of installed files as
# it was: a user's own list, from installing for real, is put back, and none is left where there
# was none. (ctest runs these checks one at a time: RESOURCE_LOCK.)
keeping_manifest() {
  local manifest=$build/install_manifest.txt status=0
  if [ -f "$manifest" ]; then cp -p "$manifest" "$work/manifest"; fi
  "$@" || status=$?
  if [ -f "$work/manifest" ]; then cp -p "$work/manifest" "$manifest"; else rm -f "$manifest"; fi
  return $status
}

# Builds the package from the build tree into the temporary folder; prints its path.
build_package() {
  keeping_manifest cpack --config "$build/CPackConfig.cmake" -B "$work/cpack" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack could not build the package"; }
  local debs=("$work"/cpack/*.deb)
  if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then fail "cpack made no single package: ${debs[*]}"; fi
  echo "${debs[0]}"
}

case $mode in
metadata)
  need desktop-file-validate desktop-file-utils
  need appstreamcli appstream
  need file file
  DESTDIR=$work/root keeping_manifest cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1 ||
    { cat "$work/install.log" >&2; fail "cmake --install failed"; }
  for entry in "$work"/root/usr/share/applications/*.desktop; do
    desktop-file-validate "$entry" || fail "desktop-file-validate rejects ${entry#"$work/root"}"
  done
  appstreamcli validate --no-net "$work/root/usr/share/metainfo/$app_id.metainfo.xml" ||
    fail "appstreamcli rejects the metadata"
  check_layout "$work/root" /usr
  echo "ok: the installed menu entries, metadata, icon and manual pages"
  ;;

lintian)
  need lintian lintian
  deb=$(build_package)
  # Errors fail the check; warnings and notes are shown for the reader.
  lintian --fail-on error "$deb" || fail "lintian finds errors in $(basename "$deb")"
  echo "ok: lintian finds no errors in $(basename "$deb")"
  ;;

install)
  need file file
  need desktop-file-validate desktop-file-utils
  need man man-db
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
      sudo="sudo -n"
    else
      skip "installing a package needs root or password-less sudo, and this user has neither"
    fi
  fi
  if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -qv "not-installed"; then
    skip "$package is already installed on this machine; the check leaves it as it is"
  fi
  deb=$(build_package)
  # Files of the package that something else already put there would be taken over by it, and
  # deleted on removal: then the machine would not be as it was.
  while read -r path; do
    path=${path#.}
    [ -n "$path" ] && [ -e "$path" ] && [ ! -d "$path" ] &&
      skip "$path is already on this machine (not from the package); the check leaves it alone"
  done < <(dpkg-deb --fsys-tarfile "$deb" | tar -t)
  # Only the package itself may be installed: anything more would have to be removed again.
  extra=$(apt-get install -s -qq "$deb" 2>/dev/null | sed -n 's/^Inst \([^ ]*\).*/\1/p' | grep -vx "$package" || true)
  [ -z "$extra" ] || skip "the package would also install ${extra//$'\n'/ } here"

  # What the package holds, before it meets this machine's dpkg configuration.
  dpkg-deb -x "$deb" "$work/tree" || fail "dpkg-deb cannot unpack $(basename "$deb")"
  check_layout "$work/tree" /usr

  echo "installing $(basename "$deb")"
  installed_here=yes
  $sudo apt-get install -y -qq -o DPkg::Lock::Timeout=120 "$deb" >"$work/install.log" 2>&1 ||
    { cat "$work/install.log" >&2; fail "apt-get could not install $(basename "$deb")"; }

  # The programs, found on the PATH a desktop session has.
  path=/usr/local/bin:/usr/bin:/bin
  for program in lumora-driver lumora-board-sim; do
    found=$(PATH=$path command -v "$program") || fail "$program is not on PATH ($path)"
    [ "$found" = /usr/bin/$program ] || fail "$program on PATH is $found, not the package's /usr/bin/$program"
  done
  version=$(PATH=$path lumora-driver --version) || fail "lumora-driver --version failed"
  # The program prints its version as major.minor, the package's version extends it.
  package_version=$(dpkg-deb -f "$deb" Version)
  case $version in
  "lumora-driver "[0-9]*) [[ $package_version == "${version#lumora-driver }"* ]] ||
    fail "lumora-driver --version printed '$version', the package is version $package_version" ;;
  *) fail "lumora-driver --version printed '$version'" ;;
  esac
  PATH=$path lumora-board-sim --help >"$work/help.txt" || fail "lumora-board-sim --help failed"
  grep -q '^Usage: lumora-board-sim' "$work/help.txt" || fail "lumora-board-sim --help printed no usage"

  # A machine whose dpkg drops manual pages (path-exclude, as in minimal images) installs none:
  # there the pages were checked in the package's tree above, and man has nothing to find.
  if grep -qsE '^path-exclude[= ]+/usr/share/man/' /etc/dpkg/dpkg.cfg.d/*; then
    echo "note: dpkg on this machine excludes /usr/share/man (see /etc/dpkg/dpkg.cfg.d): man -w not checked"
    pages=()
  fi
  check_layout "" /usr
  desktop-file-validate "/usr/share/applications/$app_id.desktop" || fail "the installed menu entry does not validate"
  for page in "${pages[@]}"; do
    where=$(man -w "$page" 2>/dev/null) || fail "man does not find $page"
    [ "$where" = "/usr/share/man/man1/$page.1.gz" ] || fail "man finds $page at $where, not the package's page"
    [ "$(dpkg-query -S "$where" 2>/dev/null)" = "$package: $where" ] || fail "$where does not belong to the package"
  done
  echo "ok: installed, ran lumora-driver --version and lumora-board-sim --help from PATH, found the icon and manual pages"
  ;;

*)
  fail "unknown check '$mode': metadata, lintian or install"
  ;;
esac
