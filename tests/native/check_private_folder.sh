#!/bin/bash
# The runner's own folder (prefix, probe, shim): made private, refused when anyone
# else could put something there first; what is built in it is rebuilt when what it
# was built from changes.
set -u
scripts=$(cd "$(dirname "$0")/../../scripts" && pwd)
source "$scripts/lib/x86-32.sh"
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
check "the user's own, readable by others: left as it is" "made 755" "$(folder "$work/readable")"
check "... and nothing of the runner's put in it" "" "$(ls -A "$work/readable")"
chmod 755 "$work/new/cache"
check "made by the runner, readable by others since" "made 700" "$(folder "$work/new/cache")"
mkdir -m 777 "$work/open" && mkdir -m 700 "$work/open/cache"
check "below a folder others can write" "refused: refusing open/cache: others can write to the folder open above it" "$(folder "$work/open/cache")"
chmod 1777 "$work/open"
check "below a sticky folder others can write (/tmp)" "made 700" "$(folder "$work/open/cache")"
mkdir -m 700 "$work/real" "$work/real/cache" && ln -s "$work/real" "$work/linked"
check "below a link" "refused: refusing linked/cache: the folder linked above it is a symbolic link" "$(folder "$work/linked/cache")"
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
    mkdir -m 755 "$work/theirs-too" && mkdir -m 700 "$work/theirs-too/cache" && chown 65534 "$work/theirs-too"
    check "below another user's folder" "refused: refusing theirs-too/cache: the folder theirs-too above it belongs to user 65534" "$(folder "$work/theirs-too/cache")"
    # sudo -E: root with a user's HOME (or XDG_CACHE_HOME) takes root's own folder,
    # and makes nothing in the user's.
    mkdir -m 755 "$work/user-home" "$work/root-home" && chown 65534 "$work/user-home"
    got=$(env -u ZK_WINE_HOME -u XDG_CACHE_HOME HOME="$work/user-home" ZK_ROOT_HOME="$work/root-home" bash -c \
        "source '$scripts/lib/cache.sh'; zk_cache_dir" 2>&1)
    check "root with a user's HOME" "root-home/.cache/zorbelkavrin, user's home empty" \
        "${got#"$work/"}, user's home $( [ -z "$(ls -A "$work/user-home")" ] && echo empty || echo "holds $(ls -A "$work/user-home")")"
    got=$(env -u ZK_WINE_HOME HOME=/root XDG_CACHE_HOME="$work/user-home/.cache" ZK_ROOT_HOME="$work/root-home" bash -c \
        "source '$scripts/lib/cache.sh'; zk_cache_dir" 2>&1)
    check "root with a user's XDG_CACHE_HOME" "root-home/.cache/zorbelkavrin" "${got#"$work/"}"
else
    check "another user's folder" "refused: refusing /: it belongs to user 0, not to you" "$(folder /)"
fi
# A prefix the runner did not make, cut short (no system.reg): never deleted.
mkdir -m 700 -p "$work/home/prefix" && echo mine > "$work/home/prefix/notes.txt" && : > "$work/x.exe"
got=$(ZK_WINE_HOME=$work/home "$scripts/run-pe.sh" "$work" x.exe 2>&1; echo "exit $?")
check "a prefix the runner did not make" \
    "run-pe.sh: refusing to remove home/prefix: it is no complete Wine prefix (no system.reg), and the runner did not make it; remove it yourself, or set ZK_WINE_HOME|exit 125|mine" \
    "$(sed "s|$work/||" <<<"$got" | paste -sd'|')|$(cat "$work/home/prefix/notes.txt")"
# Four probe builds at once in a fresh folder, ten times: each gets the probe.
built=0
for round in $(seq 10); do
    mkdir -m 700 "$work/builds-$round"
    for _ in 1 2 3 4; do (zk_build_probe "$work/builds-$round" 64 >/dev/null && echo ok) & done > "$work/built-$round"
    wait
    built=$((built + $(grep -c ok "$work/built-$round")))
done
check "four probe builds at once, ten times" 40 "$built"
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
