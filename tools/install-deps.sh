#!/usr/bin/env bash
# Installs the Debian packages ORMIX needs to build, test and run, only when
# something is missing (so it is quick on a ready machine).
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev libgl-dev libsmbclient-dev
  libgtest-dev googletest
  samba smbclient nbtscan iproute2 procps
  xvfb xauth libpcre2-dev clang libclang-rt-14-dev
  hicolor-icon-theme fonts-dejavu-core python3
  qt6-translations-l10n desktop-file-utils appstream dpkg-dev file xdg-utils
  qtkeychain-qt6-dev gnome-keyring dbus dbus-bin
  gvfs-backends gvfs-fuse fuse3
  libqt6sql6-sqlite libqt6sql6-psql postgresql
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "Need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  SUDO=sudo
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
