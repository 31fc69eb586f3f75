# Sourced by the JACK end-to-end tests.
# stop_processes PID...: asks each process to end (SIGTERM), gives them 5 s, then kills the rest.
# A JACK server killed in the middle of its own shutdown can leave its metadata database locked,
# and every server started on the machine after it then hangs at start.
stop_processes() {
    [ $# -gt 0 ] || return 0
    kill -TERM "$@" 2>/dev/null
    local pid alive
    for _ in $(seq 50); do
        alive=""
        for pid in "$@"; do kill -0 "$pid" 2>/dev/null && alive=1; done
        [ -n "$alive" ] || break
        sleep 0.1
    done
    for pid in "$@"; do
        kill -0 "$pid" 2>/dev/null && echo "process $pid did not end within 5 s: killed" >&2
        kill -KILL "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
}
