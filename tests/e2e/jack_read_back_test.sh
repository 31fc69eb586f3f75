#!/usr/bin/env bash
# Reading back through a real JACK MIDI server (256-frame periods) from `velomire-cli sampler`
# loaded with a program of each family: `list` shows its programs and samples, `get --all` writes
# WAVs whose words equal the originals (the top 12 bits on the S900/S950) although the sampler
# damages a packet on the way, which the reader NAKs, a closed-loop send keeps what the sampler
# holds, and SIGINT ends a get within 1 s with a CANCEL, leaving no file behind.
# Usage: jack_read_back_test.sh CLI (KEEP=1 keeps the work folder)
set -uo pipefail
# shellcheck source=jack_e2e.sh
source "$(dirname "$0")/jack_e2e.sh"
cli=$1
skip=77

for tool in jackd jack_lsp sox python3; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit $skip; }
done

work=$(mktemp -d)
# A fixed name of this test's own (see jack_send_test.sh).
server="velomire-e2e-read-back"
export JACK_DEFAULT_SERVER=$server
export VELOMIRE_SETTINGS_FILE=$work/settings.ini
pids=()
sampler_pid=""

cleanup() {
    [ -n "$sampler_pid" ] && pids+=("$sampler_pid")
    stop_processes "${pids[@]}"
    rm -f /dev/shm/*"_${server}_"* 2>/dev/null
    [ -n "${KEEP:-}" ] && echo "kept $work" || rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*"
    [ -f "$work/sampler.log" ] && cat "$work/sampler.log"
    grep -c XRun "$work/jackd.log" | sed 's/^/JACK xruns: /'
    echo "JACK ports now:"
    timeout 5 jack_lsp 2>&1 | sed 's/^/  /'
    echo "JACK server log (last lines):"
    tail -n 15 "$work/jackd.log" | sed 's/^/  /'
    exit 1
}

start_jack "$work/jackd.log" -p 256 || fail "jackd did not start: $(cat "$work/jackd.log")"
pids+=("$jackd_pid")

mkdir "$work/prog" "$work/long"
sox -n -r 44100 -c 1 -b 16 "$work/prog/click.wav" synth 0.02 sine 880 || fail "sox"
sox -n -r 22050 -c 1 -b 16 "$work/prog/hum.wav" synth 0.04 sine 220 || fail "sox"
(cd "$work/prog" && "$cli" new loop.vmp click.wav hum.wav) >/dev/null || fail "velomire-cli new"
sox -n -r 44100 -c 1 -b 16 "$work/long/long.wav" synth 20 sine 440 || fail "sox"

start_sampler() {
    rm -rf "$work/received"
    "$cli" sampler --name vsampler --jack --out "$work/received" "$@" >"$work/sampler.log" 2>&1 &
    sampler_pid=$!
    echo "$sampler_pid" >"$work/sampler.pid"
    for _ in $(seq 100); do grep -q '^Listening' "$work/sampler.log" && return; sleep 0.1; done
    fail "the sampler did not start"
}
stop_sampler() {
    kill -TERM "$sampler_pid"
    await_exit "$sampler_pid" || fail "the sampler did not end within 5 s of SIGTERM"
    wait "$sampler_pid"
    sampler_pid=""
    rm -f "$work/sampler.pid"
}
xruns() { grep -c XRun "$work/jackd.log"; }
ports=(--port vsampler:in --reply-port vsampler:out)

# Every original WAV of DIR has a WAV in OUT with the same words (the top BITS bits of each).
same_words() {
    python3 - "$1" "$2" "$3" <<'PY' || fail "$4: the words taken back differ from the originals"
import sys, wave, glob, os
src, out, bits = sys.argv[1], sys.argv[2], int(sys.argv[3])
mask = (0xFFFF << (16 - bits)) & 0xFFFF
def words(path):
    with wave.open(path) as w:
        data = w.readframes(w.getnframes())
    return [int.from_bytes(data[i:i + 2], "little") & mask for i in range(0, len(data), 2)]
got = [words(p) for p in glob.glob(os.path.join(out, "**", "*.wav"), recursive=True)]
for original in glob.glob(os.path.join(src, "*.wav")):
    if words(original) not in got:
        sys.exit("no file holds the words of " + os.path.basename(original))
PY
}

# One model: list, get --all with a damaged packet, and sends onto the numbers it holds.
read_back() {
    local model=$1 bits=16
    [ "$model" = S950 ] && bits=12
    start_sampler --model "$model" --load "$work/prog" --damage-packet 1
    "$cli" list --model "$model" "${ports[@]}" >"$work/list.txt" 2>"$work/list.err" ||
        fail "$model: list: $(cat "$work/list.err")"
    [ "$(grep -c '^sample ' "$work/list.txt")" -ge 2 ] || fail "$model: list shows $(cat "$work/list.txt")"
    if [ "$model" != SDS ]; then
        grep -q '^program ' "$work/list.txt" || fail "$model: list shows no program"
    fi
    rm -rf "$work/got"
    "$cli" get --model "$model" "${ports[@]}" --all --out "$work/got" >"$work/get.log" 2>&1 ||
        fail "$model: get --all: $(cat "$work/get.log")"
    same_words "$work/prog" "$work/got" "$bits" "$model"
    # A closed-loop send onto numbers the sampler holds is refused, naming them; without numbers
    # it goes to free ones and the sampler keeps everything it held.
    held=$(grep -c '^sample ' "$work/list.txt")
    "$cli" send "$work/prog/loop.vmp" --model "$model" "${ports[@]}" --program-number 0 \
        --sample-number 0 >"$work/send.log" 2>&1 && fail "$model: a send overwrote sample 0 unasked"
    grep -q -E 'This send overwrites .*samples? 0' "$work/send.log" || fail "$model: $(cat "$work/send.log")"
    # Exit status 3: done, with xruns of a loaded machine to report.
    "$cli" send "$work/prog/loop.vmp" --model "$model" "${ports[@]}" >"$work/send.log" 2>&1
    status=$?
    [ "$status" = 0 ] || [ "$status" = 3 ] || fail "$model: send: $(cat "$work/send.log")"
    "$cli" list --model "$model" "${ports[@]}" >"$work/list.txt" 2>"$work/list.err" ||
        fail "$model: list after the send: $(cat "$work/list.err")"
    [ "$(grep -c '^sample ' "$work/list.txt")" = $((held + 2)) ] ||
        fail "$model: $held samples and a send of 2 left $(cat "$work/list.txt")"
    stop_sampler
    grep -q '^Reader sent NAK' "$work/sampler.log" || fail "$model: the damaged packet was not NAKed"
    echo "ok: $model list, get --all with a damaged packet"
}

# A model that fails while the server reported xruns (MIDI lost in a missed cycle) is run once
# more, and skipped when that happens again; a failure without xruns is ours and fails the test.
for model in SDS S950 S3000XL; do
    for attempt in 1 2; do
        before=$(xruns)
        if (read_back "$model") >"$work/model.log" 2>&1; then
            cat "$work/model.log"
            continue 2
        fi
        if [ -f "$work/sampler.pid" ]; then
            kill -TERM "$(cat "$work/sampler.pid")" 2>/dev/null
            await_exit "$(cat "$work/sampler.pid")"
            rm -f "$work/sampler.pid"
        fi
        if [ "$(xruns)" = "$before" ]; then
            cat "$work/model.log"
            exit 1
        fi
        echo "retry: $model lost MIDI in JACK xruns ($(grep -m1 '^FAIL' "$work/model.log"))"
    done
    echo "SKIP: $model lost MIDI in JACK xruns twice"
    exit $skip
done

# SIGINT during a long get, once the reader takes its Data Packets: it ends within 1 s, exit 130,
# sends CANCEL and leaves no file. (The reader looks at the signal every 20 ms; the rest is the
# CANCEL going out, two JACK clients closing and the sanitizer's exit checks, which took up to
# 0.51 s on a machine loaded 5 times over its cores.) The reader is known to take them when it NAKs the packet
# the sampler damages (the get has caught SIGINT since before its list; a background job starts
# with SIGINT ignored, so a signal sent earlier would be lost and the get would run to its end).
start_sampler --model SDS --load "$work/long" --damage-packet 1
rm -rf "$work/got"
"$cli" get --model SDS "${ports[@]}" --all --out "$work/got" >"$work/get.log" 2>&1 &
get_pid=$!
# The list before it probes numbers 0-31 (about 10 s); 60 s at most.
for _ in $(seq 600); do
    grep -q '^Reader sent NAK' "$work/sampler.log" && break
    kill -0 "$get_pid" 2>/dev/null || break
    sleep 0.1
done
grep -q '^Reader sent NAK' "$work/sampler.log" ||
    fail "the long get took no Data Packet within 60 s: $(cat "$work/get.log")"
kill -0 "$get_pid" 2>/dev/null || fail "the long get ended before it was interrupted: $(cat "$work/get.log")"
start=$(date +%s%N)
kill -INT "$get_pid"
# A get the signal does not end is killed after 5 s (exit status 137).
(sleep 5 && kill -KILL "$get_pid" 2>/dev/null) &
watchdog=$!
wait "$get_pid"
status=$?
kill "$watchdog" 2>/dev/null
elapsed_ms=$((($(date +%s%N) - start) / 1000000))
[ "$status" = 130 ] || fail "an interrupted get exits $status: $(cat "$work/get.log")"
[ "$elapsed_ms" -le 1000 ] || fail "an interrupted get took $elapsed_ms ms to end"
[ -z "$(find "$work/got" -type f 2>/dev/null)" ] || fail "an interrupted get left $(find "$work/got" -type f)"
stop_sampler
# The list's probes cancel each header they read: the CANCEL looked for comes after the NAK.
sed -n '/^Reader sent NAK/,$p' "$work/sampler.log" | grep -q '^Reader sent CANCEL' ||
    fail "the interrupted get sent no CANCEL"
echo "ok: SIGINT ended a get in $elapsed_ms ms without a file"
