#!/usr/bin/env bash
# Installs the Debian packages Vesk needs to build, run and test, when any is missing.
# Safe to run again; works as root or through sudo.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-svg-dev qt6-webengine-dev
    libqscintilla2-qt6-dev libicu-dev
    libbenchmark-dev libcpp-httplib-dev
    vagrant xvfb xauth fonts-dejavu-core
    icewm xdotool wmctrl x11-utils xterm dbus-daemon ruby
)

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$package")
done

if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    sudo=()
    if [[ $(id -u) -ne 0 ]]; then
        sudo=(sudo)
    fi
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
