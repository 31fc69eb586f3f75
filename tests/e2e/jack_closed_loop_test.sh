#!/usr/bin/env bash
# Closed-loop sends through a real JACK MIDI server to `velomire-cli sampler`: clean, with NAKs,
# with WAIT, with a packet lost on the way, with CANCEL and with a sampler that never answers.
# What the simulated sampler keeps must be exactly what `decode` makes of `render`'s bytes on the
# numbers the send chose; the silent one must get the listing's requests, then the one-way bytes.
# Usage: jack_closed_loop_test.sh CLI
set -uo pipefail
# shellcheck source=jack_e2e.sh
source "$(dirname "$0")/jack_e2e.sh"
cli=$1
skip=77

for tool in jackd jack_lsp sox cmp; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed (Debian: jackd2, sox)"; exit $skip; }
done

work=$(mktemp -d)
# A fixed name of this test's own: JACK's registry holds 8 server names and reuses a dead server's
# entry only for the same name (see jack_send_test.sh).
server="velomire-e2e-closed-loop"
export JACK_DEFAULT_SERVER=$server
export VELOMIRE_SETTINGS_FILE=$work/settings.ini
pids=()
sampler_pid=""

cleanup() {
    [ -f "$work/sampler.pid" ] && pids+=("$(cat "$work/sampler.pid")")
    stop_processes "${pids[@]}"
    rm -f /dev/shm/*"_${server}_"* 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

xruns() { grep -c 'XRun' "$work/jackd.log"; }
fail() {
    echo "FAIL: $*"
    [ -f "$work/sampler.log" ] && cat "$work/sampler.log"
    exit 1
}

# 512-frame periods, with real-time scheduling where the machine allows it: on a loaded machine
# a client that misses a cycle loses that cycle's MIDI.
start_jack "$work/jackd.log" -p 512 || fail "jackd did not start: $(cat "$work/jackd.log")"
pids+=("$jackd_pid")

mkdir "$work/prog"
sox -n -r 44100 -c 1 -b 16 "$work/prog/click.wav" synth 0.02 sine 880 || fail "sox"
sox -n -r 22050 -c 2 -b 16 "$work/prog/pad.wav" synth 0.03 sine 220 sine 330 || fail "sox"
(cd "$work/prog" && "$cli" new loop.vmp click.wav pad.wav) >/dev/null || fail "velomire-cli new"

# Starts the simulated sampler with the given options and waits for its ports.
start_sampler() {
    rm -rf "$work/received"
    "$cli" sampler --name vsampler --out "$work/received" "$@" >"$work/sampler.log" 2>&1 &
    sampler_pid=$!
    echo "$sampler_pid" >"$work/sampler.pid"
    for _ in $(seq 100); do grep -q '^Listening' "$work/sampler.log" && return; sleep 0.1; done
    fail "the sampler did not start"
}
stop_sampler() {
    kill -TERM "$sampler_pid"
    wait "$sampler_pid" || fail "the sampler did not end cleanly"
    sampler_pid=""
}
send() {
    "$cli" send "$work/prog/loop.vmp" --port vsampler:in --reply-port vsampler:out \
        --trace "$work/trace.chk" "$@" >"$work/send.log" 2>&1
}
# The numbers the last send said it chose (after listing the sampler), as render's options; none
# when it said nothing (the sampler did not list), and render then proposes as the send did.
sent_numbers() {
    sed -n -e 's/^Program number \([0-9]*\), sample numbers from \([0-9]*\) .*/--program-number \1 --sample-number \2/p' \
        -e 's/^Sample numbers from \([0-9]*\) .*/--sample-number \1/p' "$work/send.log"
}
# The sampler kept exactly what decode makes of the rendered bytes.
expect_received() {
    local model=$1
    rm -rf "$work/expected"
    # shellcheck disable=SC2046 # the options, one word each
    "$cli" render "$work/prog/loop.vmp" --model "$model" $(sent_numbers) -o "$work/expected.syx" ||
        fail "render"
    "$cli" decode "$work/expected.syx" --out "$work/expected" >/dev/null || fail "decode"
    for file in "$work/expected"/*; do
        cmp -s "$file" "$work/received/$(basename "$file")" ||
            fail "$model: $(basename "$file") differs from the rendered one"
    done
}

# One scenario: OPTIONS of the sampler, then CHECK (a function) on the outcome. A scenario that
# fails while the server reported xruns (MIDI lost in a missed cycle) is run once more, and
# skipped when that happens again: the handshake cannot bring back a packet the server dropped.
scenario() {
    local name=$1 check=$2
    shift 2
    local attempt
    for attempt in 1 2; do
        local before
        before=$(xruns)
        if (start_sampler "$@" && $check) >"$work/scenario.log" 2>&1; then
            echo "ok: $name"
            return
        fi
        if [ -f "$work/sampler.pid" ]; then
            kill -TERM "$(cat "$work/sampler.pid")" 2>/dev/null
            await_exit "$(cat "$work/sampler.pid")"
        fi
        if [ "$(xruns)" = "$before" ]; then
            cat "$work/scenario.log"
            fail "$name"
        fi
        echo "retry: $name lost MIDI in JACK xruns ($(grep -m1 '^FAIL' "$work/scenario.log"))"
    done
    echo "SKIP: $name lost MIDI in JACK xruns twice"
    exit $skip
}

clean() {
    send --model "$model" || fail "$model clean: $(cat "$work/send.log")"
    stop_sampler
    grep -q "with handshake" "$work/send.log" || fail "no handshake: $(cat "$work/send.log")"
    expect_received "$model"
}
naks_and_wait() {
    send --model "$model" || fail "$model NAK: $(cat "$work/send.log")"
    stop_sampler
    grep -q "Packets sent again: 2" "$work/send.log" || fail "$(cat "$work/send.log")"
    expect_received "$model"
}
lost() {
    send --model "$model" || fail "$model lost packet: $(cat "$work/send.log")"
    stop_sampler
    grep -q "lost on the way" "$work/sampler.log" || fail "nothing was lost: $(cat "$work/sampler.log")"
    # The lost packet and the one after it at least; late answers in a loaded server's cycles
    # may add some.
    grep -q -E "Packets sent again: ([2-9]|[1-9][0-9]+)$" "$work/send.log" ||
        fail "$(cat "$work/send.log")"
    expect_received "$model"
}
cancelled() {
    send --model "$model" && fail "$model: a cancelled send succeeded"
    stop_sampler
    grep -q "The sampler cancelled the transfer." "$work/send.log" || fail "$(cat "$work/send.log")"
}
# The send lists the sampler first: the trace holds the listing's requests (SDS Dump Requests,
# the S1000 family's status request), which a silent sampler leaves unanswered, and then the
# send's own messages, which must be exactly the rendered bytes.
listing_request='f07e[0-7][0-9a-f]03[0-7][0-9a-f][0-7][0-9a-f]f7|f047[0-7][0-9a-f]0048f7'
silent() {
    send --model "$model" || fail "$model silent: $(cat "$work/send.log")"
    stop_sampler
    # shellcheck disable=SC2046 # the options, one word each
    "$cli" render "$work/prog/loop.vmp" --model "$model" $(sent_numbers) -o "$work/expected.syx" ||
        fail "render"
    local sent listed
    sent=$(stat -c %s "$work/expected.syx")
    listed=$(($(stat -c %s "$work/trace.chk") - sent))
    [ "$listed" -gt 0 ] || fail "$model: the send did not list the sampler first"
    tail -c "$sent" "$work/trace.chk" | cmp -s - "$work/expected.syx" ||
        fail "$model: a silent sampler got other bytes than the rendered ones"
    local requests
    requests=$(head -c "$listed" "$work/trace.chk" | od -An -tx1 -v | tr -d ' \n')
    [[ $requests =~ ^($listing_request)+$ ]] ||
        fail "$model: before the send, a silent sampler got more than the listing's requests"
    # An SDS sampler without samples is silent too; the S1000 family's silence is told.
    if [ "$model" = "Akai S3000 XL" ]; then
        grep -q "did not say which numbers it holds" "$work/send.log" || fail "$(cat "$work/send.log")"
    fi
    expect_received "$model"
}

for model in "SDS compatible sampler" "Akai S3000 XL"; do
    scenario "$model, clean" clean --model "$model"
    scenario "$model, two NAKs and a WAIT" naks_and_wait --model "$model" --nak 1,5 --wait 8:300
    scenario "$model, one packet lost on the way" lost --model "$model" --lose 3
    scenario "$model, cancelled" cancelled --model "$model" --cancel-at 3
    scenario "$model, silent" silent --model "$model" --one-way
done

# The server freezes (SIGSTOP) during a closed-loop send, once the sender has handed $1 bytes to
# it ("held": once it has sent nothing for 0.3 s, held by the sampler), then $2 happens to the
# sender (or nothing): the send ends within $4 s of the freeze with exit status $3 and its message.
frozen() {
    local when=$1 action=$2 status=$3 limit=$4
    shift 4
    start_sampler --model "Akai S3000 XL" "$@"
    rm -f "$work/trace.chk"
    "$cli" send "$work/prog/loop.vmp" --port vsampler:in --reply-port vsampler:out \
        --model "Akai S3000 XL" --trace "$work/trace.chk" >"$work/send.log" 2>&1 &
    local sender=$!
    if [ "$when" = held ]; then
        await_size "$work/trace.chk" 1 && await_still "$work/trace.chk"
    else
        await_size "$work/trace.chk" "$when"
    fi || fail "frozen server, $action: the send did not get under way: $(cat "$work/send.log")"
    kill -STOP "$jackd_pid"
    local start
    start=$(date +%s%N)
    eval "$action"
    local waited=0
    while kill -0 "$sender" 2>/dev/null && [ "$waited" -lt $((limit * 10 + 50)) ]; do
        sleep 0.1
        waited=$((waited + 1))
    done
    local took=$((($(date +%s%N) - start) / 1000000))
    kill -CONT "$jackd_pid"
    wait "$sender"
    local got=$?
    stop_sampler
    [ "$took" -le $((limit * 1000)) ] || fail "frozen server, $action: the send took ${took} ms: $(cat "$work/send.log")"
    [ "$got" -eq "$status" ] || fail "frozen server, $action: exit status $got, not $status: $(cat "$work/send.log")"
    echo "ok: frozen server${*:+ ($*)}, ${action:-nothing}: ended in ${took} ms: $(tail -1 "$work/send.log")"
}
frozen 3000 "" 1 5 # a second at MIDI speed into the send
frozen held "" 1 5 --wait 2:60000 # while the sampler holds the sender with WAIT
frozen 3000 'kill -INT $sender' 130 3
echo "1 passed, 0 failed"
