#!/usr/bin/env bash
# Installs every Debian package Velmora needs to build, test and run.
# Run as root on Debian 12; it does nothing more when everything is present.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev qt6-tools-dev qt6-tools-dev-tools
  qt6-l10n-tools qt6-translations-l10n qt6-svg-dev libqt6svg6 qt6-qpa-plugins qcoro-qt6-dev
  libsqlite3-dev libsqlitecpp-dev sqlite3
  libicu-dev libssl-dev libcld2-dev
  libavcodec-dev libavformat-dev libavutil-dev libswresample-dev libsamplerate0-dev
  libhunspell-dev hunspell-en-us hunspell-en-gb
  libx11-dev libxi-dev libxtst-dev libxcb1-dev libxcb-xinput-dev libxcb-xkb-dev libpulse-dev
  pulseaudio
  libcpp-httplib-dev libgtest-dev libgmock-dev libbenchmark-dev
  ffmpeg sox curl openssl xvfb xauth clang-format
  gstreamer1.0-plugins-base
  breeze-icon-theme fonts-noto-cjk
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
# --check only reports whether anything is missing.
if [ "${1:-}" = "--check" ]; then
  exit 1
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "setup: these packages are missing and installing them needs root: ${missing[*]}" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends "${missing[@]}"
