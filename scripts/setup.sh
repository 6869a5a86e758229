#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those missing: as root, or through
# sudo when there is sudo; otherwise it names them for an administrator to install. With
# every package there it needs no root and changes nothing. It registers nothing: the
# build registers the driver for its user (scripts/register-odbc.sh).
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
  tigervnc-standalone-server tigervnc-tools openbox x11-utils vncsnapshot
  unixodbc-dev odbcinst unixodbc
  libsqlite3-dev sqlite3
  libxlsxwriter-dev
  fonts-liberation2
  libgtest-dev libgmock-dev libbenchmark-dev
  poppler-utils python3-openpyxl
  fonts-crosextra-carlito python3-fonttools
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  SUDO=()
  if [ "$(id -u)" -ne 0 ] && command -v sudo >/dev/null 2>&1; then SUDO=(sudo); fi
  if [ "$(id -u)" -eq 0 ] || ((${#SUDO[@]})); then
    echo "setup: installing ${missing[*]}"
    if "${SUDO[@]}" apt-get update -qq &&
      "${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"; then
      exit 0
    fi
    why="${SUDO[*]}${SUDO:+ }apt-get did not install them"
  else
    why="installing them needs root, and there is no sudo here"
  fi
  echo "setup: these Debian packages are missing: ${missing[*]}" >&2
  echo "setup: $why; an administrator installs them with:" >&2
  echo "  apt-get install --no-install-recommends ${missing[*]}" >&2
  exit 1
fi
