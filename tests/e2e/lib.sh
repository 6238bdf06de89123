# Helpers for the end-to-end scripts: private displays, devices with their own
# data folders, and cleanup of every process started, by PID.
# Source it; call e2e_init first. Needs TESSIK_BIN_DIR.

E2E_PIDS=()
E2E_TMP=""

e2e_init() {
  E2E_TMP=$(mktemp -d /tmp/tessik-e2e.XXXXXX)
  trap e2e_cleanup EXIT
  trap 'exit 1' INT TERM
}

e2e_cleanup() {
  local pid
  # Children the scripts started inside other processes go first, so their
  # parents reap them.
  if declare -F e2e_extra_cleanup >/dev/null; then e2e_extra_cleanup; fi
  for pid in "${E2E_PIDS[@]}"; do
    kill -TERM "$pid" 2>/dev/null || true
  done
  for pid in "${E2E_PIDS[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  [ -n "$E2E_TMP" ] && rm -rf "$E2E_TMP"
}

e2e_fail() {
  echo "FAIL: $*" >&2
  for log in "$E2E_TMP"/*.log; do
    [ -f "$log" ] && { echo "--- $log"; tail -n 30 "$log"; } >&2
  done
  exit 1
}

# Starts a private X server; sets E2E_DISPLAY to its display number. (Not in
# a command substitution: the PID must reach E2E_PIDS of this shell.)
e2e_start_display() {
  local fifo="$E2E_TMP/displayfd.$RANDOM"
  mkfifo "$fifo"
  "$@" Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$fifo" >"$E2E_TMP/xvfb.$RANDOM.log" 2>&1 &
  E2E_PIDS+=("$!")
  local display
  read -r -t 15 display <"$fifo" || e2e_fail "Xvfb did not start"
  rm -f "$fifo"
  E2E_DISPLAY=$display
}

# A free TCP port on loopback.
e2e_free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

# Runs tessik-cli for device $1 (its folder under E2E_TMP).
e2e_cli() {
  local dev=$1; shift
  XDG_DATA_HOME="$E2E_TMP/$dev/data" XDG_CONFIG_HOME="$E2E_TMP/$dev/config" \
    "$TESSIK_BIN_DIR/tessik-cli" "$@"
}

# Waits up to $1 seconds for the command in the remaining arguments to succeed.
e2e_wait_for() {
  local seconds=$1; shift
  local deadline=$((SECONDS + seconds))
  while [ "$SECONDS" -lt "$deadline" ]; do
    if "$@"; then return 0; fi
    sleep 0.2
  done
  return 1
}

# Waits until the tessik writing log $1 is recording (capture ignores what was
# on the clipboard before it started, so copies must wait for this).
e2e_wait_recording() {
  e2e_wait_for 60 grep -q "recording the clipboard" "$1" || e2e_fail "tessik did not start (log $1)"
}
