#include "transfer/devices/AlsaSeqCalls.h"

#include "transfer/devices/QuietSystemLibraries.h"

#include <cerrno>

namespace velomire::transfer {

std::string AlsaError(const std::string& what, int err) {
    return what + ": " + snd_strerror(err);
}

SeqHandle OpenSequencer(int streams, const std::string& clientName, MidiStatus& status) {
    snd_seq_t* seq = nullptr;
    QuietSystemLibraries();
    const int err = snd_seq_open(&seq, "default", streams, SND_SEQ_NONBLOCK);
    if (err < 0) {
        status = MidiStatus::Error(AlsaError("Cannot open the ALSA sequencer", err));
        return nullptr;
    }
    snd_seq_set_client_name(seq, clientName.c_str());
    return SeqHandle(seq);
}

bool ConnectSeqPort(SeqDirection direction, const char* portName, const AlsaSeqDestination& peer,
                    SeqConnection& connection, MidiStatus& status) {
    const bool output = direction == SeqDirection::output;
    connection.seq =
        OpenSequencer(output ? SND_SEQ_OPEN_OUTPUT : SND_SEQ_OPEN_INPUT, "Velomire", status);
    if (!connection.seq) {
        return false;
    }
    const unsigned capabilities = output ? SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ
                                         : SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;
    connection.ownPort =
        snd_seq_create_simple_port(connection.seq.get(), portName, capabilities,
                                   SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    if (connection.ownPort < 0) {
        status = MidiStatus::Error(
            AlsaError("Cannot create an ALSA sequencer port", connection.ownPort));
        return false;
    }
    const int err = output ? snd_seq_connect_to(connection.seq.get(), connection.ownPort,
                                                peer.client, peer.port)
                           : snd_seq_connect_from(connection.seq.get(), connection.ownPort,
                                                  peer.client, peer.port);
    if (err < 0) {
        status = MidiStatus::Error(
            AlsaError((output ? "Cannot connect to " : "Cannot connect from ") + peer.name, err));
        return false;
    }
    return true;
}

AlsaSeqInput NextSeqInput(snd_seq_t* seq) {
    AlsaSeqInput input;
    snd_seq_event_t* event = nullptr;
    const int err = snd_seq_event_input(seq, &event);
    if (err == -EAGAIN) {
        input.kind = AlsaSeqInput::Kind::none;
    } else if (err == -ENOSPC) {
        input.kind = AlsaSeqInput::Kind::overrun;
    } else if (err < 0 || event == nullptr) {
        input.kind = AlsaSeqInput::Kind::failed;
    } else if (event->type == SND_SEQ_EVENT_SYSEX) {
        input.kind = AlsaSeqInput::Kind::sysEx;
        const auto* data = static_cast<const std::uint8_t*>(event->data.ext.ptr);
        input.bytes.assign(data, data + event->data.ext.len);
    } else {
        input.kind = AlsaSeqInput::Kind::other;
    }
    return input;
}

int OutputSeqSysEx(snd_seq_t* seq, int port, std::span<const std::uint8_t> event) {
    snd_seq_event_t seqEvent;
    snd_seq_ev_clear(&seqEvent);
    snd_seq_ev_set_source(&seqEvent, port);
    snd_seq_ev_set_subs(&seqEvent);
    snd_seq_ev_set_direct(&seqEvent);
    // The library only reads through this pointer.
    snd_seq_ev_set_sysex(&seqEvent, event.size(), const_cast<std::uint8_t*>(event.data()));
    return snd_seq_event_output_direct(seq, &seqEvent);
}

} // namespace velomire::transfer
