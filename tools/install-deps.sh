#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when any is missing.
# Sourced or run by the other scripts; runs apt-get as root (or through sudo).
set -euo pipefail

tessel_packages=(
    cmake ninja-build
    g++-mingw-w64-x86-64-posix mingw-w64-tools
    wine wine64 xvfb xauth
    googletest
    fontconfig fonts-ipafont-gothic fonts-wine
    imagemagick
    clang-tidy cppcheck
    locales
)

missing=()
for package in "${tessel_packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if [ "${#missing[@]}" -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    if [ "$(id -u)" -ne 0 ]; then
        sudo_cmd=(sudo)
    fi
    "${sudo_cmd[@]}" apt-get update -q
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The settings tests run once more as on a Japanese system: Wine takes code page 932 from a
# Japanese locale, which must exist on this machine.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
    sudo_cmd=()
    if [ "$(id -u)" -ne 0 ]; then
        sudo_cmd=(sudo)
    fi
    "${sudo_cmd[@]}" localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi
