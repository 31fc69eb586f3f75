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
