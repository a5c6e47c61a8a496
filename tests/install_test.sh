#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the build into a temporary prefix, checks what a desktop and a developer look for, and
# starts the installed app against the installed service through bus activation.
set -euo pipefail
build=$1
work=$(mktemp -d)
prefix="$work/prefix"
daemon_pid=""
app_pid=""
service_pid=""
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    [ -n "$service_pid" ] && kill "$service_pid" 2>/dev/null || true
    [ -n "$daemon_pid" ] && kill "$daemon_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
libdir=$(ls -d "$prefix"/lib*/ | head -n 1)
for file in bin/zavtestapp bin/zav-service bin/zavctl bin/zav-desktop include/zav/ZavClient.h \
            share/man/man1/zavtestapp.1 share/man/man1/zavctl.1 share/man/man1/zav-service.1 share/man/man1/zav-desktop.1 \
            share/bash-completion/completions/zavctl \
            share/dbus-1/services/com.kelvo.zav.service share/applications/com.kelvo.zavtestapp.desktop \
            share/icons/hicolor/scalable/apps/com.kelvo.zavtestapp.svg share/qlogging-categories6/zav.categories \
            share/metainfo/com.kelvo.zavtestapp.metainfo.xml lib/systemd/user/zav-service.service; do
    [ -e "$prefix/$file" ] || fail "$file is not installed"
done
[ -e "$libdir/libzavclient.so.0" ] || fail "libzavclient.so.0 is not installed"
grep -qx "Exec=$prefix/bin/zav-service" "$prefix/share/dbus-1/services/com.kelvo.zav.service" \
    || fail "the activation file does not start the installed service"
grep -qx "Exec=$prefix/bin/zavtestapp" "$prefix/share/applications/com.kelvo.zavtestapp.desktop" \
    || fail "the desktop entry does not start the installed app"
grep -qx "ExecStart=$prefix/bin/zav-service" "$prefix/lib/systemd/user/zav-service.service" \
    || fail "the systemd user unit does not start the installed service"
grep -qx "SystemdService=zav-service.service" "$prefix/share/dbus-1/services/com.kelvo.zav.service" \
    || fail "the activation file does not name the systemd unit"
# The desktop entry and the AppStream metadata are valid as desktops and software centres read them.
desktop-file-validate "$prefix/share/applications/com.kelvo.zavtestapp.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$prefix/share/metainfo/com.kelvo.zavtestapp.metainfo.xml" >/dev/null \
    || fail "appstreamcli validate"
# Every installed file is in the manifest (a packager's file list, an uninstall), and no more.
diff <(find "$prefix" -type f -o -type l | sort) <(sort "$build/install_manifest.txt") \
    || fail "install_manifest.txt differs from what was installed"

# The manual page reads, and the completion offers zavctl's commands (zavctl on the PATH says which).
man -l "$prefix/share/man/man1/zavctl.1" 2>/dev/null | grep -q "zavctl - the tester's side" \
    || ! command -v man >/dev/null || fail "the zavctl manual page does not read"
# Every logging category the programs declare is in the installed categories file.
source_dir=$(cd "$(dirname "$0")/.." && pwd)
for category in $(grep -rhoE 'Q_LOGGING_CATEGORY\([^,]+, "[^"]+"' "$source_dir"/{client,common,ctl,desktop,framework,scenario,service,src} \
                  | sed -E 's/.*"(.*)"/\1/'); do
    grep -q "^$category " "$prefix/share/qlogging-categories6/zav.categories" || fail "$category is not in zav.categories"
done
# The app answers --help and --version without a display or a bus.
env -u DISPLAY -u DBUS_SESSION_BUS_ADDRESS "$prefix/bin/zavtestapp" --version | grep -qx "zavtestapp [0-9.]*" \
    || fail "zavtestapp --version"
env -u DISPLAY "$prefix/bin/zavtestapp" --help | grep -q "^Usage: zavtestapp" || fail "zavtestapp --help"
# shellcheck disable=SC1091
words=$(PATH="$prefix/bin:$PATH" bash -c "source '$prefix/share/bash-completion/completions/zavctl'; COMP_WORDS=(zavctl pl); COMP_CWORD=1; _zavctl; echo \"\${COMPREPLY[*]}\"")
[ "$words" = "play" ] || fail "the completion offers \"$words\" for zavctl pl"

