#!/usr/bin/env bash
# Prepares the headless Wayland desktops that the portal capture tests run on (sway and GNOME):
# installs their Debian packages (only what is missing) and, for sway, builds
# xdg-desktop-portal-wlr from Debian's own source with one fix, once, into a cache folder. The
# packaged 0.7.0 insists on a GPU buffer format even where only shared-memory buffers exist, so
# its screen casts never start on a machine without a GPU.
#
# Never fails the caller: each desktop ends in a status file of its own, either "ok" or
# "unavailable: WHY", and the tests that need that desktop skip with the reason; one desktop
# missing does not skip the others. $stack_dir/status is sway's, gnome/status GNOME's.
#
# LUMORA_STACK_DIR overrides the cache folder (default ~/.cache/lumora/wayland-stack).
set -uo pipefail

stack_dir=${LUMORA_STACK_DIR:-${HOME:-/root}/.cache/lumora/wayland-stack}
log=$stack_dir/install.log
mkdir -p "$stack_dir/gnome" || { echo "install-wayland-stack: cannot create $stack_dir" >&2; exit 0; }
: >"$log"

# Writes why the desktop ($desktop) whose status file is $1 is unavailable, and ends the subshell
# that prepares it.
unavailable() {
  local status_file=$1
  shift
  echo "unavailable: $*" >"$status_file"
  echo "install-wayland-stack: the capture tests on $desktop will be skipped: $*" >&2
  exit 0
}

# What every desktop runs on: the bus, the screen cast's daemons, the portal, gdbus to seed its
# permission store, and Qt 6 on Wayland (the tests' painter, the benchmarks' animating window).
common=(pipewire pipewire-bin wireplumber xdg-desktop-portal dbus-daemon libglib2.0-bin qt6-wayland)
# sway, and what its portal backend's build needs.
sway_packages=(
  "${common[@]}" sway swaybg meson ninja-build pkg-config gcc dpkg-dev libc6-dev
  libdrm-dev libgbm-dev libinih-dev libpipewire-0.3-dev libsystemd-dev libwayland-dev wayland-protocols scdoc
)
# mutter 43 headless renders in software through Mesa.
gnome_packages=("${common[@]}" mutter xdg-desktop-portal-gnome libegl-mesa0 libgl1-mesa-dri)

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
    sudo="sudo -n"
  else
    sudo="none"
  fi
fi

# Which of the packages named are not installed (one query for all: a query each is slow).
missing_of() {
  local installed
  installed=$(dpkg-query -W -f='${Package} ${Status}\n' "$@" 2>/dev/null | awk '/ install ok installed$/ { print $1 }')
  printf '%s\n' "$@" | sort -u | grep -vxF -f <(printf '%s\n' "$installed") || true
}

