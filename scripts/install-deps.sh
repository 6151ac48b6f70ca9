#!/usr/bin/env bash
# Installs the Debian packages the driver needs to build, run and be tested; only what is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ make pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libxcb1-dev libxcb-shm0-dev libxcb-randr0-dev libxcb-damage0-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libpipewire-0.3-dev
  clang libclang-rt-14-dev
  xvfb xauth x11-utils x11-xserver-utils xdotool fonts-dejavu-core fonts-liberation2
  dbus-daemon
  help2man dpkg-dev file desktop-file-utils appstream lintian man-db
  dbus-bin libglib2.0-bin haskell-status-notifier-item-utils
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "error: need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
