#!/usr/bin/env bash
# Sends one program per sampler family through a real JACK MIDI server to jack_midi_dump, an
# independent receiver, and checks that the bytes it received, in order, are exactly the bytes
# `velomire-cli render` writes for the same program and numbers. Usage: jack_send_test.sh CLI
set -uo pipefail
# shellcheck source=jack_e2e.sh
source "$(dirname "$0")/jack_e2e.sh"
cli=$1
skip=77

for tool in jackd jack_lsp jack_midi_dump sox od; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed (Debian: jackd2, sox)"; exit $skip; }
done

work=$(mktemp -d)
# A fixed name of this test's own: JACK's registry holds 8 server names and reuses a dead server's
# entry only for the same name, so the names of every test of the suite (5) must stay few. With
# its own name it runs beside the other tests that start a server.
server="velomire-e2e-send"
export JACK_DEFAULT_SERVER=$server
export VELOMIRE_SETTINGS_FILE=$work/settings.ini
pids=()

cleanup() {
    stop_processes "${pids[@]}"
    rm -f /dev/shm/*"_${server}_"* 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    exit 1
}
missed_cycles() { grep -c "was not finished" "$work/jackd.log"; }

# Real-time scheduling where the machine allows it (it makes xruns rare, not absent).
start_jack "$work/jackd.log" || fail "jackd did not start: $(cat "$work/jackd.log")"
pids+=("$jackd_pid")
echo "jackd $jackd_mode"

stdbuf -oL jack_midi_dump velomire_e2e >"$work/dump.txt" 2>&1 &
pids+=($!)
for _ in $(seq 50); do jack_lsp 2>/dev/null | grep -q '^velomire_e2e:input$' && break; sleep 0.1; done
jack_lsp | grep -q '^velomire_e2e:input$' || fail "jack_midi_dump did not register its port"

# A short mono sample and a short stereo one, so each transfer takes a few seconds at MIDI speed.
mkdir "$work/prog"
sox -n -r 44100 -c 1 -b 16 "$work/prog/click.wav" synth 0.02 sine 880 || fail "sox"
sox -n -r 22050 -c 2 -b 16 "$work/prog/pad.wav" synth 0.03 sine 220 sine 330 || fail "sox"
(cd "$work/prog" && "$cli" new e2e.vmp click.wav pad.wav) >/dev/null || fail "velomire-cli new"

"$cli" ports >"$work/ports.txt" 2>/dev/null
grep -q 'velomire_e2e:input' "$work/ports.txt" || fail "the receiver is not listed: $(cat "$work/ports.txt")"

# Received bytes as one hex byte per line, from the dump's lines "time: aa bb cc".
received_since() {
    tail -n +"$(($1 + 1))" "$work/dump.txt" | grep -E '^ *[0-9]+:' | sed 's/^[^:]*://' |
        tr -s ' ' '\n' | grep -v '^$'
}
hex_of() { od -An -v -tx1 "$1" | tr -s ' \n' '\n' | grep -v '^$'; }
# Waits, at most 5 s, until the receiver has printed at least $1 bytes since line $before.
await_received() {
    for _ in $(seq 50); do
        [ "$(received_since "$before" | wc -l)" -ge "$1" ] && return 0
        sleep 0.1
    done
    return 1
}

warning="velomire-cli: Warning: JACK missed [0-9]* cycles\? during the transfer; the sampler may have received damaged data. Send again, or use a Midi In device to confirm."
# Sends the program to the receiver (options: $2...) and checks the ending: exit 0 only when the
# receiver got exactly the rendered bytes; exit 3 with the warning when JACK missed cycles.
send_checked() {
    local model=$1
    shift
    "$cli" render "$work/prog/e2e.vmp" --model "$model" -o "$work/expected.syx" ||
        fail "render for $model"
    before=$(wc -l <"$work/dump.txt")
    local start status
    start=$(date +%s.%N)
    "$cli" send "$work/prog/e2e.vmp" --model "$model" --port velomire_e2e:input \
        --trace "$work/trace.chk" "$@" >"$work/send.log" 2>"$work/send.err"
    status=$?
    seconds=$(echo "$(date +%s.%N) - $start" | bc 2>/dev/null || echo "?")
    # The last bytes handed to JACK reach the receiver a cycle or two after the send ends.
    [ "$status" -eq 0 ] && await_received "$(stat -c %s "$work/trace.chk")"
    received_since "$before" >"$work/received.txt"
    hex_of "$work/expected.syx" >"$work/expected.txt"
    cmp -s "$work/expected.syx" "$work/trace.chk" || fail "$model: the trace differs from render"
    grep -q "as sample#" "$work/send.log" || fail "$model: no list lines in the output"
    if [ "$status" -eq 3 ]; then
        grep -qx "$warning" "$work/send.err" || fail "$model: exit 3 without the warning: $(cat "$work/send.err")"
        grep -q "^Sent .* (JACK missed [0-9]* cycles\?)$" "$work/send.log" ||
            fail "$model: exit 3 without its report: $(cat "$work/send.log")"
        echo "ok: $model, JACK missed cycles (server: $(missed_cycles)); warned: $(cat "$work/send.err")"
        return 3
    fi
    [ "$status" -eq 0 ] || fail "send for $model, exit $status: $(cat "$work/send.log" "$work/send.err")"
    if ! cmp -s "$work/expected.txt" "$work/received.txt"; then
        echo "expected $(wc -l <"$work/expected.txt") bytes, received $(wc -l <"$work/received.txt")"
        diff "$work/expected.txt" "$work/received.txt" | head -20
        fail "$model: exit 0, but the receiver did not get the rendered bytes"
    fi
    echo "ok: $model, $(wc -l <"$work/expected.txt") bytes in ${seconds}s"
}

for model in "SDS compatible sampler" "Akai S950" "Akai S3000 XL"; do
    send_checked "$model"
done

# A sample the S3000 XL plays off pitch is sent all the same and named once: exit 3, or 0 with
# --allow-rate (3 then only with JACK's own warning).
sox -n -r 48000 -c 1 -b 16 "$work/prog/hum48.wav" synth 0.02 sine 50 || fail "sox"
(cd "$work/prog" && "$cli" new hum.vmp hum48.wav) >/dev/null || fail "velomire-cli new"
off_pitch="velomire-cli: warning: hum48.wav [hum48] is sampled at 48000 Hz: the S3000 XL plays it at 44100 Hz, 146.7 cents flat"
for allow in "" --allow-rate; do
    "$cli" send "$work/prog/hum.vmp" --model S3000XL --port velomire_e2e:input ${allow:+"$allow"} \
        >"$work/send.log" 2>"$work/send.err"
    status=$?
    [ "$(grep -cxF "$off_pitch" "$work/send.err")" -eq 1 ] ||
        fail "off pitch $allow: not one warning: $(cat "$work/send.err")"
    if [ -z "$allow" ] || ! grep -qx "$warning" "$work/send.err"; then
        [ "$status" -eq "$([ -z "$allow" ] && echo 3 || echo 0)" ] ||
            fail "off pitch $allow: exit $status: $(cat "$work/send.err")"
    fi
    echo "ok: off pitch $allow, exit $status"
done

# A receiver that stalls now and then, as one on a loaded machine does: 60 ms every 400 ms.
stall_receiver() {
    while kill -0 "$1" 2>/dev/null; do
        sleep 0.4
        kill -STOP "${pids[1]}"
        sleep 0.06
        kill -CONT "${pids[1]}"
    done
}
sleep 60 &
staller_until=$!
stall_receiver "$staller_until" &
staller=$!
send_checked "Akai S950"
stalled=$?
kill "$staller_until" 2>/dev/null
wait "$staller" 2>/dev/null
kill -CONT "${pids[1]}"
[ "$stalled" -eq 3 ] || fail "a stalled receiver went unwarned"

# A send that ends early, with the receiver still taking data, leaves it whole messages that
# are, message by message, the start of what render gives; a data dump cut short ends in F7.
check_prefix() { # $1 what; received.txt and expected.txt hold one hex byte a line
    local n
    n=$(wc -l <"$work/received.txt")
    [ "$n" -gt 0 ] || fail "$1: nothing arrived"
    head -1 "$work/received.txt" | grep -qx f0 || fail "$1: the first byte is not F0"
    tail -1 "$work/received.txt" | grep -qx f7 || fail "$1: the last byte is not F7"
    if ! cmp -s <(head -n "$n" "$work/expected.txt") "$work/received.txt"; then
        cmp -s <(head -n "$((n - 1))" "$work/expected.txt") <(head -n "$((n - 1))" "$work/received.txt") ||
            fail "$1: the bytes received are not the start of the rendered ones"
    fi
}

# Runs a send of the S950 program in the background, does $2 to it once the receiver has got
# $1 bytes of it, and checks its exit status ($3) and that it ended within $4 seconds of that.
send_interrupted() {
    local bytes=$1 action=$2 status=$3 limit=$4
    "$cli" render "$work/prog/e2e.vmp" --model "Akai S950" -o "$work/expected.syx" || fail "render"
    hex_of "$work/expected.syx" >"$work/expected.txt"
    before=$(wc -l <"$work/dump.txt")
    "$cli" send "$work/prog/e2e.vmp" --model "Akai S950" --port velomire_e2e:input \
        >"$work/send.log" 2>"$work/send.err" &
    local sender=$!
    await_received "$bytes" || fail "$action: the receiver got less than $bytes bytes in 5 s"
    local start
    start=$(date +%s%N)
    eval "$action"
    wait "$sender"
    local got=$?
    local took=$((($(date +%s%N) - start) / 1000000))
    [ "$got" -eq "$status" ] || fail "$action: exit status $got, not $status: $(cat "$work/send.err")"
    [ "$took" -le $((limit * 1000)) ] || fail "$action: took ${took} ms"
    [ "$(wc -l <"$work/send.err")" -eq 1 ] || fail "$action: not one line: $(cat "$work/send.err")"
    echo "ok: $action ended the send in ${took} ms: $(cat "$work/send.err")"
}

# Each some 1,000 bytes (a third of a second at MIDI speed) into the sample data.
send_interrupted 1200 'kill -INT $sender' 130 1
await_still "$work/dump.txt"
received_since "$before" >"$work/received.txt"
check_prefix "SIGINT"
send_interrupted 1200 'kill -TERM $sender' 143 1
await_still "$work/dump.txt"
received_since "$before" >"$work/received.txt"
check_prefix "SIGTERM"
send_interrupted 1200 'kill -STOP ${pids[0]}' 1 5
kill -CONT "${pids[0]}"
send_interrupted 1200 'kill -KILL ${pids[0]}' 1 3
echo "1 passed, 0 failed"
