#!/usr/bin/env bash
# Real-radio lab: boots a small virtual machine (qemu under software emulation) with Debian's
# kernel and mac80211_hwsim, hostapd access points and wpa_supplicant, copies in the
# project's build (airvane command line, library, nl80211 plug-in, wpa_supplicant module)
# and runs tools/lab/scenario.sh there.
#
#   tools/lab/run-lab.sh [BUILD_DIR]      (default build/default; build it first)
#
# Needs the Debian packages of tools/setup-deps.sh's lab group. The kernel package is
# downloaded once into $AIRVANE_LAB_CACHE (default ~/.cache/airvane-lab). Exit status 0 when
# every check passed.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="$(cd "${1:-$root/build/default}" && pwd)"
cache="${AIRVANE_LAB_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/airvane-lab}"
qemu_timeout="${AIRVANE_LAB_TIMEOUT:-420}"
work="$build/lab"
stage="$work/root"

for tool in qemu-system-x86_64 hostapd wpa_supplicant busybox cpio depmod xz; do
    command -v "$tool" >/dev/null || { echo "lab: $tool missing (tools/setup-deps.sh lab)" >&2; exit 2; }
done
for file in bin/airvane lib/libairvane.so linux/nl80211_adapter.dll linux/wpa_stub.dll linux/hwsim_new_radio; do
    [[ -e "$build/$file" ]] || { echo "lab: $build/$file missing: build the project first" >&2; exit 2; }
done

# ---- kernel: Debian's current one, unpacked once ----
# Package lists may be missing or older than the mirror (a kernel update removes the old
# package): as root, refresh them once and ask again.
kernel_package() {
    apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9].*-amd64$/ { print $2; exit }'
}
refresh_lists() {
    ((EUID == 0)) && apt-get update -qq
}
package="$(kernel_package)"
if [[ -z "$package" ]] && refresh_lists; then
    package="$(kernel_package)"
fi
[[ -n "$package" ]] || { echo "lab: cannot find the kernel package behind linux-image-amd64" >&2; exit 2; }
kver="${package#linux-image-}"
kdir="$cache/$package"
mkdir -p "$cache"
if [[ ! -f "$kdir/vmlinux" ]]; then
    deb="$(compgen -G "$cache/${package}_*.deb" | awk 'NR == 1' || true)"
    if [[ -z "$deb" ]]; then
        if ! (cd "$cache" && apt-get download "$package"); then
            refresh_lists && package="$(kernel_package)" && (cd "$cache" && apt-get download "$package")
            kver="${package#linux-image-}"
            kdir="$cache/$package"
        fi
        deb="$(compgen -G "$cache/${package}_*.deb" | awk 'NR == 1')"
    fi
    rm -rf "$kdir.tmp" && mkdir -p "$kdir.tmp"
    dpkg-deb -x "$deb" "$kdir.tmp"
    # The uncompressed kernel boots 5-10 s faster under emulation: cut the xz payload out.
    image="$kdir.tmp/boot/vmlinuz-$kver"
    offset="$(LC_ALL=C grep -obUaP '\xfd7zXZ\x00' "$image" | awk -F: 'NR == 1 { print $1 }')"
    tail -c +"$((offset + 1))" "$image" | xz -dc 2>/dev/null >"$kdir.tmp/vmlinux" || true
    [[ -s "$kdir.tmp/vmlinux" ]] || { echo "lab: cannot unpack $image" >&2; exit 2; }
    rm -rf "$kdir" && mv "$kdir.tmp" "$kdir"
fi

# ---- initramfs ----
rm -rf "$stage" && mkdir -p "$stage"/{bin,sbin,etc/lab,lib64,proc,sys,dev,tmp,run,opt/airvane}
cp "$(command -v busybox)" "$stage/bin/busybox"
ln -s busybox "$stage/bin/sh"
copy_with_libraries() { # file, destination folder
    cp "$1" "$2/"
    ldd "$1" | grep -o '/[^ ]*' | while read -r lib; do
        [[ -e "$stage$lib" ]] || { mkdir -p "$stage$(dirname "$lib")"; cp -L "$lib" "$stage$lib"; }
    done
}
for tool in hostapd hostapd_cli wpa_supplicant wpa_cli iw; do
    copy_with_libraries "$(command -v "$tool")" "$stage/sbin"
done
airvane_dir="$stage/opt/airvane"
copy_with_libraries "$build/bin/airvane" "$airvane_dir"
cp -P "$build"/lib/libairvane.so* "$airvane_dir/"
for module in nl80211_adapter.dll wpa_stub.dll hwsim_new_radio; do
    copy_with_libraries "$build/linux/$module" "$airvane_dir"
done
cp "$here/WLANInterfaces.xml" "$airvane_dir/"
cp "$here"/hostapd-*.conf "$here/wpa_supplicant.conf" "$here/scenario.sh" "$stage/etc/lab/"
cp "$here/init" "$stage/init"
chmod +x "$stage/init"

modules=(rfkill cfg80211 libarc4 mac80211 virtio_ring virtio mac80211_hwsim ctr ccm gf128mul ghash-generic gcm cmac ecb)
moddir="$kdir/lib/modules/$kver"
for module in "${modules[@]}"; do
    found="$(find "$moddir/kernel" -name "$module.ko*" -print -quit)"
    [[ -n "$found" ]] || continue # built into the kernel
    mkdir -p "$stage/lib/modules/$kver/$(dirname "${found#"$moddir/"}")"
    cp "$found" "$stage/lib/modules/$kver/${found#"$moddir/"}"
done
cp "$moddir"/modules.{order,builtin,builtin.modinfo} "$stage/lib/modules/$kver/"
depmod -b "$stage" "$kver"
(cd "$stage" && find . | cpio -o -H newc --quiet | gzip -1 >"$work/initrd.gz")

# ---- boot and run ----
console="$work/console.log"
echo "lab: booting $package with $(du -h "$work/initrd.gz" | cut -f1) initramfs (timeout ${qemu_timeout} s)"
start=$(date +%s)
status=0
timeout --kill-after=10 "$qemu_timeout" qemu-system-x86_64 -accel tcg -m 256 -smp 1 -nographic -no-reboot \
    -nic none -kernel "$kdir/vmlinux" -initrd "$work/initrd.gz" \
    -append "console=ttyS0 panic=-1 quiet" </dev/null >"$console" 2>&1 || status=$?
tr -d '\r' <"$console" | grep -E '^lab:' || true
echo "lab: machine ran $(($(date +%s) - start)) s (console: $console)"
exit_line="$(tr -d '\r' <"$console" | grep -o 'AIRVANE-LAB-EXIT=[0-9]*' | tail -1 || true)"
if [[ $status -eq 124 || $status -eq 137 ]]; then
    echo "lab: timed out after ${qemu_timeout} s" >&2
    exit 1
fi
if [[ "$exit_line" != "AIRVANE-LAB-EXIT=0" ]]; then
    echo "lab: failed (${exit_line:-no result from the machine})" >&2
    # Without the scenario's summary the machine broke down earlier: show where.
    tr -d '\r' <"$console" | grep -q '^lab: [0-9]* passed' || tr -d '\r' <"$console" | tail -20 >&2
    exit 1
fi
