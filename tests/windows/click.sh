# Sourced by the tests that run a program as a player's double-click starts it.
#
# click SCREEN DIR PROGRAM [PROMPT KEYS]...: runs "PROGRAM" (a path below DIR, with
# its arguments) in a console window of its own (a pseudo-terminal: Wine's console
# then has one client), and once each PROMPT is on the screen, and the program is
# still waiting there half a second later, types KEYS and Enter (a carriage return,
# as a terminal sends it). SCREEN gets what the window showed, as plain lines.
# Returns 1, saying why, when a prompt does not come within 30 s or the program
# does not wait at it.
click() {
    local screen=$1 dir=$2 program=$3 runner
    shift 3
    runner=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scripts" && pwd)/run-pe.sh
    rm -f "$screen.keys" "$screen.raw"
    mkfifo "$screen.keys"
    ZK_STDIN=keep script -qec "stty cols 1000; $runner $dir $program" /dev/null < "$screen.keys" > "$screen.raw" &
    local window=$! typing status=0 seen
    exec {typing}> "$screen.keys"
    plain() { tr -d '\r' < "$screen.raw" | sed -e 's/\x1b\[[0-9;?]*[a-zA-Z]//g' | grep -v '^$'; }
    while [ $# -ge 2 ] && [ $status = 0 ]; do
        seen=no
        for _ in $(seq 300); do
            plain | grep -qF -- "$1" && { seen=yes; break; }
            kill -0 "$window" 2>/dev/null || break
            sleep 0.1
        done
        sleep 0.5
        if [ $seen = no ]; then
            echo "click: no prompt '$1' on the screen"
            status=1
        elif ! kill -0 "$window" 2>/dev/null; then
            echo "click: the program did not wait at '$1'"
            status=1
        else
            printf '%s\r' "$2" >&"$typing" 2>/dev/null
        fi
        shift 2
    done
    exec {typing}>&-
    wait "$window"
    plain > "$screen"
    rm -f "$screen.keys" "$screen.raw"
    return $status
}