# A program built against the installed library through pkg-config.
cat > "$work/uses.cpp" <<'CPP'
#include <zav/ZavClient.h>
int main() { Zav::Client client; return client.isServiceAvailable() ? 1 : 0; }
CPP
export PKG_CONFIG_PATH="$libdir/pkgconfig"
sanitize=""
# A library built with the sanitizers needs their runtime in the program too.
# (ldd's output is read whole: with pipefail, grep -q stopping early would fail the pipeline.)
case "$(ldd "$libdir/libzavclient.so.0")" in *libasan*) sanitize="-fsanitize=address,undefined" ;; esac
# shellcheck disable=SC2046
g++ -std=c++17 -fPIC $sanitize "$work/uses.cpp" -o "$work/uses" $(pkg-config --cflags --libs zavclient) \
    -Wl,-rpath,"$libdir" || fail "cannot build against the installed library"
"$work/uses" || fail "a program built against the installed library does not run"
[ "$(pkg-config --modversion zavclient)" = "$(sed -n 's/^project(ZAVTestApp VERSION \([0-9.]*\).*/\1/p' "$(dirname "$0")/../CMakeLists.txt")" ] \
    || fail "the pkg-config file's version is not the project's"

# The same program through CMake's package, and the interface files where D-Bus tools look.
mkdir -p "$work/consumer"
cp "$work/uses.cpp" "$work/consumer/"
cat > "$work/consumer/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.16)
project(uses LANGUAGES CXX)
find_package(ZavClient 0.1 REQUIRED)
add_executable(uses uses.cpp)
target_link_libraries(uses PRIVATE Zav::ZavClient)
CMAKE
cmake -S "$work/consumer" -B "$work/consumer/build" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_CXX_FLAGS="$sanitize" -DCMAKE_EXE_LINKER_FLAGS="$sanitize" >/dev/null \
    || fail "find_package(ZavClient) does not find the installed library"
cmake --build "$work/consumer/build" >/dev/null || fail "cannot build through find_package(ZavClient)"
"$work/consumer/build/uses" || fail "a program built through find_package(ZavClient) does not run"
for xml in com.kelvo.zav.Transfers.xml com.kelvo.zav.Control.xml; do
    [ -e "$prefix/share/dbus-1/interfaces/$xml" ] || fail "$xml is not installed"
done

# A bus that knows only the installed activation file.
cat > "$work/bus.conf" <<CONF
<busconfig><type>session</type><listen>unix:dir=$work</listen>
<servicedir>$prefix/share/dbus-1/services</servicedir>
<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/></policy></busconfig>
CONF
dbus-daemon --config-file="$work/bus.conf" --nofork --print-address=3 3>"$work/address" &
daemon_pid=$!
for _ in $(seq 50); do [ -s "$work/address" ] && break; sleep 0.1; done
export DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$work/address")
has_owner() {
    dbus-send --session --reply-timeout=2000 --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
        string:com.kelvo.zav 2>/dev/null | grep -q "boolean true"
}
has_owner && fail "the service runs before anyone asked for it"

mkdir -p "$work/home"
HOME="$work/home" QT_QPA_PLATFORM=offscreen "$prefix/bin/zavtestapp" >"$work/app.out" 2>&1 &
app_pid=$!
# The app opens its service connection 100 ms after its main page appears.
for _ in $(seq 100); do has_owner && break; sleep 0.1; done
has_owner || fail "the installed app did not start the installed service"
service_pid=$(dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
    org.freedesktop.DBus.GetConnectionUnixProcessID string:com.kelvo.zav | awk '/uint32/ {print $2}')
[ "$(readlink -f /proc/"$service_pid"/exe)" = "$(readlink -f "$prefix/bin/zav-service")" ] \
    || fail "the service on the bus is not the installed one"
"$prefix/bin/zavctl" list >/dev/null || fail "the installed zavctl cannot reach the service"
sleep 0.3
log=$(ls "$work"/home/.local/share/ZAVTestApp/*.log)
# The app's words when it finds no service are in the program (else their absence below proves
# nothing), and not in its log.
grep -aq "Failed to open ZAV connection" "$prefix/bin/zavtestapp" || fail "the app no longer says it finds no service"
grep -q "Failed to open ZAV connection" "$log" && fail "the app did not reach the service"
echo "1 passed, 0 failed"
