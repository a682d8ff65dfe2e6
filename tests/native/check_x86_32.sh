#!/bin/bash
# How setup.sh and run-pe.sh decide that this machine runs 32-bit programs itself,
# only through a binfmt_misc entry, or not at all: the decision itself, on every
# kind of machine, whatever this one can do. It runs in a user namespace with a
# binfmt_misc instance of its own (Linux 6.7 and later), so no entry of the machine
# is touched. Stand-ins: the probe built for x86-64, which this machine certainly
# runs itself, matched by file-name extension so that no other program of the
# namespace is affected; a file no kernel runs, which only an entry can start.
set -u
lib=$(cd "$(dirname "$0")/../../scripts/lib" && pwd)
if [ "${1:-}" != --inside ]; then
    if ! why=$(unshare --user --map-root-user --mount true 2>&1); then
        echo "SKIP: no user namespace can be made here: $why"
        exit 77
    fi
    exec unshare --user --map-root-user --mount --propagation private "$0" --inside
fi
if ! mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null; then
    echo "SKIP: this kernel ($(uname -r)) gives a user namespace no binfmt_misc of its own"
    exit 77
fi
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
export ZK_WINE_HOME=$work/cache ZK_BINFMT_NAME=zk-test-ours
source "$lib/x86-32.sh"
cache=$(zk_cache_dir) && probe=$(zk_build_probe "$cache" 64) || { echo "cannot build the probe"; exit 1; }
cp "$probe" "$work/interpreter"
cp "$probe" "$work/their-interpreter"
cp "$probe" "$work/probe.zknative"
printf 'neither ELF nor a script\n' > "$work/probe.zkforeign"
chmod +x "$work/probe.zkforeign"
ZK_QEMU=$work/interpreter

register() { # NAME EXTENSION [FLAGS [INTERPRETER]]
    echo ":$1:E::$2::${4:-$work/interpreter}:${3:-}" > "$ZK_BINFMT_DIR/register"
}
# The probe's twin with a mark in its ELF header's padding (byte 9, which loaders
# ignore), so that an entry by magic can take it and no other program of the
# namespace.
cp "$probe" "$work/marked.zkmagic"
printf '\x5a' | dd of="$work/marked.zkmagic" bs=1 seek=9 conv=notrunc status=none
register_magic() { # NAME BYTE: an entry for ELF files with BYTE at offset 9
    echo ":$1:M:9:\\x$2::$work/interpreter:" > "$ZK_BINFMT_DIR/register"
}
clear_entries() {
    local entry
    for entry in "$ZK_BINFMT_DIR"/*; do
        case ${entry##*/} in register|status) ;; *) echo -1 > "$entry" ;; esac
    done
}

failures=0 passes=0
row() { # DESCRIPTION PROGRAM SWITCH EXPECTED
    local got state
    zk_decide_32 "$2" $3
    got="$ZK_32 entry=${ZK_32_ENTRY:--} hidden=${ZK_32_HIDDEN_BY:--}"
    # The decision never leaves an entry it switched off.
    state=$(for e in "$ZK_BINFMT_DIR"/*; do
        case ${e##*/} in register|status) ;; *) head -n 1 "$e" ;; esac
    done | grep -c disabled)
    [ "$state" = "${5:-0}" ] || got="$got, $state disabled entries"
    if [ "$got" = "$4" ]; then
        echo "ok    $1: $got"
        passes=$((passes + 1))
    else
        echo "FAIL  $1: got '$got', expected '$4'"
        failures=$((failures + 1))
    fi
}

row "runs itself, no entry" "$work/probe.zknative" --may-switch "native entry=- hidden=-"
row "runs nowhere, no entry" "$work/probe.zkforeign" --may-switch "none entry=- hidden=-"

register zk-test-ours zkforeign
row "runs only through our entry" "$work/probe.zkforeign" --may-switch "emulated entry=zk-test-ours hidden=-"
echo 0 > "$ZK_BINFMT_DIR/zk-test-ours"
row "our entry switched off" "$work/probe.zkforeign" --may-switch "none entry=- hidden=-" 1
clear_entries

register zk-test-ours zknative
row "runs itself, our entry in the way" "$work/probe.zknative" --may-switch "native entry=- hidden=zk-test-ours"
row "the same, not allowed to switch" "$work/probe.zknative" "" "emulated entry=zk-test-ours hidden=-"
clear_entries

# What earlier setups registered: qemu-i386, qemu-i386-static as interpreter, flag F.
register qemu-i386 zknative F
row "runs itself, an earlier setup's entry in the way" "$work/probe.zknative" --may-switch "native entry=- hidden=qemu-i386"
clear_entries
register qemu-i386 zknative
row "someone's qemu-i386 with other flags" "$work/probe.zknative" --may-switch "emulated entry=qemu-i386 hidden=-"
clear_entries

# A machine set up before and after the entry was renamed has both, with the same
# interpreter: both are switched off to tell, and both are named.
register qemu-i386 zknative F
register zk-test-ours zknative
row "runs itself, both our entries in the way" "$work/probe.zknative" --may-switch "native entry=- hidden=qemu-i386 zk-test-ours"
row "the same, not allowed to switch" "$work/probe.zknative" "" "emulated entry=qemu-i386 hidden=-"
clear_entries
# An entry with the same interpreter that takes other files did not run it.
register zk-test-ours zknative
register a-theirs zkother
row "runs itself, our entry in the way, theirs beside it for other files" "$work/probe.zknative" --may-switch "native entry=- hidden=zk-test-ours"
clear_entries
# Entries by magic: told apart by the bytes they match.
ZK_BINFMT_NAME=zk-test-magic
register_magic zk-test-magic 5a
register_magic a-theirs-magic 5b
row "runs itself, our entry by magic in the way" "$work/marked.zkmagic" --may-switch "native entry=- hidden=zk-test-magic"
echo -1 > "$ZK_BINFMT_DIR/zk-test-magic"
register_magic a-theirs-magic-too 5a
row "runs itself, someone else's entry by magic in the way" "$work/marked.zkmagic" --may-switch "emulated entry=a-theirs-magic-too hidden=-"
ZK_BINFMT_NAME=zk-test-ours
clear_entries

# A probe that hangs: the decision gives up after ZK_PROBE_SECONDS, and does not wait
# for it to end.
printf '#!/bin/sh\nexec sleep 1000\n' > "$work/hangs.zknative"
chmod +x "$work/hangs.zknative"
start=$SECONDS
ZK_PROBE_SECONDS=2 row "a probe that hangs" "$work/hangs.zknative" --may-switch "none entry=- hidden=-"
[ $((SECONDS - start)) -le 10 ] && { echo "ok    it gave up after $((SECONDS - start)) s"; passes=$((passes + 1)); } ||
    { echo "FAIL  it took $((SECONDS - start)) s"; failures=$((failures + 1)); }

register theirs zknative
row "runs itself, someone else's entry in the way" "$work/probe.zknative" --may-switch "emulated entry=theirs hidden=-"
register theirs-too zkforeign "" "$work/their-interpreter"
row "runs only through someone else's entry" "$work/probe.zkforeign" --may-switch "emulated entry=theirs-too hidden=-"
case $ZK_32_WHY in
    *"someone else's binfmt_misc entry theirs-too ($work/their-interpreter)"*)
        echo "ok    the reason names the entry and its interpreter"; passes=$((passes + 1)) ;;
    *) echo "FAIL  the reason: $ZK_32_WHY"; failures=$((failures + 1)) ;;
esac

echo "$passes passed, $failures failed"
[ $failures -eq 0 ]
