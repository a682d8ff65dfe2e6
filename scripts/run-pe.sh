#!/bin/bash
# run-pe.sh DIR EXE [ARGS...]
#
# EXE may also be a .cmd file, run by the prefix's command interpreter.
# Runs a 32-bit Windows console program under Wine on an x86-64 Linux machine that
# cannot execute 32-bit x86 code itself. Only the 32-bit Wine process runs under
# qemu-i386 user-mode emulation (binfmt entry made by scripts/setup.sh); wineserver
# and the prefix's services are native 64-bit Wine.
#
# DIR becomes the working directory. The program's stdout and stderr pass through and
# the exit status is the program's; 124 means it timed out, 125 that the runner
# itself could not start it.
#
# Environment:
#   ZK_WINE_HOME   cache for the prefix and the mmap shim (default /tmp/zk-wine, and
#                  /tmp/zk-wine-UID for a user other than root)
#   ZK_TIMEOUT     seconds before the program is killed (default 300)
#   ZK_WINEDEBUG   WINEDEBUG for the run (default -all)
set -u

die() { echo "run-pe.sh: $*" >&2; exit 125; }

[ $# -ge 2 ] || die "usage: run-pe.sh DIR EXE [ARGS...]"
DIR=$(cd "$1" 2>/dev/null && pwd) || die "no such directory: $1"
EXE=$2
shift 2
[ -f "$DIR/$EXE" ] || die "no such file: $DIR/$EXE"

HOME_DIR=${ZK_WINE_HOME:-/tmp/zk-wine$([ "$(id -u)" = 0 ] || echo "-$(id -u)")}
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

for f in "$WINE32" "$WINE64" "$WINESERVER" /usr/bin/qemu-i386-static; do
    [ -x "$f" ] || die "missing $f: run scripts/setup.sh"
done
grep -qx enabled /proc/sys/fs/binfmt_misc/qemu-i386 2>/dev/null ||
    die "no binfmt entry for i386 ELF: run scripts/setup.sh"
mkdir -p "$HOME_DIR" || die "cannot create $HOME_DIR"

# qemu 7.2 maps MAP_FIXED_NOREPLACE requests wherever it likes, and Wine then probes
# the whole address space in 64 KiB steps (about 50 s per process). The shim gives
# the flag its meaning back: map, and if the kernel chose another address, unmap and
# fail with EEXIST. It is freestanding, so no 32-bit C library headers are needed.
# LD_PRELOAD names it through $LIB, so 64-bit processes load an empty twin.
SHIM=$HOME_DIR/shim
if [ ! -f "$SHIM/lib/i386-linux-gnu/noreplace.so" ] || [ ! -f "$SHIM/lib/x86_64-linux-gnu/noreplace.so" ]; then
    mkdir -p "$SHIM/lib/i386-linux-gnu" "$SHIM/lib/x86_64-linux-gnu" || die "cannot create $SHIM"
    cat > "$SHIM/noreplace.c" <<'SHIMSRC'
typedef unsigned int size_t;
typedef long long off64_t;
#define MAP_FIXED 0x10
#define MAP_FIXED_NOREPLACE 0x100000
#define EEXIST 17
#define EINVAL 22
extern int *__errno_location(void);

/* int 0x80 with six arguments: the sixth goes in EBP, saved around the call. */
static long Syscall6(long nr, long a, long b, long c, long d, long e, long f)
{
    long block[2] = { nr, f };
    long result;
    __asm__ volatile("push %%ebp\n\t"
                     "mov 4(%%eax), %%ebp\n\t"
                     "mov 0(%%eax), %%eax\n\t"
                     "int $0x80\n\t"
                     "pop %%ebp"
                     : "=a"(result)
                     : "a"(block), "b"(a), "c"(b), "d"(c), "S"(d), "D"(e)
                     : "memory");
    return result;
}

static void *MapNoReplace(void *want, size_t length, int prot, int flags, int fd, off64_t offset)
{
    int noReplace = (flags & MAP_FIXED_NOREPLACE) && !(flags & MAP_FIXED);
    long got;
    if (offset & 0xfff) { *__errno_location() = EINVAL; return (void *)-1; }
    flags &= ~MAP_FIXED_NOREPLACE;
    got = Syscall6(192 /* mmap2 */, (long)want, (long)length, prot, flags, fd, (long)(offset >> 12));
    if ((unsigned long)got > 0xfffff000UL) { *__errno_location() = (int)-got; return (void *)-1; }
    if (noReplace && (void *)got != want) {
        Syscall6(91 /* munmap */, got, (long)length, 0, 0, 0, 0);
        *__errno_location() = EEXIST;
        return (void *)-1;
    }
    return (void *)got;
}

__attribute__((visibility("default"))) void *mmap(void *a, size_t l, int p, int f, int fd, long o)
{ return MapNoReplace(a, l, p, f, fd, (off64_t)(unsigned long)o); }
__attribute__((visibility("default"))) void *mmap64(void *a, size_t l, int p, int f, int fd, off64_t o)
{ return MapNoReplace(a, l, p, f, fd, o); }
SHIMSRC
    echo 'int zk_noreplace_twin;' > "$SHIM/twin.c"
    gcc -m32 -O2 -fPIC -ffreestanding -fno-stack-protector -c "$SHIM/noreplace.c" -o "$SHIM/noreplace.o" &&
        ld -m elf_i386 -shared -o "$SHIM/lib/i386-linux-gnu/noreplace.so.tmp" "$SHIM/noreplace.o" &&
        gcc -shared -fPIC -o "$SHIM/lib/x86_64-linux-gnu/noreplace.so.tmp" "$SHIM/twin.c" &&
        mv "$SHIM/lib/i386-linux-gnu/noreplace.so.tmp" "$SHIM/lib/i386-linux-gnu/noreplace.so" &&
        mv "$SHIM/lib/x86_64-linux-gnu/noreplace.so.tmp" "$SHIM/lib/x86_64-linux-gnu/noreplace.so" ||
        die "cannot build the mmap shim"
fi
export LD_PRELOAD="$SHIM/\$LIB/noreplace.so"

# The prefix is made once, by the native 64-bit Wine: a prefix made by the 32-bit
# loader runs every service under emulation, slowly, and they crash at shutdown.
(
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        rm -rf "$WINEPREFIX"
        WINEARCH=win64 timeout 600 "$WINE64" wineboot --init </dev/null >/dev/null 2>&1 || exit 1
        timeout 60 "$WINESERVER" -w
    fi
) 9>"$HOME_DIR/prefix.lock" || die "could not create the Wine prefix $WINEPREFIX"
[ -d "$WINEPREFIX/drive_c/windows/syswow64" ] || die "$WINEPREFIX is not a 64-bit prefix; delete it"

cd "$DIR" || die "cannot enter $DIR"
case $EXE in
    # A batch file runs in the prefix's own (64-bit) command interpreter, which
    # starts the 32-bit programs it names.
    *.cmd|*.bat) timeout -k 10 "$TIMEOUT" "$WINE64" cmd /c "$EXE" "$@" </dev/null ;;
    *) timeout -k 10 "$TIMEOUT" "$WINE32" "$EXE" "$@" </dev/null ;;
esac
rc=$?
# A killed program can leave the wineserver waiting for it; end it so the next run
# starts clean. After a normal exit the server lingers briefly and is reused.
if [ $rc -eq 124 ] || [ $rc -eq 137 ] || [ "${ZK_STOP_SERVER:-0}" = 1 ]; then
    timeout 30 "$WINESERVER" -k >/dev/null 2>&1
fi
exit $rc
