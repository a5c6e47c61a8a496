#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs tst_accessibility.py against the app as a screen reader or GUI test tool meets it: a
# virtual display, the accessibility bus, the real service, and the app with its accessibility
# bridge on. Run inside a private session bus (ctest runs it under dbus-run-session).
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
pids=()
finish() {
    local pid
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${pids[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap finish EXIT

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
[ -s "$work/display" ] || { echo "Xvfb did not start"; exit 1; }
export DISPLAY=":$(cat "$work/display")"
export HOME="$work" XDG_RUNTIME_DIR="$work"
/usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
pids+=($!)
"$build/service/zav-service" --journal "$work/journal" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    "$build/ctl/zavctl" list >/dev/null 2>&1 && break
    sleep 0.1
done
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1 QT_QPA_PLATFORM=xcb \
    "$build/src/zavtestapp" >"$work/app.log" 2>&1 &
pids+=($!)
ZAVCTL="$build/ctl/zavctl" PYTHONPATH="$here/../examples/accessibility" \
    /usr/bin/python3 "$here/tst_accessibility.py" -v
