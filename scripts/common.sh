# Shared by the set-up scripts: where things are, and root rights when needed.
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)

# Builds one preset ("default" or "asan") from the top folder.
build_preset() {
  local preset=$1
  (cd "$top" && cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset")
}

# Makes the system certificate store trust the authority of a relay data
# folder, so that Parlova, curl and browsers accept the relay's certificate.
trust_relay_authority() {
  local data=$1 name=$2
  local ca="$data/autorite/ca.crt" target="/usr/local/share/ca-certificates/$name.crt"
  [ -f "$ca" ] || { echo "Autorité introuvable : $ca" >&2; return 1; }
  if ! cmp -s "$ca" "$target" 2>/dev/null; then
    "${as_root[@]}" install -m 0644 "$ca" "$target"
    "${as_root[@]}" update-ca-certificates >/dev/null 2>&1
  fi
}

# Starts parlova-relais in the background and waits for its ready line; sets
# relay_pid and relay_port.
start_relay() {
  local exe=$1 log=$2; shift 2
  : >"$log"
  "$exe" "$@" >"$log" 2>&1 &
  relay_pid=$!
  for _ in $(seq 1 300); do
    if grep -q -E 'https://127\.0\.0\.1:[0-9]+' "$log"; then
      relay_port=$(grep -o -E 'https://127\.0\.0\.1:[0-9]+' "$log" | head -n 1 | sed 's/.*://')
      return 0
    fi
    kill -0 "$relay_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "parlova-relais n'a pas démarré :" >&2
  cat "$log" >&2
  return 1
}
