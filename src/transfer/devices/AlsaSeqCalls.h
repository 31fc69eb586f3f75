#pragma once

// The library calls the ALSA sequencer drivers share. Included by their sources only: the
// library's types stay out of every other header.

#include "transfer/MidiDriver.h"
#include "transfer/devices/AlsaSeqMidiDriver.h"
#include "transfer/devices/AlsaSeqMidiInDriver.h"

#include <alsa/asoundlib.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace velomire::transfer {

struct SeqCloser {
    void operator()(snd_seq_t* seq) const { snd_seq_close(seq); }
};
using SeqHandle = std::unique_ptr<snd_seq_t, SeqCloser>;

std::string AlsaError(const std::string& what, int err);

// A client named `clientName` opened for `streams` (SND_SEQ_OPEN_OUTPUT, _INPUT or _DUPLEX),
// never blocking; null with the reason in `status` (no sound card, no permission).
SeqHandle OpenSequencer(int streams, const std::string& clientName, MidiStatus& status);

// Our end of a connection to another client's port: a client "Velomire" opened for one direction
// with a port of ours (`portName`) connected to `peer`, to it (output: we write, it reads) or from
// it (input). False with the reason in `status`.
enum class SeqDirection { output, input };
struct SeqConnection {
    SeqHandle seq;
    int ownPort = -1;
};
bool ConnectSeqPort(SeqDirection direction, const char* portName, const AlsaSeqDestination& peer,
                    SeqConnection& connection, MidiStatus& status);

// The next event the kernel holds for our client, without waiting.
AlsaSeqInput NextSeqInput(snd_seq_t* seq);

// Offers one SYSEX event from `port` directly (not queued) to the port's subscribers: what
// snd_seq_event_output_direct answers (-EAGAIN while a receiving client's input is full).
int OutputSeqSysEx(snd_seq_t* seq, int port, std::span<const std::uint8_t> event);

} // namespace velomire::transfer
