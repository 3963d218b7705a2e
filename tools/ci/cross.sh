#!/usr/bin/env bash
# The cross builds, each a workflow preset (configure, build, test): 32-bit x86 Linux, and
# Windows i686 and x86_64 with their tests under Wine.
#   tools/ci/cross.sh [PRESET...]   (default: linux-x86 win32 win64)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
cd "$root"
presets=("$@")
((${#presets[@]})) || presets=(linux-x86 win32 win64)

binfmt=/proc/sys/fs/binfmt_misc
registered_qemu=0

# True when this machine runs a 32-bit x86 Linux program.
runs_i386() {
    local probe status
    probe="$(mktemp -d)"
    printf 'int main(void) { return 0; }\n' >"$probe/probe.c"
    status=1
    if gcc -m32 "$probe/probe.c" -o "$probe/probe"; then
        "$probe/probe" 2>/dev/null && status=0
    fi
    rm -rf "$probe"
    return $status
}

# A kernel without 32-bit x86 support still runs 32-bit Linux programs through qemu's
# user-mode emulator registered with binfmt_misc (needs root). Undone by restore_i386.
ensure_i386() {
    runs_i386 && return 0
    echo "cross: this kernel runs no 32-bit x86 code; 32-bit Linux programs go through qemu-i386"
    [[ -e $binfmt/register ]] || mount -t binfmt_misc binfmt_misc "$binfmt"
    if [[ ! -e $binfmt/qemu-i386 ]]; then
        local magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
        local mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
        printf '%s' ":qemu-i386:M::$magic:$mask:/usr/bin/qemu-i386-static:F" >"$binfmt/register"
        registered_qemu=1
    fi
    runs_i386
}

# Removes the registration made above, so that Wine never runs its 32-bit side through qemu
# (far too slow to boot a prefix).
restore_i386() {
    if ((registered_qemu)); then
        echo -1 >"$binfmt/qemu-i386"
        registered_qemu=0
    fi
}

# A fresh Wine prefix for one preset (the presets name it), its server kept running and the
# prefix booted before configuring, so that no test waits for the first start.
start_wine() {
    export WINEPREFIX="$root/build/wine-$1" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wineserver -p
    local loader=/usr/lib/wine/wine64
    [[ $1 == win32 ]] && loader=/usr/bin/wine
    "$loader" wineboot -i </dev/null >/dev/null 2>&1 || true
}

stop_wine() {
    if [[ -n ${WINEPREFIX:-} ]]; then
        wineserver -k 2>/dev/null || true
    fi
}

trap 'stop_wine; restore_i386' EXIT

for preset in "${presets[@]}"; do
    echo "== cross: $preset"
    start=$SECONDS
    case "$preset" in
        linux-x86) ensure_i386 ;;
        win32 | win64) start_wine "$preset" ;;
    esac
    cmake --workflow --preset "$preset"
    case "$preset" in
        linux-x86) restore_i386 ;;
        win32 | win64) stop_wine ;;
    esac
    echo "== cross: $preset passed in $((SECONDS - start)) s"
done
