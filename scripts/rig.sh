#!/usr/bin/env bash
# Runs a command inside the test rig: a private D-Bus session with an unlocked
# gnome-keyring, an Xvfb display, a headless Wayland compositor with
# XWayland, PulseAudio with a null sink whose monitor is the default
# microphone, a PostgreSQL server for the relays, and a relay certificate
# authority that Parlova's settings trust. Everything lives in a throw-away
# HOME, so the developer's own keyring, sound and settings are never touched.
#   scripts/rig.sh [--build DIR] <command...>
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

build="$top/build"
if [ "${1:-}" = "--build" ]; then build=$2; shift 2; fi

if [ -z "${PARLOVA_RIG_BUS:-}" ]; then
  exec env PARLOVA_RIG_BUS=1 dbus-run-session -- "$0" --build "$build" "$@"
fi

rig=$(mktemp -d /tmp/parlova-rig.XXXXXX)
children=()
cleanup() {
  for pid in "${children[@]}"; do kill "$pid" 2>/dev/null || true; done
  pulseaudio --kill 2>/dev/null || true
  stop_postgres
  wait 2>/dev/null || true
  rm -rf "$rig" "${wayland:-}"
}
trap cleanup EXIT

export HOME="$rig/home" XDG_CONFIG_HOME="$rig/home/.config" XDG_DATA_HOME="$rig/home/.local/share"
export XDG_RUNTIME_DIR="$rig/run"
mkdir -p "$HOME/.local/share/keyrings" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 0700 "$XDG_RUNTIME_DIR"

# Keyring: the keyrings folder must exist first, or the daemon wants a
# graphical prompt and every write fails as "locked collection".
eval "$(printf 'parlova-rig' | gnome-keyring-daemon --unlock --components=secrets)"
export GNOME_KEYRING_CONTROL

# Display: the first free number from 90 up.
display=90
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1280x800x24 -nolisten tcp >"$rig/xvfb.log" 2>&1 &
children+=($!)
for _ in $(seq 1 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
[ -e "/tmp/.X11-unix/X$display" ] || { echo "Xvfb n'a pas démarré" >&2; cat "$rig/xvfb.log" >&2; exit 1; }
export DISPLAY=":$display"

# Wayland: a headless sway with XWayland, as the desktop of one unprivileged
# user (sway refuses root, and runs its bindings as its own user). Root
# processes still reach its sockets. Tests that want it set WAYLAND_DISPLAY
# themselves from PARLOVA_WAYLAND_DISPLAY, so every X11 test runs as before.
wayland=$(mktemp -d /tmp/parlova-wayland.XXXXXX)
mkdir -p "$wayland/run" "$wayland/home"
chmod 0700 "$wayland/run"
sed -e "s|@WAYLAND@|$wayland|g" -e "s|@PARLOVA@|$build/src/app/parlova|g" \
  "$top/scripts/sway.conf" >"$wayland/sway.conf"
chown -R 65534:65534 "$wayland"
chmod 0755 "$wayland"
setpriv --reuid=65534 --regid=65534 --clear-groups \
  env -i HOME="$wayland/home" XDG_RUNTIME_DIR="$wayland/run" PATH=/usr/bin:/bin \
  WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
  sway -c "$wayland/sway.conf" >"$rig/sway.log" 2>&1 &
children+=($!)
for _ in $(seq 1 100); do [ -s "$wayland/home/display" ] && break; sleep 0.1; done
[ -s "$wayland/home/display" ] || { echo "sway n'a pas démarré" >&2; cat "$rig/sway.log" >&2; exit 1; }
export PARLOVA_WAYLAND_DISPLAY="$wayland/run/wayland-1"
PARLOVA_SWAYSOCK=$(ls "$wayland"/run/sway-ipc.*.sock)
PARLOVA_XWAYLAND_DISPLAY=$(cat "$wayland/home/display")
# Where the desktop's programs (its bindings' `parlova --relacher`) look for
# the running instance's socket.
PARLOVA_WAYLAND_RUNTIME="$wayland/run"
export PARLOVA_SWAYSOCK PARLOVA_XWAYLAND_DISPLAY PARLOVA_WAYLAND_RUNTIME

# Sound: Qt Multimedia lists no monitor source, so the null sink's monitor is
# remapped into a real source that becomes the default microphone.
pulseaudio --daemonize=yes --exit-idle-time=-1 --disallow-exit --log-target=file:"$rig/pulse.log" \
  -n --load="module-native-protocol-unix" --load="module-null-sink sink_name=parlova_sortie" \
  >/dev/null 2>&1 || true
for _ in $(seq 1 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl info >/dev/null 2>&1 || { echo "PulseAudio n'a pas démarré" >&2; cat "$rig/pulse.log" >&2 || true; exit 1; }
pactl load-module module-remap-source master=parlova_sortie.monitor source_name=parlova_micro >/dev/null
pactl set-default-sink parlova_sortie
pactl set-default-source parlova_micro

# Relay authority: made once per build folder (again if it predates the name
# constraints) and trusted by Parlova through its relayCertificate setting,
# never by the system store.
authority="$build/rig-relais"
if ! relay_authority_constrained "$authority"; then
  rm -rf "$authority"
  start_relay "$build/src/relay/parlova-relais" "$rig/relais.log" --port 0 --donnees "$authority" --moteur test
  kill "$relay_pid"; wait "$relay_pid" 2>/dev/null || true
fi
set_parlova_setting relayCertificate "$authority/autorite/ca.crt"
export PARLOVA_TEST_CA_DIR="$authority"

# PostgreSQL: one server for the run; each relay of a test that wants it
# makes its own base there.
start_postgres
export PARLOVA_TEST_POSTGRES="$postgres_uri"

export PARLOVA_RIG=1
"$@"
