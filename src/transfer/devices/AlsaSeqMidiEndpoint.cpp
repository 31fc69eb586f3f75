#include "transfer/devices/AlsaSeqMidiEndpoint.h"

#include "transfer/devices/AlsaSeqCalls.h"
#include "transfer/devices/AlsaSeqMidiDriver.h"
#include "transfer/devices/AlsaSeqMidiInDriver.h"

#include <chrono>

namespace velomire::transfer {

namespace {

constexpr std::size_t maxInputCells = 2000;

} // namespace

struct AlsaSeqMidiEndpoint::Session {
    SeqHandle seq;
    int inPort = -1;
    int outPort = -1;
    std::string inName;
    std::string outName;
};

AlsaSeqMidiEndpoint::AlsaSeqMidiEndpoint() : session(std::make_unique<Session>()) {}

AlsaSeqMidiEndpoint::~AlsaSeqMidiEndpoint() = default;

std::unique_ptr<AlsaSeqMidiEndpoint> AlsaSeqMidiEndpoint::Open(const std::string& clientName,
                                                               std::string& error) {
    MidiStatus status;
    std::unique_ptr<AlsaSeqMidiEndpoint> endpoint(new AlsaSeqMidiEndpoint);
    Session& s = *endpoint->session;
    s.seq = OpenSequencer(SND_SEQ_OPEN_DUPLEX, clientName, status);
    if (!s.seq) {
        error = status.text;
        return nullptr;
    }
    // The kernel keeps a client's input in a pool of event cells (200 by default) and drops what
    // a hardware port delivers beyond it: take the most it allows, for slack between two polls.
    // A refusal leaves the default, which still works.
    snd_seq_set_client_pool_input(s.seq.get(), maxInputCells);
    const unsigned type = SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION;
    s.inPort = snd_seq_create_simple_port(
        s.seq.get(), "in", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE, type);
    s.outPort = snd_seq_create_simple_port(
        s.seq.get(), "out", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ, type);
    if (s.inPort < 0 || s.outPort < 0) {
        error =
            AlsaError("Cannot create an ALSA sequencer port", s.inPort < 0 ? s.inPort : s.outPort);
        return nullptr;
    }
    const std::string client = std::to_string(snd_seq_client_id(s.seq.get()));
    s.inName = clientName + ": in (" + client + ":" + std::to_string(s.inPort) + ")";
    s.outName = clientName + ": out (" + client + ":" + std::to_string(s.outPort) + ")";
    return endpoint;
}

std::string AlsaSeqMidiEndpoint::InputName() const {
    return session->inName;
}

std::string AlsaSeqMidiEndpoint::OutputName() const {
    return session->outName;
}

MidiStatus AlsaSeqMidiEndpoint::Poll(std::vector<MidiInBytes>& out) {
    snd_seq_t* seq = session->seq.get();
    return DrainSeqInput(
        [this, seq] {
            AlsaSeqInput input = NextSeqInput(seq);
            gone = gone || input.kind == AlsaSeqInput::Kind::failed;
            return input;
        },
        clock.Now(), out);
}

MidiStatus AlsaSeqMidiEndpoint::Write(std::span<const std::uint8_t> bytes) {
    snd_seq_t* seq = session->seq.get();
    const int port = session->outPort;
    return WriteSeqSysEx(
        pacer, clock, bytes,
        [seq, port](std::span<const std::uint8_t> event) {
            return OutputSeqSysEx(seq, port, event);
        },
        {}, session->outName);
}

} // namespace velomire::transfer
