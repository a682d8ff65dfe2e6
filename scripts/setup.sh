#!/bin/bash
# Installs everything the project needs, from Debian packages only, and prepares
# the machine to run 32-bit Windows programs (Wine on qemu user-mode emulation).
# Idempotent: work already done is skipped. Needs root only while something is
# missing, and says what for.
set -euo pipefail

PACKAGES=(
    cmake ninja-build g++ gcc-multilib
    g++-mingw-w64-i686-posix g++-mingw-w64-i686-win32 mingw-w64-tools binutils-mingw-w64-i686
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    wine wine32:i386 wine64 qemu-user-static
    libcapstone-dev
    clang libclang-rt-14-dev llvm
    zip unzip valgrind locales jq
)

missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
needs_root=()
[ ${#missing[@]} -eq 0 ] || needs_root+=("installing ${missing[*]}")
locale -a 2>/dev/null | grep -qix 'de_DE.utf8' || needs_root+=("making the locale de_DE.UTF-8")
[ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] || needs_root+=("registering qemu-i386 for 32-bit programs (binfmt_misc)")
if [ ${#needs_root[@]} -gt 0 ] && [ "$(id -u)" != 0 ]; then
    echo "setup.sh: run once as root, for:" >&2
    printf '  %s\n' "${needs_root[@]}" >&2
    exit 1
fi

if [ ${#missing[@]} -gt 0 ]; then
    echo "setup.sh: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
    fi
    # A mirror caught mid-sync fails one index now and then; retry, and let the
    # install below say whether anything needed is really missing.
    for attempt in 1 2 3; do
        apt-get update -qq && break
        echo "setup.sh: package index update failed (attempt $attempt)" >&2
        sleep 5
    done
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# A locale whose decimal point is a comma, for the locale-independence tests.
if ! locale -a 2>/dev/null | grep -qix 'de_DE.utf8'; then
    localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi

# i386 ELF binaries (the 32-bit Wine loader) run through qemu-i386-static.
if [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
    if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
        mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    fi
    echo ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
        > /proc/sys/fs/binfmt_misc/register
fi
grep -qx enabled /proc/sys/fs/binfmt_misc/qemu-i386 || {
    echo "setup.sh: binfmt entry qemu-i386 is disabled" >&2
    exit 1
}
echo "setup.sh: ready"
