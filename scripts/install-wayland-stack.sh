#!/usr/bin/env bash
# Prepares the headless Wayland desktop that the portal capture tests run on: installs its Debian
# packages (only what is missing) and builds xdg-desktop-portal-wlr from Debian's own source with
# one fix, once, into a cache folder. The packaged 0.7.0 insists on a GPU buffer format even where
# only shared-memory buffers exist, so its screen casts never start on a machine without a GPU.
#
# Never fails the caller: it ends by writing $stack_dir/status, either "ok" or "unavailable: WHY",
# and the tests that need the stack skip with that reason.
#
# LUMORA_STACK_DIR overrides the cache folder (default ~/.cache/lumora/wayland-stack).
set -uo pipefail

stack_dir=${LUMORA_STACK_DIR:-${HOME:-/root}/.cache/lumora/wayland-stack}
status_file=$stack_dir/status
log=$stack_dir/install.log
mkdir -p "$stack_dir" || { echo "install-wayland-stack: cannot create $stack_dir" >&2; exit 0; }
: >"$log"

unavailable() {
  echo "unavailable: $*" >"$status_file"
  echo "install-wayland-stack: the Wayland capture tests will be skipped: $*" >&2
  exit 0
}

# What the stack runs on (qt6-wayland: the benchmarks' animating window is a Qt client of it), and
# what the portal backend's build needs.
packages=(
  sway swaybg pipewire pipewire-bin wireplumber xdg-desktop-portal dbus-daemon qt6-wayland
  meson ninja-build pkg-config gcc dpkg-dev libc6-dev
  libdrm-dev libgbm-dev libinih-dev libpipewire-0.3-dev libsystemd-dev libwayland-dev wayland-protocols scdoc
)

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
    sudo="sudo -n"
  else
    sudo="none"
  fi
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  [ "$sudo" = none ] && unavailable "packages missing and no root or password-less sudo to install them: ${missing[*]}"
  echo "install-wayland-stack: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq >>"$log" 2>&1
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >>"$log" 2>&1 ||
    unavailable "apt-get could not install ${missing[*]} (see $log)"
fi

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
  unavailable "cannot read Debian's source index at $uri (see $log)"
(cd "$stack_dir/src" && apt-get "${apt_options[@]}" source "$source_package" >>"$log" 2>&1) ||
  unavailable "cannot fetch Debian's source of $source_package (see $log)"
tree=$(find "$stack_dir/src" -mindepth 1 -maxdepth 1 -type d -name "$source_package-*" | head -n1)
[ -n "$tree" ] || unavailable "Debian's source of $source_package did not unpack (see $log)"

file=$tree/src/screencast/screencast.c
grep -qF "$fix_from" "$file" 2>/dev/null ||
  unavailable "$source_package's source no longer has the check that needs the fix ($file)"
sed -i "s/(cast->ctx->state->screencast_version >= 3 \&\&/$fix_to/" "$file"
grep -qF 'cast->ctx->gbm != NULL && cast->ctx->state->screencast_version >= 3' "$file" ||
  unavailable "the fix to $file did not apply"

meson setup "$stack_dir/build" "$tree" -Dsd-bus-provider=libsystemd -Dsystemd=disabled -Dman-pages=disabled \
  >>"$log" 2>&1 || unavailable "meson could not configure $source_package (see $log)"
ninja -C "$stack_dir/build" >>"$log" 2>&1 || unavailable "$source_package did not build (see $log)"

mkdir -p "$stack_dir/xdpw" "$stack_dir/portals"
cp "$stack_dir/build/xdg-desktop-portal-wlr" "$binary" && cp "$tree/wlr.portal" "$stack_dir/portals/wlr.portal" ||
  unavailable "cannot copy the built $source_package into $stack_dir"
echo "$stamp" >"$stack_dir/xdpw/stamp"
rm -rf "$apt_dir" "$stack_dir/src" "$stack_dir/build"
echo ok >"$status_file"
echo "install-wayland-stack: built the portal backend into $stack_dir/xdpw"