# Installs what is missing of packages $2... for the desktop whose status file is $1.
install_packages() {
  local status_file=$1
  shift
  local missing
  mapfile -t missing < <(missing_of "$@")
  [ ${#missing[@]} -eq 0 ] && return 0
  [ "$sudo" = none ] && unavailable "$status_file" "packages missing and no root or password-less sudo to install them: ${missing[*]}"
  echo "install-wayland-stack: installing ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >>"$log" 2>&1 ||
    unavailable "$status_file" "apt-get could not install ${missing[*]} (see $log)"
}

# The package lists are read once, when anything is missing at all.
mapfile -t all_missing < <(missing_of "${sway_packages[@]}" "${gnome_packages[@]}")
if [ ${#all_missing[@]} -gt 0 ] && [ "$sudo" != none ]; then
  $sudo apt-get update -qq >>"$log" 2>&1
fi

prepare_gnome() {
  desktop=GNOME
  local status_file=$stack_dir/gnome/status
  install_packages "$status_file" "${gnome_packages[@]}"
  mutter --version >>"$log" 2>&1 || unavailable "$status_file" "mutter does not run here (see $log)"
  echo ok >"$status_file"
}

prepare_sway() {
  desktop=sway
  local status_file=$stack_dir/status
  install_packages "$status_file" "${sway_packages[@]}"
  # The fixed portal backend, built once per source version and fix.
  source_package=xdg-desktop-portal-wlr
  fix_from='(cast->ctx->state->screencast_version >= 3 &&'
  fix_to='(cast->ctx->gbm != NULL \&\& cast->ctx->state->screencast_version >= 3 \&\&'
  . /etc/os-release
  codename=${VERSION_CODENAME:-bookworm}
  stamp="$codename fix-1"
  binary=$stack_dir/xdpw/xdg-desktop-portal-wlr
  if [ -x "$binary" ] && [ -f "$stack_dir/portals/wlr.portal" ] && [ "$(cat "$stack_dir/xdpw/stamp" 2>/dev/null)" = "$stamp" ]; then
    echo ok >"$status_file"
    exit 0
  fi

  # Debian's source, through a private source list and private apt state: the system's apt
  # configuration and package lists stay untouched.
  apt_dir=$stack_dir/apt
  rm -rf "$apt_dir" "$stack_dir/src" "$stack_dir/build"
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$stack_dir/src"
  uri=$(apt-get indextargets --format '$(ORIGIN)|$(CODENAME)|$(REPO_URI)' 2>/dev/null |
    awk -F'|' -v c="$codename" '$1 == "Debian" && $2 == c { print $3; exit }')
  uri=${uri:-http://deb.debian.org/debian/}
  signed=""
  [ -r /usr/share/keyrings/debian-archive-keyring.gpg ] && signed="[signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] "
  echo "deb-src ${signed}${uri} ${codename} main" >"$apt_dir/sources.list"
  apt_options=(
    -o "Dir::Etc::SourceList=$apt_dir/sources.list" -o Dir::Etc::SourceParts=/dev/null
    -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache"
    -o APT::Sandbox::User=root
  )
  apt-get "${apt_options[@]}" update >>"$log" 2>&1 ||
    unavailable "$status_file" "cannot read Debian's source index at $uri (see $log)"
  (cd "$stack_dir/src" && apt-get "${apt_options[@]}" source "$source_package" >>"$log" 2>&1) ||
    unavailable "$status_file" "cannot fetch Debian's source of $source_package (see $log)"
  tree=$(find "$stack_dir/src" -mindepth 1 -maxdepth 1 -type d -name "$source_package-*" | head -n1)
  [ -n "$tree" ] || unavailable "$status_file" "Debian's source of $source_package did not unpack (see $log)"

  file=$tree/src/screencast/screencast.c
  grep -qF "$fix_from" "$file" 2>/dev/null ||
    unavailable "$status_file" "$source_package's source no longer has the check that needs the fix ($file)"
  sed -i "s/(cast->ctx->state->screencast_version >= 3 \&\&/$fix_to/" "$file"
  grep -qF 'cast->ctx->gbm != NULL && cast->ctx->state->screencast_version >= 3' "$file" ||
    unavailable "$status_file" "the fix to $file did not apply"

  meson setup "$stack_dir/build" "$tree" -Dsd-bus-provider=libsystemd -Dsystemd=disabled -Dman-pages=disabled \
    >>"$log" 2>&1 || unavailable "$status_file" "meson could not configure $source_package (see $log)"
  ninja -C "$stack_dir/build" >>"$log" 2>&1 || unavailable "$status_file" "$source_package did not build (see $log)"

  mkdir -p "$stack_dir/xdpw" "$stack_dir/portals"
  cp "$stack_dir/build/xdg-desktop-portal-wlr" "$binary" && cp "$tree/wlr.portal" "$stack_dir/portals/wlr.portal" ||
    unavailable "$status_file" "cannot copy the built $source_package into $stack_dir"
  echo "$stamp" >"$stack_dir/xdpw/stamp"
  rm -rf "$apt_dir" "$stack_dir/src" "$stack_dir/build"
  echo ok >"$status_file"
  echo "install-wayland-stack: built the portal backend into $stack_dir/xdpw"
}

( prepare_sway )
( prepare_gnome )
exit 0
