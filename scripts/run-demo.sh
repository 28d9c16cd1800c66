#!/usr/bin/env bash
# Builds the program and starts it against the simulated interface unit, with
# a throw-away settings store whose serial port is the simulator's pty.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build -j "$(nproc)"

app=build/app/kvt-config

work=$(mktemp -d)
link="$work/interface-unit"
cleanup() { [ -n "${sim_pid:-}" ] && kill "$sim_pid" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
build/tests/sim/kvt-sim --link "$link" --repeaters 9247,12345678,4194305 &
sim_pid=$!
for _ in $(seq 50); do [ -e "$link" ] && break; sleep 0.1; done

# The settings of a first run with the simulator's pty as the port: the key
# must be whole, since the settings load stops at the first value it misses.
mkdir -p "$work/config/kvt-config-tool"
sed "s|@PORT@|$link|" tests/support/startup-settings.reg > "$work/config/kvt-config-tool/registry.txt"
XDG_CONFIG_HOME="$work/config" "$app"
