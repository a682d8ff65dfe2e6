#!/bin/bash
# run-pe.sh DIR EXE [ARGS...]
# run-pe.sh --how | --stop-server
#
# EXE may also be a .cmd file, run by the prefix's command interpreter.
# Runs a 32-bit Windows console program under Wine on an x86-64 Linux machine.
# Where the kernel runs 32-bit x86 programs itself, the 32-bit Wine loader runs
# natively. Where it does not, it runs under qemu-i386 user-mode emulation, through
# the binfmt_misc entry scripts/setup.sh registers (or someone else's that works),
# with its shims preloaded (lib/noreplace.c, lib/guestmem.c); wineserver and the
# prefix's services are native 64-bit Wine either way. --how prints which of the
# two this machine takes, and why, and the folder the runner uses; --stop-server
# ends the prefix's wineserver, which otherwise lingers a few seconds after its
# last program.
#
# DIR becomes the working directory. The program's stdout and stderr pass through and
# the exit status is the program's; 124 means it timed out, 125 that the runner
# itself could not start it.
#
# Environment:
#   ZK_WINE_HOME   the runner's own folder: the 32-bit probe, the shims and the
#                  prefix (default $XDG_CACHE_HOME/zorbelkavrin, or
#                  ~/.cache/zorbelkavrin); refused unless it is the user's own and
#                  nobody else can write to it
#   ZK_TIMEOUT     seconds before the program is killed (default 300)
#   ZK_WINEDEBUG   WINEDEBUG for the run (default -all)
#   ZK_STDIN       "keep": the program reads this script's standard input (a player
#                  typing at its prompt); otherwise it reads nothing (/dev/null)
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib/x86-32.sh"

die() { echo "run-pe.sh: $*" >&2; exit 125; }

mode=${1:-}
if [ "$mode" != --how ] && [ "$mode" != --stop-server ]; then
    [ $# -ge 2 ] || die "usage: run-pe.sh DIR EXE [ARGS...]"
    DIR=$(cd "$1" 2>/dev/null && pwd) || die "no such directory: $1"
    EXE=$2
    shift 2
    [ -f "$DIR/$EXE" ] || die "no such file: $DIR/$EXE"
fi

HOME_DIR=$(zk_cache_dir 2>&1) || die "$HOME_DIR"
export WINEPREFIX=$HOME_DIR/prefix
export WINEDEBUG=${ZK_WINEDEBUG:--all}
# No Mono, no Gecko, no menu entries, and never the debugger: a crash must end the
# process, not wait for a debugger that nobody attaches.
export WINEDLLOVERRIDES="mscoree=d;mshtml=d;winemenubuilder.exe=d;winedbg.exe=d"
unset DISPLAY WAYLAND_DISPLAY
TIMEOUT=${ZK_TIMEOUT:-300}
WINE32=/usr/lib/wine/wine
WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver

for f in "$WINE32" "$WINE64" "$WINESERVER"; do
    [ -x "$f" ] || die "missing $f: run scripts/setup.sh"
done
if [ "$mode" = --stop-server ]; then
    "$WINESERVER" -k 2>/dev/null
    exit 0
fi
probe=$(zk_build_probe "$HOME_DIR") || die "cannot build the 32-bit probe with gcc -m32: run scripts/setup.sh"
zk_decide_32 "$probe"
if [ "$mode" = --how ]; then
    case $ZK_32 in
        native) echo "run-pe.sh: 32-bit programs run natively: $ZK_32_WHY; no qemu, no shims; folder $HOME_DIR" ;;
        emulated) echo "run-pe.sh: 32-bit programs run emulated: $ZK_32_WHY; shims preloaded (mmap, wineserver's reads at the guest base); folder $HOME_DIR" ;;
        none) die "32-bit programs do not run here: $ZK_32_WHY; run scripts/setup.sh" ;;
    esac
    exit 0
fi
[ "$ZK_32" != none ] || die "32-bit programs do not run here: $ZK_32_WHY; run scripts/setup.sh"

