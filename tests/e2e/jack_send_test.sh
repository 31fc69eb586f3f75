#!/usr/bin/env bash
# Sends one program per sampler family through a real JACK MIDI server to jack_midi_dump, an
# independent receiver, and checks that the bytes it received, in order, are exactly the bytes
# `velomire-cli render` writes for the same program and numbers. Usage: jack_send_test.sh CLI
set -uo pipefail
cli=$1
skip=77

for tool in jackd jack_lsp jack_midi_dump sox od; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed (Debian: jackd2, sox)"; exit $skip; }
done

work=$(mktemp -d)
# A fixed name: JACK's registry holds 8 server names and reuses a dead server's entry only for the
# same name. CTest's "jack" lock keeps the tests that start a server from running together.
server="velomire-e2e"
export JACK_DEFAULT_SERVER=$server
export VELOMIRE_SETTINGS_FILE=$work/settings.ini
pids=()

cleanup() {
    for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null; done
    sleep 0.3
    for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
    rm -f /dev/shm/*"_${server}_"* 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAIL: $*"; exit 1; }

jackd -n "$server" -r -d dummy -r 44100 >"$work/jackd.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do jack_lsp >/dev/null 2>&1 && break; sleep 0.1; done
jack_lsp >/dev/null 2>&1 || fail "jackd did not start: $(cat "$work/jackd.log")"

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

for model in "SDS compatible sampler" "Akai S950" "Akai S3000 XL"; do
    "$cli" render "$work/prog/e2e.vmp" --model "$model" -o "$work/expected.syx" ||
        fail "render for $model"
    before=$(wc -l <"$work/dump.txt")
    start=$(date +%s.%N)
    "$cli" send "$work/prog/e2e.vmp" --model "$model" --port velomire_e2e:input \
        --trace "$work/trace.chk" >"$work/send.log" 2>&1 || fail "send for $model: $(cat "$work/send.log")"
    seconds=$(echo "$(date +%s.%N) - $start" | bc 2>/dev/null || echo "?")
    sleep 0.5
    received_since "$before" >"$work/received.txt"
    hex_of "$work/expected.syx" >"$work/expected.txt"
    if ! cmp -s "$work/expected.txt" "$work/received.txt"; then
        echo "expected $(wc -l <"$work/expected.txt") bytes, received $(wc -l <"$work/received.txt")"
        diff "$work/expected.txt" "$work/received.txt" | head -20
        fail "$model: the receiver did not get the rendered bytes"
    fi
    cmp -s "$work/expected.syx" "$work/trace.chk" || fail "$model: the trace differs from render"
    grep -q "as sample#" "$work/send.log" || fail "$model: no list lines in the output"
    echo "ok: $model, $(wc -l <"$work/expected.txt") bytes in ${seconds}s"
done
echo "1 passed, 0 failed"
