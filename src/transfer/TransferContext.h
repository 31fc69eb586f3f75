#pragma once

#include "program/Program.h"
#include "program/UserMessages.h"
#include "transfer/ClosedLoop.h"
#include "transfer/MidiOutPort.h"
#include "transfer/SamplerSettings.h"

#include <cstdint>
#include <string>

namespace velomire::transfer {

// The two bars of the "Sending ..." window, 0 to 100 each.
class SendProgress {
public:
    virtual ~SendProgress() = default;
    virtual void SetSampleBar(int percent) = 0;
    virtual void SetProgramBar(int percent) = 0;
};

// Everything a message builder reads and writes while sending: the port and its buffer, the
// program (entries, header, transfer counters), the settings (channels already made non-negative
// by the caller), where to report, and the progress bars (may be null).
struct TransferContext {
    MidiOutPort& port;
    program::Program& program;
    const SamplerSettings& settings;
    program::UserMessages& messages;
    SendProgress* progress = nullptr;
    // The sampler's answers, when the send is closed-loop; null for a one-way send.
    ClosedLoop* closedLoop = nullptr;
    // Why the transfer stopped before its end (the sampler cancelled or refused); empty while it
    // goes on.
    std::string stopReason{};

    bool Stopped() const { return !stopReason.empty(); }

    // The program's row `entry` when it is in use and `part` is 0, 1 or 2; null otherwise, so a
    // sender given anything else sends nothing.
    program::SampleEntry* FindEntry(int entry, int part) const;
};

// Moves the bars while the data of one sample part is sent: the "Sample" bar shows the part's
// packets, the "Program" bar the words of the whole send, both only in steps of 2 % or more.
class PartProgress {
public:
    // Sets the "Sample" bar to 0.
    PartProgress(TransferContext& context, std::uint32_t packetCount, std::uint32_t wordsPerPacket);
    // After packet k (1-based) of the part has been sent.
    void PacketSent(std::uint32_t k);

private:
    TransferContext& context;
    std::uint32_t packetCount;
    std::uint32_t wordsPerPacket;
    int lastShown = 0;
};

} // namespace velomire::transfer
