#!/bin/bash
# Installs everything the project needs, from Debian packages only, and prepares
# the machine to run 32-bit Windows programs with Wine: natively where the kernel
# runs 32-bit x86 programs itself, otherwise on qemu user-mode emulation through a
# binfmt_misc entry. Idempotent: work already done is skipped. Needs root only
# while something is missing, and says what for.
#
# Environment:
#   ZK_EMULATE_32=1   register the qemu entry even where the kernel runs 32-bit
#                     programs itself, to try the emulated path there; the next
#                     setup without it removes the entry again
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib/x86-32.sh"

PACKAGES=(
    cmake ninja-build g++ pkg-config
    g++-mingw-w64-i686-posix g++-mingw-w64-i686-win32 mingw-w64-tools binutils-mingw-w64-i686
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    wine wine32:i386 wine64
    libcapstone-dev
    # llvm brings llvm-symbolizer: sanitizer and fuzzer reports with files and lines.
    clang llvm
    zip unzip locales jq
)

say() { echo "setup.sh: $*"; }
fail() { echo "setup.sh: $*" >&2; exit 1; }
# No "| grep -q" below: under pipefail, grep's early exit fails the pipeline.
installed() { [ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" = "install ok installed" ]; }
has_locale() { [[ $'\n'"$(locale -a 2>/dev/null)"$'\n' == *$'\n'de_DE.utf8$'\n'* ]]; }
is_root() { [ "$(id -u)" = 0 ]; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The clang run-time (sanitizers, libFuzzer) of the clang that is installed.
clang_runtime() {
    local version
    version=$(clang -dumpversion 2>/dev/null) || return 1
    echo "libclang-rt-${version%%.*}-dev"
}

missing=()
for p in "${PACKAGES[@]}"; do
    installed "$p" || missing+=("$p")
done
if runtime=$(clang_runtime) && ! installed "$runtime"; then
    missing+=("$runtime")
fi
needs_root=()
[ ${#missing[@]} -eq 0 ] || needs_root+=("installing ${missing[*]}")
has_locale || needs_root+=("making the locale de_DE.UTF-8")
if [ ${#needs_root[@]} -gt 0 ] && ! is_root; then
    echo "setup.sh: run once as root, for:" >&2
    printf '  %s\n' "${needs_root[@]}" >&2
    exit 1
fi

updated=0
update_trouble=
# Reads the package indexes once. A mirror caught mid-sync fails one index now and
# then; retry, and let the install say whether anything needed is really missing.
update_indexes() {
    [ $updated = 0 ] || return 0
    updated=1
    if [[ " $(dpkg --print-foreign-architectures | paste -sd' ') " != *" i386 "* ]]; then
        dpkg --add-architecture i386
    fi
    # apt-get update exits 0 with warnings when it reached no source at all.
    local attempt
    for attempt in 1 2 3; do
        apt-get update >"$work/update.log" 2>&1 &&
            ! grep -qE '^(Err:|[EW]: Failed to fetch|[EW]: Some index files failed)' "$work/update.log" && return 0
        echo "setup.sh: package index update failed (attempt $attempt)" >&2
        [ $attempt = 3 ] || sleep 5
    done
    if ! grep -qE '^(Hit|Get):' "$work/update.log"; then
        fail "cannot reach the package sources, so nothing can be installed ($(
            { grep -E '^[EW]: Failed to fetch' "$work/update.log"; grep -E '^(Err|E|W):' "$work/update.log"; } |
                head -n 1 | cut -c1-200))"
    fi
    update_trouble=$(grep -m 1 -E '^(E|W): ' "$work/update.log" | cut -c1-160)
}

# Each package index that apt read, as "complete KEY" or "incomplete KEY", where
# KEY is o=ORIGIN,n=CODENAME,c=COMPONENT: complete when apt has both this machine's
# architecture and i386 from it, incomplete when only the former, from an origin
# that does offer i386 elsewhere (a third-party source for amd64 alone is neither).
index_halves() {
    apt-cache policy | sed -n 's/^ *release //p' | awk -F, -v native="$(dpkg --print-architecture)" '
        {
            o = n = c = b = ""
            for (i = 1; i <= NF; i++) {
                key = substr($i, 1, index($i, "=") - 1); value = substr($i, index($i, "=") + 1)
                if (key == "o") o = value; else if (key == "n") n = value
                else if (key == "c") c = value; else if (key == "b") b = value
            }
            if (n == "" || b == "") next
            k = "o=" o ",n=" n ",c=" c
            if (b == native) has_native[k] = 1
            if (b == "i386") { has_i386[k] = 1; offers_i386[o] = 1 }
            origin[k] = o
        }
        END {
            for (k in has_native)
                if (k in has_i386) print "complete " k
                else if (origin[k] in offers_i386) print "incomplete " k
        }' | sort
}

# Where apt lacks the i386 index of a suite it has for amd64 (a stale mirror), the
# i386 half of a multi-arch library is offered only at an older version than its
# amd64 half, and the two must be one version. Prefer, for both architectures, the
# suites that apt has whole; Pin-Priority 1001 also moves back an amd64 package
# that is newer than anything offered for i386.
install_pinned() {
    local halves preferred incomplete moved
    halves=$(index_halves)
    incomplete=$(sed -n 's/^incomplete o=[^,]*,n=\([^,]*\),c=\(.*\)/\1\/\2/p' <<<"$halves" | paste -sd' ')
    preferred=$(sed -n 's/^complete o=[^,]*,n=\([^,]*\),c=\(.*\)/\1\/\2/p' <<<"$halves" | paste -sd' ')
    [ -n "$incomplete" ] && [ -n "$preferred" ] || return 1
    sed -n 's/^complete \(.*\)/Package: *\nPin: release \1\nPin-Priority: 1001\n/p' <<<"$halves" > "$work/preferences"
    local apt=(apt-get -o Dir::Etc::Preferences="$work/preferences")
    "${apt[@]}" install -s --no-install-recommends --allow-downgrades "$@" >"$work/pinned.log" 2>&1 || return 1
    moved=$(awk '/^Inst / && $3 ~ /^\[/ { old = substr($3, 2, length($3) - 2); new = substr($4, 2)
                if (system("dpkg --compare-versions \"" old "\" gt \"" new "\"") == 0) print $2 }' \
                "$work/pinned.log" | paste -sd' ')
    say "apt cannot give the amd64 and i386 halves of each library one version: it has no i386 index of $incomplete${update_trouble:+ ($update_trouble)}; installing with the versions of $preferred for both architectures${moved:+ (moved back to them: $moved)}"
    DEBIAN_FRONTEND=noninteractive "${apt[@]}" install -y -qq --no-install-recommends --allow-downgrades "$@" >/dev/null
}

install_packages() {
    local p
    say "installing $*"
    update_indexes
    for p in "$@"; do
        [[ $(apt-cache policy "$p" 2>/dev/null) == *"Candidate: "[!\(]* ]] ||
            fail "no package $p in this machine's package sources"
    done
    export DEBIAN_FRONTEND=noninteractive
    if apt-get install -s --no-install-recommends "$@" >"$work/plain.log" 2>&1; then
        apt-get install -y -qq --no-install-recommends "$@" >/dev/null
    elif ! install_pinned "$@"; then
        sed -n '/^E: \|^ [^ ].*: Depends/p' "$work/plain.log" >&2
        fail "apt cannot install $*${update_trouble:+ (the index update said: $update_trouble)}"
    fi
}

if [ ${#missing[@]} -gt 0 ]; then
    install_packages "${missing[@]}"
fi
if runtime=$(clang_runtime) && ! installed "$runtime"; then
    is_root || fail "run once as root, for: installing $runtime"
    install_packages "$runtime"
fi

# A locale whose decimal point is a comma, for the locale-independence tests.
if ! has_locale; then
    say "making the locale de_DE.UTF-8 for the whole system (localedef), for the tests that read numbers where the decimal point is a comma"
    localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi

# How 32-bit programs run here; only where the kernel cannot run them itself do
# they go through qemu, by an entry of ours.
cache=$(zk_cache_dir) || fail "no private folder for the 32-bit probe"
probe=$(zk_build_probe "$cache") || fail "cannot build the 32-bit probe with gcc -m32"
zk_decide_32 "$probe" --may-switch
if [ "$ZK_32" = native ] && [ -n "$ZK_32_HIDDEN_BY" ] && [ "${ZK_EMULATE_32:-0}" != 1 ]; then
    for name in $ZK_32_HIDDEN_BY; do echo -1 > "$ZK_BINFMT_DIR/$name"; done
    if [ "$ZK_32_HIDDEN_BY" = "${ZK_32_HIDDEN_BY% *}" ]; then
        say "removed the binfmt_misc entry $ZK_32_HIDDEN_BY of an earlier setup: it sent every 32-bit program of this machine through qemu, and the kernel runs them itself"
    else
        say "removed the binfmt_misc entries $ZK_32_HIDDEN_BY of earlier setups: they sent every 32-bit program of this machine through qemu, and the kernel runs them itself"
    fi
elif [ "$ZK_32" = native ] && [ -n "$ZK_32_HIDDEN_BY" ]; then
    zk_decide_32 "$probe"
fi
if [ "$ZK_32" = none ] || { [ "$ZK_32" = native ] && [ "${ZK_EMULATE_32:-0}" = 1 ]; }; then
    is_root || fail "run once as root, for: registering qemu-i386 for 32-bit programs (binfmt_misc): $ZK_32_WHY"
    need=()
    installed qemu-user-static || need+=(qemu-user-static)
    command -v mount >/dev/null || need+=(mount)
    [ ${#need[@]} -eq 0 ] || install_packages "${need[@]}"
    if [ ! -e "$ZK_BINFMT_DIR/register" ]; then
        mount -t binfmt_misc binfmt_misc "$ZK_BINFMT_DIR" ||
            fail "cannot mount the binfmt_misc file system on $ZK_BINFMT_DIR"
    fi
    for name in "$ZK_BINFMT_NAME" qemu-i386; do
        if [ -e "$ZK_BINFMT_DIR/$name" ] && zk_entry_is_ours "$name"; then
            fail "the binfmt_misc entry $name is there but does not run the probe (it is $(zk_entry_field "$name" state)): enable it (echo 1 > $ZK_BINFMT_DIR/$name) or remove it (echo -1 > $ZK_BINFMT_DIR/$name)"
        fi
    done
    others=$(for entry in "$ZK_BINFMT_DIR"/*; do
        case ${entry##*/} in register|status) ;; *) echo "${entry##*/}" ;; esac
    done | paste -sd' ')
    printf ':%s:M::%s:%s:%s:F' "$ZK_BINFMT_NAME" \
        '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00' \
        '\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff' \
        "$ZK_QEMU" > "$ZK_BINFMT_DIR/register"
    say "registered the binfmt_misc entry $ZK_BINFMT_NAME: i386 ELF programs run through $ZK_QEMU${others:+ (tried before the entries already there, which did not run the probe: $others)}"
    zk_decide_32 "$probe"
    [ "$ZK_32" = emulated ] && [ "$ZK_32_ENTRY" = "$ZK_BINFMT_NAME" ] ||
        fail "registered $ZK_BINFMT_NAME, but the probe does not run through it: $ZK_32_WHY"
fi
forced=
if [ "${ZK_EMULATE_32:-0}" = 1 ]; then forced=" (as ZK_EMULATE_32=1 asks)"; fi
say "ready; 32-bit programs run $([ "$ZK_32" = native ] && echo natively || echo emulated)$forced: $ZK_32_WHY"
