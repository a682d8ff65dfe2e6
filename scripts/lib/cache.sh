# Sourced by run-pe.sh, setup.sh and test. The folder that holds what the runner
# executes or preloads (the 32-bit probe, the shims) and Wine's prefix. It is the
# user's own, and nobody else can write to it or to a folder above it: nothing that
# is executed or preloaded may come from a shared or predictable path, where another
# local user could put it first or swap the folder after the check. What the runner
# made carries a mark (ZK_MADE_MARK); what does not is never changed or deleted.

ZK_MADE_MARK=.zorbelkavrin-runner

# zk_cache_dir: prints the folder, creating it. ZK_WINE_HOME names it; otherwise
# it is $XDG_CACHE_HOME/zorbelkavrin, or ~/.cache/zorbelkavrin. Root (sudo -E keeps
# a user's HOME) takes root's own home folder when the one these name is not
# root's, so that no root-owned folder appears in a user's home. On failure, says
# why on stderr and returns 1.
zk_cache_dir() {
    local dir base
    if [ -n "${ZK_WINE_HOME:-}" ]; then
        dir=$ZK_WINE_HOME
    else
        if [ -n "${XDG_CACHE_HOME:-}" ]; then
            base=$XDG_CACHE_HOME
        elif [ -n "${HOME:-}" ]; then
            base=$HOME/.cache
        else
            echo "no HOME, XDG_CACHE_HOME or ZK_WINE_HOME to keep Wine's prefix in" >&2
            return 1
        fi
        if [ "$(id -u)" = 0 ] && [ "$(zk_owner_of_nearest "$base")" != 0 ]; then
            base=${ZK_ROOT_HOME:-$(getent passwd 0 | cut -d: -f6)}/.cache
        fi
        dir=$base/zorbelkavrin
    fi
    case $dir in
        /*) ;;
        *) echo "the Wine folder must be an absolute path, not $dir" >&2; return 1 ;;
    esac
    if [ ! -e "$dir" ] && [ ! -L "$dir" ]; then
        (umask 077 && mkdir -p "$dir" && : > "$dir/$ZK_MADE_MARK") || { echo "cannot create $dir" >&2; return 1; }
    fi
    zk_check_private "$dir" || return 1
    printf '%s\n' "$dir"
}

# zk_owner_of_nearest PATH: the owner of PATH, or of the nearest folder above it
# that exists.
zk_owner_of_nearest() {
    local path=$1
    while [ ! -e "$path" ] && [ ! -L "$path" ] && [ "$path" != / ]; do path=$(dirname "$path"); done
    stat -c %u -- "$path"
}

# zk_check_private DIR: refuses a folder that is a link, that another user owns or
# that anyone but its owner can write, and one below a folder that is a link, that
# belongs to someone other than the user or root, or that others can write (but
# for a sticky one, such as /tmp, where they cannot rename what is not theirs). All
# is read without following links. A folder the runner made that others may read
# is made 0700 again; one it did not make is left as it is.
zk_check_private() {
    local dir=$1 path type owner mode me
    me=$(id -u)
    IFS='|' read -r type owner mode < <(stat -c '%F|%u|%a' -- "$dir" 2>/dev/null)
    case $type in
        "symbolic link") echo "refusing $dir: it is a symbolic link" >&2; return 1 ;;
        directory) ;;
        *) echo "refusing $dir: it is not a folder" >&2; return 1 ;;
    esac
    if [ "$owner" != "$me" ]; then
        echo "refusing $dir: it belongs to user $owner, not to you ($me); remove it or set ZK_WINE_HOME" >&2
        return 1
    fi
    if (( 8#$mode & 8#022 )); then
        echo "refusing $dir: others can write to it (mode $mode); remove it or set ZK_WINE_HOME" >&2
        return 1
    fi
    path=$dir
    while [ "$path" != / ]; do
        path=$(dirname "$path")
        IFS='|' read -r type owner mode < <(stat -c '%F|%u|%a' -- "$path" 2>/dev/null)
        if [ "$type" = "symbolic link" ]; then
            echo "refusing $dir: the folder $path above it is a symbolic link; set ZK_WINE_HOME" >&2
            return 1
        elif [ "$owner" != "$me" ] && [ "$owner" != 0 ]; then
            echo "refusing $dir: the folder $path above it belongs to user $owner; set ZK_WINE_HOME" >&2
            return 1
        elif (( 8#$mode & 8#022 )) && ! (( 8#$mode & 8#1000 )); then
            echo "refusing $dir: others can write to the folder $path above it (mode $mode); set ZK_WINE_HOME" >&2
            return 1
        fi
    done
    if [ -f "$dir/$ZK_MADE_MARK" ] && [ "$(stat -c %a -- "$dir")" != 700 ]; then chmod 0700 "$dir"; fi
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
