#!/usr/bin/env bash
# Installs the Debian packages the project needs (only those missing) and registers the
# company-file ODBC driver with unixODBC once it has been built.
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
  echo "setup: installing ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Register the driver of the program build once it exists (the Makefile's build target
# registers it again after every build).
if [ -f build/lib/libqvx_myodbc.so ]; then
  scripts/register-odbc.sh build
fi
