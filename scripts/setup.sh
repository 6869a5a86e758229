#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those missing: as root, or through
# sudo when the user may use it (asked without a prompt first; with a terminal, sudo may
# then ask for the password); otherwise it names them for an administrator to install, and
# fails, so that make stops here. With every package there it needs no root and changes
# nothing. It registers nothing: the build registers the driver for its user
# (scripts/register-odbc.sh).
set -euo pipefail
USAGE="usage: scripts/setup.sh    installs the Debian packages the project needs that are missing"
. "$(dirname "$0")/usage.sh"

PACKAGES=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
  tigervnc-standalone-server tigervnc-tools openbox x11-utils vncsnapshot xdotool tmux
  unixodbc-dev odbcinst unixodbc
  libsqlite3-dev sqlite3
  libxlsxwriter-dev
  fonts-liberation2
  libgtest-dev libgmock-dev libbenchmark-dev
  poppler-utils python3-openpyxl
  # a real NTFS disk (through FUSE, as root) for the test that a failed save leaves nothing there
  ntfs-3g
  fonts-crosextra-carlito python3-fonttools
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  # The line for an administrator comes before anything sudo says, so that a user whom
  # sudo turns away has it first.
  for_administrator() {
    echo "setup: these Debian packages are missing: ${missing[*]}" >&2
    echo "setup: $1; an administrator installs them with:" >&2
    echo "  apt-get install --no-install-recommends ${missing[*]}" >&2
  }
  apt_install() {
    "$@" apt-get update -qq &&
      "$@" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
  }
  if [ "$(id -u)" -eq 0 ]; then
    echo "setup: installing ${missing[*]}"
    apt_install && exit 0
    for_administrator "apt-get did not install them"
  elif ! command -v sudo >/dev/null 2>&1; then
    for_administrator "installing them needs root, and there is no sudo here"
  elif sudo -n true 2>/dev/null; then
    echo "setup: installing ${missing[*]} through sudo"
    apt_install sudo -n && exit 0
    for_administrator "sudo apt-get did not install them"
  elif [ -t 0 ]; then
    for_administrator "installing them needs root; sudo asks for your password now (Ctrl+C leaves it to an administrator)"
    apt_install sudo && exit 0
  else
    for_administrator "installing them needs root, and sudo wants a password that cannot be asked without a terminal"
  fi
  exit 1
fi
