#!/usr/bin/env bash
# Installs the Debian 12 packages Reelfinch needs to build, run and test. Runs apt-get only when something
# is missing; uses sudo when not run as root.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    zlib1g-dev liblzma-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    clang libclang-rt-14-dev
    qt6-base-dev qt6-svg-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools libgl-dev
    libcairo2-dev libcurl4-openssl-dev libpulse-dev libjpeg62-turbo-dev
    libfontconfig-dev libavcodec-dev libavformat-dev libavutil-dev libswresample-dev libswscale-dev libseccomp-dev
    fonts-dejavu-core fonts-urw-base35
    xvfb xauth x11-utils xdotool openbox pulseaudio pulseaudio-utils ffmpeg ccache
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
