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
# probe32.c when missing or when the source changed. Builds at once in one folder
# (ctest -j, or two runners) take turns, each under the folder's lock, and each
# writes a temporary file of its own.
zk_build_probe() {
    local out=$1/probe${2:-32} key
    key="$(sha256sum < "$ZK_LIB_DIR/probe32.c" | cut -d' ' -f1) m${2:-32}"
    (
        flock 9 || exit 1
        zk_stale "$out" "$key" || exit 0
        local tmp
        tmp=$(mktemp "$out.XXXXXX") &&
            gcc -m"${2:-32}" -O2 -static -nostdlib -ffreestanding -fno-stack-protector -fno-pie -no-pie \
                -o "$tmp" "$ZK_LIB_DIR/probe32.c" && chmod 0755 "$tmp" && mv -f "$tmp" "$out" &&
            zk_built "$out" "$key" || { rm -f "$tmp"; exit 1; }
    ) 9>"$1/probe.lock" || return 1
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

# zk_entry_matches NAME FILE: true when the entry NAME would run FILE: enabled, and
# its extension or its magic (under its mask, at its offset) matches FILE.
zk_entry_matches() {
    local name=$1 file=$2 extension offset magic mask head i byte want bits
    [ "$(zk_entry_field "$name" state)" = enabled ] || return 1
    extension=$(zk_entry_field "$name" extension)
    if [ -n "$extension" ]; then
        [[ ${file##*/} == *"$extension" ]]
        return
    fi
    offset=$(zk_entry_field "$name" offset)
    magic=$(zk_entry_field "$name" magic)
    mask=$(zk_entry_field "$name" mask)
    [ -n "$magic" ] || return 1
    head=$(od -An -v -tx1 -j "${offset:-0}" -N $((${#magic} / 2)) "$file" 2>/dev/null | tr -d ' \n')
    [ ${#head} = ${#magic} ] || return 1
    for ((i = 0; i < ${#magic}; i += 2)); do
        byte=$((16#${head:i:2})) want=$((16#${magic:i:2})) bits=255
        [ -z "$mask" ] || bits=$((16#${mask:i:2}))
        [ $((byte & bits)) = $((want & bits)) ] || return 1
    done
}

# zk_exec_via PROGRAM: prints "native" when the kernel executed PROGRAM itself,
# "entry INTERPRETER NAME..." when a binfmt_misc entry's interpreter ran it: NAME...
# are every entry that would run it with that interpreter (two entries may name the
# same one: an earlier setup's and today's), "?" when none of this mount does; "none"
# when it did not run at all. It waits ZK_PROBE_SECONDS (default 30) for the program
# to say it runs, and does not wait for it to end: it is killed.
zk_exec_via() {
    local program exe byte entry name to_probe from_probe names=()
    program=$(readlink -f "$1")
    coproc ZK_PROBE { exec "$program" 2>/dev/null; }
    to_probe=${ZK_PROBE[1]}
    from_probe=${ZK_PROBE[0]}
    local pid=$ZK_PROBE_PID
    if IFS= read -r -N 1 -t "${ZK_PROBE_SECONDS:-30}" byte <&"$from_probe" && [ "$byte" = R ]; then
        exe=$(readlink "/proc/$pid/exe")
    fi
    exec {to_probe}>&- {from_probe}<&-
    kill -9 "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    if [ -z "${exe:-}" ]; then
        echo none
    elif [ "$exe" = "$program" ]; then
        echo native
    else
        for entry in "$ZK_BINFMT_DIR"/*; do
            name=${entry##*/}
            [ "$name" != register ] && [ "$name" != status ] || continue
            [ "$(readlink -f "$(zk_entry_field "$name" interpreter)")" = "$exe" ] || continue
            zk_entry_matches "$name" "$program" && names+=("$name")
        done
        echo "entry $exe ${names[*]:-?}"
    fi
}

# zk_decide_32 PROBE [--may-switch]: sets ZK_32 to native, emulated or none, with
# ZK_32_WHY (a sentence), ZK_32_ENTRY and ZK_32_INTERPRETER (emulated), and
# ZK_32_HIDDEN_BY: the entries of ours that send 32-bit programs to qemu on a machine
# that runs them itself. Telling that needs every entry that would run the probe
# switched off for one more run of it (--may-switch, as root, and only when all of
# them are ours); they are switched on again at once, and removing them is the
# caller's business.
zk_decide_32() {
    local via interpreter again name other names_text names=() ours=1
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
    read -r _ interpreter names_text <<<"$via"
    read -r -a names <<<"$names_text"
    for name in "${names[@]}"; do
        zk_entry_is_ours "$name" && [ -w "$ZK_BINFMT_DIR/$name" ] || ours=0
    done
    if [ "${2:-}" = --may-switch ] && [ $ours = 1 ]; then
        for name in "${names[@]}"; do echo 0 > "$ZK_BINFMT_DIR/$name"; done
        again=$(zk_exec_via "$1")
        for name in "${names[@]}"; do echo 1 > "$ZK_BINFMT_DIR/$name"; done
        if [ "$again" = native ]; then
            ZK_32=native ZK_32_HIDDEN_BY="${names[*]}"
            ZK_32_WHY="the kernel runs 32-bit x86 programs itself; the binfmt_misc entr$([ ${#names[@]} = 1 ] && echo y || echo ies) ${names[*]} only sent them through $interpreter"
            return
        fi
    fi
    # The entry named: the first of someone else's that would run it, else the first
    # of ours (the kernel tries entries in the order they were registered, which this
    # listing need not give).
    name=${names[0]}
    for other in "${names[@]}"; do
        zk_entry_is_ours "$other" || { name=$other; break; }
    done
    ZK_32=emulated ZK_32_ENTRY=$name ZK_32_INTERPRETER=$interpreter
    if [ $ours = 1 ]; then
        ZK_32_WHY="the kernel runs 32-bit x86 programs only through the binfmt_misc entry $name ($interpreter, user-mode emulation)"
    else
        ZK_32_WHY="32-bit x86 programs run through someone else's binfmt_misc entry $name ($interpreter), used as it is"
    fi
}
