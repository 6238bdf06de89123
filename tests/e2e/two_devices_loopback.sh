#!/usr/bin/env bash
# Two devices on loopback: two headless tessik processes, each with its own
# data folders and its own X display, finding each other from a static list.
# A text copied on one arrives in the other's history with the first device's
# id; an image copied on the second arrives on the first with its files. With
# PIN pairing required on both, nothing flows between unpaired devices.
set -euo pipefail
TESSIK_BIN_DIR=${1:?usage: two_devices_loopback.sh BIN_DIR}
export TESSIK_BIN_DIR
. "$(dirname "$0")/lib.sh"
e2e_init
for tool in Xvfb xclip python3; do
  command -v "$tool" >/dev/null || e2e_fail "$tool is missing (scripts/setup installs it)"
done

mkdir -p "$E2E_TMP"/{a,b}/{data,config}
e2e_start_display; display_a=$E2E_DISPLAY
e2e_start_display; display_b=$E2E_DISPLAY
port_a=$(e2e_free_port)
port_b=$(e2e_free_port)
e2e_cli a sync enable
e2e_cli b sync enable
e2e_cli a sync name DeviceA
e2e_cli b sync name DeviceB

start_device() {  # dev display own-port peer-name peer-port
  XDG_DATA_HOME="$E2E_TMP/$1/data" XDG_CONFIG_HOME="$E2E_TMP/$1/config" DISPLAY=":$2" \
    "$TESSIK_BIN_DIR/tessik" --headless --sync-port "$3" --peer "$4@127.0.0.1:$5" \
    >"$E2E_TMP/tessik-$1.log" 2>&1 &
  E2E_PIDS+=("$!")
  eval "pid_$1=$!"
}
stop_device() {  # dev
  local pid_var="pid_$1"
  kill -TERM "${!pid_var}"
  wait "${!pid_var}" || e2e_fail "device $1 did not exit cleanly"
}

start_device a "$display_a" "$port_a" DeviceB "$port_b"
start_device b "$display_b" "$port_b" DeviceA "$port_a"
e2e_wait_recording "$E2E_TMP/tessik-a.log"
e2e_wait_recording "$E2E_TMP/tessik-b.log"

device_a=$(e2e_cli a sync status | awk -F'\t' '$1 == "device-id" { print $2 }')
[ -n "$device_a" ] || e2e_fail "device A has no id"

# A text copied on A arrives on B, stamped with A's id.
text="e2e text $RANDOM"
printf '%s' "$text" | DISPLAY=":$display_a" xclip -selection clipboard -loops 1 &
has_text() { e2e_cli b --json list | python3 -c '
import json,sys
clips=json.load(sys.stdin)
sys.exit(0 if any(c.get("plainText")==sys.argv[1] and c["deviceId"]==sys.argv[2] for c in clips) else 1)' "$text" "$device_a"; }
e2e_wait_for 20 has_text || e2e_fail "the text copied on A did not arrive on B"
echo "ok: text from A arrived on B"

# An image copied on B arrives on A with its attachment files.
python3 - "$E2E_TMP/picture.png" <<'PY'
import struct, sys, zlib
w, h = 3, 2
raw = b"".join(b"\x00" + b"\xff\x00\x00" * w for _ in range(h))
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xffffffff)
png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0)) + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b"")
open(sys.argv[1], "wb").write(png)
PY
DISPLAY=":$display_b" xclip -selection clipboard -t image/png -loops 1 -i "$E2E_TMP/picture.png" &
has_image() { e2e_cli a --json list | python3 -c '
import json,os,sys
folder=sys.argv[1]
for c in json.load(sys.stdin):
    if c["contentType"]=="image" and c.get("imagePath") and os.path.isfile(os.path.join(folder,c["imagePath"])):
        sys.exit(0)
sys.exit(1)' "$E2E_TMP/a/data/tessik/attachments"; }
e2e_wait_for 20 has_image || e2e_fail "the image copied on B did not arrive on A"
echo "ok: image from B arrived on A with its file"

# PIN pairing required on both: nothing flows between unpaired devices.
stop_device a
stop_device b
e2e_cli a sync require-pin on
e2e_cli b sync require-pin on
start_device a "$display_a" "$port_a" DeviceB "$port_b"
start_device b "$display_b" "$port_b" DeviceA "$port_a"
e2e_wait_recording "$E2E_TMP/tessik-a.log"
e2e_wait_recording "$E2E_TMP/tessik-b.log"
sleep 1
secret="e2e unpaired $RANDOM"
printf '%s' "$secret" | DISPLAY=":$display_a" xclip -selection clipboard -loops 1 &
e2e_wait_for 10 bash -c "XDG_DATA_HOME='$E2E_TMP/a/data' XDG_CONFIG_HOME='$E2E_TMP/a/config' '$TESSIK_BIN_DIR/tessik-cli' search '$secret' | grep -q ." \
  || e2e_fail "A did not record its own copy"
sleep 3
if e2e_cli b search "$secret" | grep -q .; then
  e2e_fail "a clip reached an unpaired device"
fi
echo "ok: nothing flows between unpaired devices"
stop_device a
stop_device b
echo "two devices on loopback: 3 passed, 0 failed"
