#!/usr/bin/env bash
# Installs every Debian package Trawlix needs to build, run and test.
# The one place that owns the package list; safe to run again.
set -euo pipefail

packages=(
    build-essential cmake pkg-config ninja-build ccache
    qt6-base-dev qt6-base-dev-tools libqt6svg6
    libvlc-dev vlc-plugin-base vlc-plugin-video-output
    libpcap-dev libcurl4-openssl-dev libtinyxml2-dev libssl-dev libnghttp2-dev
    libasound2-dev libpulse-dev libattr1-dev attr
    ffmpeg yt-dlp frei0r-plugins
    pulseaudio pulseaudio-utils alsa-utils
    libgtest-dev libgmock-dev
    nginx-light curl aria2 tshark chromium firefox-esr
    xvfb xauth x11-utils imagemagick trayer openbox xdotool
    clang clang-format libclang-rt-14-dev fonts-dejavu-core
    desktop-file-utils appstream groff-base dpkg-dev libcap2-bin passwd util-linux
    openssl libnss3-tools
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

# npm for the web players the stream tests install: some machines' nodejs carries it (and
# conflicts with Debian's npm package); elsewhere Debian's npm brings it.
command -v npm >/dev/null || missing+=(npm)

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# tshark asks whether non-root users may capture; the default answer is fine.
echo "wireshark-common wireshark-common/install-setuid boolean false" | $SUDO debconf-set-selections
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