# Under qemu two shims are preloaded, through one LD_PRELOAD that names them by
# $LIB: lib/noreplace.c into the 32-bit loader, and lib/guestmem.c into the 64-bit
# processes, where wineserver then reads and writes an emulated process's memory
# at its guest base. The base is fixed (QEMU_GUEST_BASE, which every emulated
# process inherits) so that wineserver can find it in that process's environment;
# qemu's own choice lies at the lowest page it may map (0x1000 here) and would do
# as well, but only a fixed one can be read back. Both shims are rebuilt whenever
# their sources or their build commands change.
ZK_GUEST_BASE=0x100000000
build_shim() {
    local shim=$HOME_DIR/shim key
    local compile32=(gcc -m32 -O2 -fPIC -ffreestanding -fno-stack-protector -c "$here/lib/noreplace.c")
    local compile64=(gcc -O2 -shared -fPIC -Wall -o "$shim/lib/x86_64-linux-gnu/noreplace.so.tmp" "$here/lib/guestmem.c" -ldl)
    key="$(cat "$here/lib/noreplace.c" "$here/lib/guestmem.c" | sha256sum | cut -d' ' -f1) ${compile32[*]} ${compile64[*]}"
    [ -f "$shim/lib/i386-linux-gnu/noreplace.so" ] &&
        ! zk_stale "$shim/lib/x86_64-linux-gnu/noreplace.so" "$key" && return 0
    mkdir -p "$shim/lib/i386-linux-gnu" "$shim/lib/x86_64-linux-gnu" &&
        "${compile32[@]}" -o "$shim/noreplace.o" &&
        ld -m elf_i386 -shared -o "$shim/lib/i386-linux-gnu/noreplace.so.tmp" "$shim/noreplace.o" &&
        "${compile64[@]}" &&
        mv -f "$shim/lib/i386-linux-gnu/noreplace.so.tmp" "$shim/lib/i386-linux-gnu/noreplace.so" &&
        mv -f "$shim/lib/x86_64-linux-gnu/noreplace.so.tmp" "$shim/lib/x86_64-linux-gnu/noreplace.so" &&
        zk_built "$shim/lib/x86_64-linux-gnu/noreplace.so" "$key"
}
if [ "$ZK_32" = emulated ]; then
    ( flock 9 && build_shim ) 9>"$HOME_DIR/shim.lock" || die "cannot build the shims for qemu"
    export LD_PRELOAD="$HOME_DIR/shim/\$LIB/noreplace.so"
    export QEMU_GUEST_BASE=$ZK_GUEST_BASE
    # A wineserver of this prefix that a run without the shims started (before setup
    # switched to emulation) would read the guest's memory at the wrong addresses.
    for proc in /proc/[0-9]*; do
        { read -r name < "$proc/comm"; } 2>/dev/null && [ "$name" = wineserver64 ] || continue
        { tr '\0' '\n' < "$proc/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" || continue
        grep -q '/noreplace\.so$' "$proc/maps" 2>/dev/null || timeout 30 "$WINESERVER" -k >/dev/null 2>&1
    done
fi

# The prefix is made once, by the native 64-bit Wine: a prefix made by the 32-bit
# loader runs every service under emulation, slowly, and they crash at shutdown.
# A prefix without system.reg is one whose making was cut short: made again, if the
# runner made it (its mark inside); one it did not make is never deleted.
(
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        if [ -e "$WINEPREFIX" ] || [ -L "$WINEPREFIX" ]; then
            [ -f "$WINEPREFIX/$ZK_MADE_MARK" ] && [ ! -L "$WINEPREFIX" ] || exit 2
            rm -rf "$WINEPREFIX"
        fi
        (umask 077 && mkdir "$WINEPREFIX" && : > "$WINEPREFIX/$ZK_MADE_MARK") || exit 1
        WINEARCH=win64 timeout 600 "$WINE64" wineboot --init </dev/null >/dev/null 2>&1 || exit 1
        timeout 60 "$WINESERVER" -w
    fi
) 9>"$HOME_DIR/prefix.lock"
case $? in
    0) ;;
    2) die "refusing to remove $WINEPREFIX: it is no complete Wine prefix (no system.reg), and the runner did not make it; remove it yourself, or set ZK_WINE_HOME" ;;
    *) die "could not create the Wine prefix $WINEPREFIX" ;;
esac
[ -d "$WINEPREFIX/drive_c/windows/syswow64" ] || die "$WINEPREFIX is not a 64-bit prefix; delete it"

cd "$DIR" || die "cannot enter $DIR"
# timeout runs the program in a process group of its own, which may not read the
# terminal; one that is to read what a player types stays in the foreground.
limit=(timeout -k 10 "$TIMEOUT")
if [ "${ZK_STDIN:-}" = keep ]; then
    limit=(timeout --foreground -k 10 "$TIMEOUT")
else
    exec </dev/null
fi
case $EXE in
    # A batch file runs in the prefix's own (64-bit) command interpreter, which
    # starts the 32-bit programs it names.
    *.cmd|*.bat) "${limit[@]}" "$WINE64" cmd /c "$EXE" "$@" ;;
    *) "${limit[@]}" "$WINE32" "$EXE" "$@" ;;
esac
rc=$?
# A killed program can leave the wineserver waiting for it; end it so the next run
# starts clean. After a normal exit the server lingers briefly and is reused.
if [ $rc -eq 124 ] || [ $rc -eq 137 ] || [ "${ZK_STOP_SERVER:-0}" = 1 ]; then
    timeout 30 "$WINESERVER" -k >/dev/null 2>&1
fi
exit $rc
