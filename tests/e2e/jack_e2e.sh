# Sourced by the JACK end-to-end tests.

# start_jack LOG [DUMMY OPTION...]: starts the JACK server named $server on the dummy driver at
# 44.1 kHz, its output in LOG: in real-time mode (-R) where the machine allows it, else without.
# Sets jackd_pid and jackd_mode; false when neither server answered within 5 s.
start_jack() {
    local log=$1
    shift
    for jackd_mode in -R -r; do
        jackd -n "$server" "$jackd_mode" -d dummy -r 44100 "$@" >"$log" 2>&1 &
        jackd_pid=$!
        for _ in $(seq 50); do
            timeout 5 jack_lsp >/dev/null 2>&1 && return 0
            sleep 0.1
        done
        kill "$jackd_pid" 2>/dev/null
        wait "$jackd_pid" 2>/dev/null
    done
    return 1
}

# stop_processes PID...: asks each process to end (SIGTERM), gives them 10 s, then kills the rest.
# A JACK server killed in the middle of its own shutdown can leave its metadata database locked,
# and every server started on the machine after it then hangs at start: the grace is the test
# programs' own (tests/support/JackServer.h), long enough for a server on a loaded machine.
stop_processes() {
    [ $# -gt 0 ] || return 0
    kill -TERM "$@" 2>/dev/null
    local pid alive
    for _ in $(seq 100); do
        alive=""
        for pid in "$@"; do kill -0 "$pid" 2>/dev/null && alive=1; done
        [ -n "$alive" ] || break
        sleep 0.1
    done
    for pid in "$@"; do
        kill -0 "$pid" 2>/dev/null && echo "process $pid did not end within 10 s: killed" >&2
        kill -KILL "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
}

# Bounded waits for what a test awaits, instead of fixed sleeps; each is false on its timeout.
# await_size FILE BYTES: until FILE holds at least BYTES bytes (at most 10 s).
await_size() {
    for _ in $(seq 100); do
        [ "$(stat -c %s "$1" 2>/dev/null || echo 0)" -ge "$2" ] && return 0
        sleep 0.1
    done
    return 1
}
# await_still FILE: until FILE has not grown for 0.3 s (at most 5 s).
await_still() {
    local size last=-1 still=0
    for _ in $(seq 50); do
        size=$(stat -c %s "$1" 2>/dev/null || echo 0)
        if [ "$size" = "$last" ]; then
            still=$((still + 1))
            [ "$still" -ge 3 ] && return 0
        else
            still=0
        fi
        last=$size
        sleep 0.1
    done
    return 1
}
# await_exit PID: until the process PID has ended (at most 5 s).
await_exit() {
    for _ in $(seq 50); do
        kill -0 "$1" 2>/dev/null || return 0
        sleep 0.1
    done
    return 1
}
