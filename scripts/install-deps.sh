#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the tools need.
# Idempotent: apt-get runs only when something is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    libsndfile1-dev libebur128-dev
    libpng-dev libfreetype-dev fonts-dejavu-core libx11-dev xvfb  # the editor window
    xdotool  # real clicks and drags on the editor window in its tests
    zenity  # file dialogs and message boxes on Linux, run for real in their tests
    libcairo2-dev  # editor artwork, drawn at build time
    clang libclang-rt-14-dev clang-format-14
    g++-mingw-w64-x86-64 g++-mingw-w64-i686 libz-mingw-w64-dev dpkg-dev  # the Windows builds and their libraries
    wine wine64 wine32:i386
    qtractor jackd2 x11-utils  # Quellor.clap in a real CLAP host, on a dummy JACK server
    libasound2-dev libjack-jackd2-dev  # that test's stand-in for the ALSA sequencer and its JACK recorder
    imagemagick python3  # that test's picture of the window and the session's plug-in state
    lv2-dev  # the LV2 plug-in's headers and the schemas its Turtle files are checked against
    lilv-utils sordi ardour  # the LV2 bundle listed, validated and played in a real host
    sox opus-tools  # make docs: each factory bank's previews joined into one Opus sound example
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

echo "install-deps: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
# The 32-bit Windows build runs under 32-bit Wine where the machine can
# execute 32-bit programs; its packages install everywhere.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -qq -o DPkg::Lock::Timeout=300
$SUDO apt-get install -y -qq --no-install-recommends --no-upgrade \
    -o DPkg::Lock::Timeout=300 "${missing[@]}"
