#!/usr/bin/env bash
# Installs, with apt-get, the Debian 12 packages the build and the tests need; only the
# missing ones, so running it again is cheap.
set -euo pipefail

# xdg-utils gives the desktop's opener (xdg-open, xdg-mime) that Qt and the export call;
# file is what xdg-mime asks for a file's type. openbox is the light window manager some
# real-window tests run under; x11-utils gives xev, which times the session benchmark's first
# screen from its map event; libc-l10n the C library's translations, so that the tests can
# show the program's file errors stay English under another language.
packages=(
  cmake ninja-build g++ clang
  qt6-base-dev libjpeg62-turbo-dev libgif-dev libpng-dev libxlsxwriter-dev
  libgtest-dev libgmock-dev libbenchmark-dev libmuparserx-dev python3 python3-openpyxl
  libreoffice-calc-nogui
  fonts-dejavu-core fonts-liberation xvfb xauth x11-apps imagemagick xdotool locales
  xdg-utils file openbox x11-utils libc-l10n
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# A comma-separator locale, so that the tests can show that number texts ignore the process
# locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  $sudo locale-gen >/dev/null
fi
