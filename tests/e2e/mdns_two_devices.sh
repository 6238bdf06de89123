#!/usr/bin/env bash
# Two devices with real mDNS: two network namespaces joined by a veth pair,
# each with its own system bus, Avahi daemon, X display and headless tessik
# finding the other through Avahi. A text copied on one arrives on the other.
# Needs root and working `ip netns`; otherwise it says so and skips (exit 77).
# Every process it started is stopped by PID and the namespaces are deleted,
# also on failure.
set -euo pipefail
TESSIK_BIN_DIR=${1:?usage: mdns_two_devices.sh BIN_DIR}
export TESSIK_BIN_DIR
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"

skip() { echo "SKIP: real mDNS test: $*"; exit 77; }
[ "$(id -u)" = 0 ] || skip "needs root for network namespaces"
for tool in ip unshare dbus-daemon avahi-daemon Xvfb xclip python3; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done
probe="tessik-probe-$$"
ip netns add "$probe" 2>/dev/null || skip "ip netns does not work here"
ip netns del "$probe"

e2e_init
ns_a="tessik-a-$$"
ns_b="tessik-b-$$"
e2e_extra_cleanup() {
  local state pid
  for state in "$E2E_TMP/state-a" "$E2E_TMP/state-b"; do
    [ -f "$state/pids" ] || continue
    while read -r pid; do kill -TERM "$pid" 2>/dev/null || true; done <"$state/pids"
    sleep 1
    while read -r pid; do kill -KILL "$pid" 2>/dev/null || true; done <"$state/pids"
  done
  ip netns del "$ns_a" 2>/dev/null || true
  ip netns del "$ns_b" 2>/dev/null || true
}

ip netns add "$ns_a"
ip netns add "$ns_b"
ip link add "ta$$" type veth peer name "tb$$"
ip link set "ta$$" netns "$ns_a"
ip link set "tb$$" netns "$ns_b"
# Documentation addresses, only ever inside these two namespaces.
ip -n "$ns_a" addr add 192.0.2.1/24 dev "ta$$"
ip -n "$ns_b" addr add 192.0.2.2/24 dev "tb$$"
for ns in "$ns_a" "$ns_b"; do
  ip -n "$ns" link set lo up
done
ip -n "$ns_a" link set "ta$$" up
ip -n "$ns_b" link set "tb$$" up

for dev in a b; do
  mkdir -p "$E2E_TMP/$dev/data" "$E2E_TMP/$dev/config" "$E2E_TMP/state-$dev"
  e2e_cli "$dev" sync enable
  e2e_cli "$dev" sync name "Device${dev^^}"
done

start() {  # dev namespace
  ip netns exec "$2" unshare --mount bash "$here/mdns_device.sh" "$E2E_TMP/state-$1" \
    "$TESSIK_BIN_DIR" "$E2E_TMP/$1/data" "$E2E_TMP/$1/config" &
  E2E_PIDS+=("$!")
}
start a "$ns_a"
start b "$ns_b"
for dev in a b; do
  e2e_wait_for 20 test -s "$E2E_TMP/state-$dev/display" || e2e_fail "device $dev did not start"
done
display_a=$(cat "$E2E_TMP/state-a/display")
e2e_wait_recording "$E2E_TMP/state-a/tessik.log"
e2e_wait_recording "$E2E_TMP/state-b/tessik.log"

device_a=$(e2e_cli a sync status | awk -F'\t' '$1 == "device-id" { print $2 }')
text="mdns text $RANDOM"
# Give the daemons a moment to announce and find each other first.
sleep 3
printf '%s' "$text" | DISPLAY=":$display_a" ip netns exec "$ns_a" xclip -selection clipboard -loops 1 &
E2E_PIDS+=("$!")
arrived() { e2e_cli b --json list | python3 -c '
import json,sys
sys.exit(0 if any(c.get("plainText")==sys.argv[1] and c["deviceId"]==sys.argv[2] for c in json.load(sys.stdin)) else 1)' "$text" "$device_a"; }
if ! e2e_wait_for 40 arrived; then
  for f in "$E2E_TMP"/state-*/*.log; do echo "--- $f"; tail -n 20 "$f"; done >&2
  e2e_fail "the text copied on A did not arrive on B over mDNS"
fi
echo "ok: a copy on A arrived on B, found through Avahi"
echo "real mDNS: 1 passed, 0 failed"
