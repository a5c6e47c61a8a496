# SPDX-License-Identifier: MIT
# Shared by scripts/run, scripts/test and scripts/screenshots: installs what a fresh Debian
# machine lacks and builds the project. Sourced, not run.

ZAV_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# xfce4-notifyd draws a notification's actions as buttons (scripts/run --desktop starts it when no
# daemon is there); dunst is the suite's other daemon; xdotool and x11-utils click and find windows.
# xterm runs zavctl watch for the summary notification's "Show all" button on the virtual display.
# Fonts: Latin, CJK and emoji (names a tester types are shown, not boxes); at-spi2-core and
# python3-pyatspi: the accessibility bus and a client of it, for the test that drives the app so;
# desktop-file-utils and appstream validate the installed desktop entry and metadata.
ZAV_PACKAGES=(cmake g++ make pkg-config qt6-base-dev dbus-daemon dbus-bin xvfb xauth dunst xfce4-notifyd xdotool
    x11-utils xterm fonts-dejavu-core fonts-wqy-microhei fonts-noto-color-emoji at-spi2-core python3-pyatspi
    desktop-file-utils appstream)

zav_ensure_packages() {
    local missing=() installed
    # One question for all of them: asked on every start, it must cost nothing.
    installed=$(dpkg-query -W -f='${Package} ${Status}\n' "${ZAV_PACKAGES[@]}" 2>/dev/null | grep " install ok installed" || true)
    for package in "${ZAV_PACKAGES[@]}"; do
        grep -q "^$package " <<<"$installed" || missing+=("$package")
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
    mkdir -p "$dir"
    # The stamp says which sources the build saw: taken before it starts (a file saved meanwhile
    # is newer), set once it succeeded, by scripts/test as by scripts/run.
    # Each step checked here: called in an `if`, a function runs without `set -e`.
    touch "$dir/.zav-building"
    cmake -S "$ZAV_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${options[@]}" >/dev/null || return 1
    if [ ${#targets[@]} -gt 0 ]; then
        cmake --build "$dir" -j2 --target "${targets[@]}" || return 1
    else
        cmake --build "$dir" -j2 || return 1
    fi
    mv "$dir/.zav-building" "$dir/.zav-built"
}

# zav_build_quietly DIR TARGETS...: builds only when a file of the tree (any folder but the
# build folders, the history and the documents) is newer than the last build, whether
# scripts/test or scripts/run made it, with its output in DIR/build.log (shown when it fails).
zav_build_quietly() {
    local dir=$1
    shift
    local stamp="$dir/.zav-built"
    if [ -f "$stamp" ] && [ -z "$(find "$ZAV_ROOT" \( -path "$ZAV_ROOT/.git" -o -path "$ZAV_ROOT/build*" \
        -o -path "$ZAV_ROOT/Testing" -o -path "$ZAV_ROOT/docs" -o -name '*.md' \) -prune \
        -o -type f -newer "$stamp" -print -quit 2>/dev/null)" ]; then
        return 0
    fi
    echo "Building into $dir (its output goes to $dir/build.log)..."
    mkdir -p "$dir"
    if ! zav_build "$dir" -- "$@" >"$dir/build.log" 2>&1; then
        tail -n 40 "$dir/build.log" >&2
        echo "The build failed; all of its output is in $dir/build.log" >&2
        return 1
    fi
}
