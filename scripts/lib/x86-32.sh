# Sourced by setup.sh, run-pe.sh and the decision's test. How this machine runs a
# 32-bit x86 program: itself (an x86-64 kernel with its 32-bit support, or a 32-bit
# one), only through a binfmt_misc entry (qemu user-mode emulation), or not at all.
#
# binfmt_misc entries are tried before the kernel's own ELF loader, so an enabled
# entry for i386 ELF sends every 32-bit program through its interpreter even where
# the kernel runs them itself. A probe that merely runs says nothing, then: while
# it runs, /proc/PID/exe says what the kernel really executed, the probe or an
# entry's interpreter.

ZK_LIB_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$ZK_LIB_DIR/cache.sh"
ZK_BINFMT_DIR=${ZK_BINFMT_DIR:-/proc/sys/fs/binfmt_misc}
# The entry setup.sh registers. Earlier setups named it qemu-i386.
ZK_BINFMT_NAME=${ZK_BINFMT_NAME:-zk-qemu-i386}
ZK_QEMU=/usr/bin/qemu-i386-static

# zk_build_probe DIR [BITS]: prints DIR/probe32 (probe64 with BITS 64), built from
# probe32.c when missing or when the source changed.
zk_build_probe() {
    local out=$1/probe${2:-32} key
    key="$(sha256sum < "$ZK_LIB_DIR/probe32.c" | cut -d' ' -f1) m${2:-32}"
    if zk_stale "$out" "$key"; then
        gcc -m"${2:-32}" -O2 -static -nostdlib -ffreestanding -fno-stack-protector -fno-pie -no-pie \
            -o "$out.tmp" "$ZK_LIB_DIR/probe32.c" && mv -f "$out.tmp" "$out" && zk_built "$out" "$key" ||
            return 1
    fi
    printf '%s\n' "$out"
}

# zk_entry_field NAME FIELD: a line of an entry's description, without its label
# ("interpreter", "flags:", or the state: enabled/disabled for FIELD "state").
zk_entry_field() {
    local file=$ZK_BINFMT_DIR/$1
    case $2 in
        state) head -n 1 "$file" 2>/dev/null ;;
        *) sed -n "s/^$2 //p" "$file" 2>/dev/null ;;
    esac
}

# zk_entry_is_ours NAME: the entry setup.sh registers, under today's name or the
# one earlier setups gave it.
zk_entry_is_ours() {
    [ "$1" = "$ZK_BINFMT_NAME" ] && return 0
    [ "$1" = qemu-i386 ] && [ "$(zk_entry_field "$1" interpreter)" = "$ZK_QEMU" ] &&
        [ "$(zk_entry_field "$1" flags:)" = F ]
}

# zk_exec_via PROGRAM: prints "native" when the kernel executed PROGRAM itself,
# "entry NAME INTERPRETER" when a binfmt_misc entry's interpreter ran it (NAME is
# "?" when no entry of this mount names that interpreter), "none" when it did not
# run at all.
zk_exec_via() {
    local program exe byte entry name to_probe from_probe
    program=$(readlink -f "$1")
    coproc ZK_PROBE { exec "$program" 2>/dev/null; }
    to_probe=${ZK_PROBE[1]}
    from_probe=${ZK_PROBE[0]}
    if IFS= read -r -N 1 -t 30 byte <&"$from_probe" && [ "$byte" = R ]; then
        exe=$(readlink "/proc/$ZK_PROBE_PID/exe")
    fi
    exec {to_probe}>&- {from_probe}<&-
    wait 2>/dev/null
    if [ -z "${exe:-}" ]; then
        echo none
    elif [ "$exe" = "$program" ]; then
        echo native
    else
        for entry in "$ZK_BINFMT_DIR"/*; do
            name=${entry##*/}
            [ "$name" != register ] && [ "$name" != status ] || continue
            [ "$(zk_entry_field "$name" state)" = enabled ] || continue
            if [ "$(readlink -f "$(zk_entry_field "$name" interpreter)")" = "$exe" ]; then
                echo "entry $name $(zk_entry_field "$name" interpreter)"
                return
            fi
        done
        echo "entry ? $exe"
    fi
}

# zk_decide_32 PROBE [--may-switch]: sets ZK_32 to native, emulated or none, with
# ZK_32_WHY (a sentence), ZK_32_ENTRY and ZK_32_INTERPRETER (emulated), and
# ZK_32_HIDDEN_BY: an entry of ours that sends 32-bit programs to qemu on a machine
# that runs them itself. Telling that needs the entry switched off for one more run
# of the probe (--may-switch, as root); it is switched on again at once, and
# removing it is the caller's business.
zk_decide_32() {
    local via name interpreter again
    ZK_32_ENTRY= ZK_32_INTERPRETER= ZK_32_HIDDEN_BY=
    via=$(zk_exec_via "$1")
    case $via in
        native)
            ZK_32=native
            ZK_32_WHY="the kernel runs 32-bit x86 programs itself"
            return ;;
        none)
            ZK_32=none
            ZK_32_WHY="the kernel does not run 32-bit x86 programs, and no binfmt_misc entry takes them"
            return ;;
    esac
    read -r _ name interpreter <<<"$via"
    if [ "${2:-}" = --may-switch ] && zk_entry_is_ours "$name" && [ -w "$ZK_BINFMT_DIR/$name" ]; then
        echo 0 > "$ZK_BINFMT_DIR/$name"
        again=$(zk_exec_via "$1")
        echo 1 > "$ZK_BINFMT_DIR/$name"
        if [ "$again" = native ]; then
            ZK_32=native ZK_32_HIDDEN_BY=$name
            ZK_32_WHY="the kernel runs 32-bit x86 programs itself; the binfmt_misc entry $name only sent them through $interpreter"
            return
        fi
    fi
    ZK_32=emulated ZK_32_ENTRY=$name ZK_32_INTERPRETER=$interpreter
    if zk_entry_is_ours "$name"; then
        ZK_32_WHY="the kernel runs 32-bit x86 programs only through the binfmt_misc entry $name ($interpreter, user-mode emulation)"
    else
        ZK_32_WHY="32-bit x86 programs run through someone else's binfmt_misc entry $name ($interpreter), used as it is"
    fi
}
