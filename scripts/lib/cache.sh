# Sourced by run-pe.sh, setup.sh and test. The folder that holds what the runner
# executes or preloads (the 32-bit probe, the mmap shim) and Wine's prefix. It is
# the user's own, mode 0700: nothing that is executed or preloaded may come from a
# shared or predictable path, where another local user could put it first.

# zk_cache_dir: prints the folder, creating it. ZK_WINE_HOME names it; otherwise
# it is $XDG_CACHE_HOME/zorbelkavrin, or ~/.cache/zorbelkavrin. On failure, says
# why on stderr and returns 1.
zk_cache_dir() {
    local dir
    if [ -n "${ZK_WINE_HOME:-}" ]; then
        dir=$ZK_WINE_HOME
    elif [ -n "${XDG_CACHE_HOME:-}" ]; then
        dir=$XDG_CACHE_HOME/zorbelkavrin
    elif [ -n "${HOME:-}" ]; then
        dir=$HOME/.cache/zorbelkavrin
    else
        echo "no HOME, XDG_CACHE_HOME or ZK_WINE_HOME to keep Wine's prefix in" >&2
        return 1
    fi
    case $dir in
        /*) ;;
        *) echo "the Wine folder must be an absolute path, not $dir" >&2; return 1 ;;
    esac
    if [ ! -e "$dir" ] && [ ! -L "$dir" ]; then
        (umask 077 && mkdir -p "$dir") || { echo "cannot create $dir" >&2; return 1; }
    fi
    zk_check_private "$dir" || return 1
    printf '%s\n' "$dir"
}

# zk_check_private DIR: refuses a folder that is a link, that another user owns or
# that anyone but its owner can write; a folder of ours that others may only read
# is made 0700.
zk_check_private() {
    local dir=$1 owner mode
    if [ -L "$dir" ]; then
        echo "refusing $dir: it is a symbolic link" >&2
        return 1
    fi
    [ -d "$dir" ] || { echo "refusing $dir: it is not a folder" >&2; return 1; }
    read -r owner mode < <(stat -c '%u %a' "$dir") || return 1
    if [ "$owner" != "$(id -u)" ]; then
        echo "refusing $dir: it belongs to user $owner, not to you ($(id -u)); remove it or set ZK_WINE_HOME" >&2
        return 1
    fi
    if (( 8#$mode & 8#022 )); then
        echo "refusing $dir: others can write to it (mode $mode); remove it or set ZK_WINE_HOME" >&2
        return 1
    fi
    [ "$mode" = 700 ] || chmod 0700 "$dir"
}

# zk_stale FILE KEY: true when FILE is missing or was built from something else
# than KEY (a digest of its source and of the command that builds it).
zk_stale() {
    [ -f "$1" ] && [ "$(cat "$1.key" 2>/dev/null)" = "$2" ] && return 1
    return 0
}

# zk_built FILE KEY: records what FILE was built from.
zk_built() {
    printf '%s\n' "$2" > "$1.key"
}
