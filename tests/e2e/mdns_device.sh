#!/usr/bin/env bash
# One device of the real mDNS test, run inside its own network namespace and
# a private mount namespace: its own system bus, Avahi daemon, X display and
# headless tessik. Writes the PIDs it starts to $STATE/pids and the display
# number to $STATE/display, then waits until it is stopped.
set -euo pipefail
STATE=${1:?} BIN_DIR=${2:?} DATA=${3:?} CONFIG=${4:?}

mount --make-rprivate /
mkdir -p /run/dbus /run/avahi-daemon
mount -t tmpfs tmpfs /run/dbus
mount -t tmpfs tmpfs /run/avahi-daemon

dbus-daemon --system --nofork --nopidfile >"$STATE/dbus.log" 2>&1 &
echo $! >>"$STATE/pids"
for _ in $(seq 100); do [ -S /run/dbus/system_bus_socket ] && break; sleep 0.05; done

avahi-daemon --no-drop-root --no-chroot --no-rlimits >"$STATE/avahi.log" 2>&1 &
echo $! >>"$STATE/pids"
for _ in $(seq 100); do [ -e /run/avahi-daemon/socket ] && break; sleep 0.05; done

mkfifo "$STATE/displayfd"
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$STATE/displayfd" >"$STATE/xvfb.log" 2>&1 &
echo $! >>"$STATE/pids"
read -r -t 15 display <"$STATE/displayfd"

XDG_DATA_HOME="$DATA" XDG_CONFIG_HOME="$CONFIG" DISPLAY=":$display" \
  "$BIN_DIR/tessik" --headless --discovery avahi >"$STATE/tessik.log" 2>&1 &
echo $! >>"$STATE/pids"
echo "$display" >"$STATE/display"
wait
