# SPDX-License-Identifier: MIT
# Shared by scripts/run, scripts/test and scripts/screenshots: installs what a fresh Debian
# machine lacks and builds the project. Sourced, not run.

ZAV_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
ZAV_PACKAGES=(cmake g++ make pkg-config qt6-base-dev dbus-daemon dbus-bin xvfb xauth fonts-dejavu-core dunst)

zav_ensure_packages() {
    local missing=()
    for package in "${ZAV_PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# zav_build DIR [cmake options...] [-- targets...]
zav_build() {
    local dir=$1
    shift
    local options=() targets=()
    while [ $# -gt 0 ] && [ "$1" != "--" ]; do options+=("$1"); shift; done
    [ "${1:-}" = "--" ] && shift && targets=("$@")
    cmake -S "$ZAV_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${options[@]}" >/dev/null
    if [ ${#targets[@]} -gt 0 ]; then
        cmake --build "$dir" -j2 --target "${targets[@]}"
    else
        cmake --build "$dir" -j2
    fi
}
