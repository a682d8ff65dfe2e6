#!/bin/bash
# The runner's own folder (prefix, probe, shim): made private, refused when anyone
# else could put something there first; what is built in it is rebuilt when what it
# was built from changes.
set -u
scripts=$(cd "$(dirname "$0")/../../scripts" && pwd)
source "$scripts/lib/cache.sh"
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
passes=0 failures=0
check() { # DESCRIPTION EXPECTED GOT
    if [ "$2" = "$3" ]; then
        echo "ok    $1: $3"; passes=$((passes + 1))
    else
        echo "FAIL  $1: got '$3', expected '$2'"; failures=$((failures + 1))
    fi
}
folder() { # ZK_WINE_HOME -> "made MODE" or "refused: REASON"
    local dir
    if dir=$(ZK_WINE_HOME=$1 zk_cache_dir 2>"$work/why"); then
        echo "made $(stat -c %a "$dir")"
    else
        echo "refused: $(sed -e "s|$work/||g" -e 's/ (.*//' -e 's/;.*//' "$work/why")"
    fi
}

check "a new folder, parents too" "made 700" "$(folder "$work/new/cache")"
check "the new folder's parent" 700 "$(stat -c %a "$work/new")"
mkdir -m 755 "$work/readable"
check "ours, readable by others" "made 700" "$(folder "$work/readable")"
mkdir "$work/shared" && chmod 775 "$work/shared"
check "ours, writable by the group" "refused: refusing shared: others can write to it" "$(folder "$work/shared")"
chmod 1777 "$work/shared"
check "ours, a /tmp-like folder" "refused: refusing shared: others can write to it" "$(folder "$work/shared")"
mkdir -m 700 "$work/target" && ln -s "$work/target" "$work/link"
check "a link to a folder of ours" "refused: refusing link: it is a symbolic link" "$(folder "$work/link")"
check "a relative path" "refused: the Wine folder must be an absolute path, not cache" "$(folder cache)"
if [ "$(id -u)" = 0 ]; then
    mkdir -m 700 "$work/theirs" && chown 65534 "$work/theirs"
    check "another user's folder" "refused: refusing theirs: it belongs to user 65534, not to you" "$(folder "$work/theirs")"
else
    check "another user's folder" "refused: refusing /: it belongs to user 0, not to you" "$(folder /)"
fi
got=$(ZK_WINE_HOME=$work/shared "$scripts/run-pe.sh" --how 2>&1; echo "exit $?")
check "the runner refuses it too" \
    "run-pe.sh: refusing shared: others can write to it (mode 1777); remove it or set ZK_WINE_HOME|exit 125" \
    "$(sed "s|$work/||" <<<"$got" | paste -sd'|')"

touch "$work/built"
zk_stale "$work/built" key-1 && got=stale || got=fresh
check "built, no record of what from" stale "$got"
zk_built "$work/built" key-1
zk_stale "$work/built" key-1 && got=stale || got=fresh
check "built from the same source" fresh "$got"
zk_stale "$work/built" key-2 && got=stale || got=fresh
check "built from another source" stale "$got"
rm "$work/built"
zk_stale "$work/built" key-1 && got=stale || got=fresh
check "record kept, file gone" stale "$got"

echo "$passes passed, $failures failed"
[ $failures -eq 0 ]
