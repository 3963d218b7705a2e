#!/usr/bin/env bash
# Installs the Debian packages a build needs, only those that are missing, without asking.
#   tools/setup-deps.sh [GROUP...]     groups: build test bench fuzz ci x86 win lab (default: build test)
# As root it runs apt-get; as another user it prints the one apt-get line to run and fails.
set -euo pipefail

declare -A groups=(
    [build]="g++ cmake ninja-build pkgconf libsqlite3-dev libssl-dev libcli11-dev libedit-dev libnl-genl-3-dev libnl-3-dev"
    [test]="libgtest-dev libgmock-dev"
    [bench]="libbenchmark-dev libtinyxml2-dev libpugixml-dev"
    [fuzz]="clang-14 libclang-rt-14-dev llvm-14"
    [ci]="clang-format clang-tidy cppcheck valgrind"
    [x86]="g++-multilib libsqlite3-dev:i386 libssl-dev:i386 libedit-dev:i386 qemu-user-static"
    [win]="g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 wine32:i386"
    [lab]="qemu-system-x86 hostapd wpasupplicant iw busybox-static cpio kmod xz-utils libnl-genl-3-dev libnl-3-dev"
)

wanted=("$@")
((${#wanted[@]})) || wanted=(build test)

packages=()
for group in "${wanted[@]}"; do
    if [[ -z "${groups[$group]+set}" ]]; then
        echo "setup-deps: unknown group '$group' (known: ${!groups[*]})" >&2
        exit 2
    fi
    read -ra list <<<"${groups[$group]}"
    packages+=("${list[@]}")
done

needs_i386=0
missing=()
for package in "${packages[@]}"; do
    [[ "$package" == *:i386 ]] && needs_i386=1
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
((${#missing[@]})) || exit 0

if ((EUID != 0)); then
    echo "setup-deps: missing Debian packages. Run as root:" >&2
    ((needs_i386)) && echo "  dpkg --add-architecture i386" >&2
    echo "  apt-get update && apt-get install -y --no-install-recommends ${missing[*]}" >&2
    exit 1
fi

echo "setup-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
if ((needs_i386)) && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
apt-get update -qq
apt-get install -y -qq --no-install-recommends -o DPkg::Lock::Timeout=600 "${missing[@]}"
