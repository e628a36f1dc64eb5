#!/usr/bin/env bash
# Installs what is missing, builds, starts the local relay (if none answers on
# its port yet) and runs Parlova against it. Arguments go to parlova, so
# `scripts/run.sh --compte` runs a command instead of the application.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
build_preset default

port=8443
data="${XDG_DATA_HOME:-$HOME/.local/share}/parlova-relais"
relay_pid=""
if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
  mkdir -p "$data"
  start_relay "$top/build/src/relay/parlova-relais" "$data/relais.log" --port "$port" --donnees "$data"
  trap 'kill "$relay_pid" 2>/dev/null || true' EXIT
  echo "Relais local : https://127.0.0.1:$port (journal et codes de connexion : $data/relais.log)"
fi

# Point Parlova at the local relay and its authority unless the user already
# chose them. Nothing goes into the system's certificate store.
set_parlova_setting relayURL "https://127.0.0.1:$port"
set_parlova_setting relayCertificate "$data/autorite/ca.crt"

"$top/build/src/app/parlova" "$@"
