#!/usr/bin/env bash
# Runs the airvane command-line host against the example world in examples/sim: lists the
# adapters (with discovery), scans, connects with WPA-PSK until the handshake completes, and
# shows that a wrong pass phrase fails with exit status 4 (authentication failed).
#
# Usage: tools/airvane/demo.sh [BUILD_DIR]   (default: build/default, as made by
#        cmake --preset default && cmake --build --preset default)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="${1:-$root/build/default}"
cli="$build/bin/airvane"
world="$root/examples/sim"
if [[ ! -x "$cli" ]]; then
    echo "demo: $cli not found; build first: cmake --preset default && cmake --build --preset default" >&2
    exit 2
fi

# WEP Plus keys would go to the registry store; keep the demo's store out of the user's.
store="$(mktemp -d)"
trap 'rm -rf "$store"' EXIT
export AIRVANE_REGISTRY="$store/registry.db"

run() {
    local shown="" arg
    for arg in "$@"; do
        [[ $arg == *" "* ]] && arg="\"$arg\""
        shown+=" $arg"
    done
    printf '\n$ airvane%s\n' "$shown"
    "$cli" -C "$world" "$@"
}

run adapters --discover
run scan sim0
run connect sim0 --ssid HomeNet --wpa-psk "correct horse battery staple"
status=0
run connect sim0 --ssid HomeNet --wpa-psk "not the right pass phrase" || status=$?
echo "(exit status $status)"
[[ $status -eq 4 ]]
