#include "transfer/families/SdsMessages.h"

#include "program/WavInfo.h"
#include "transfer/HandshakeSend.h"
#include "transfer/families/SdsWire.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace velomire::transfer {

namespace {

program::SampleBlock* EntrySample(const TransferContext& context, int entry, int part) {
    program::SampleEntry* found = context.FindEntry(entry, part);
    return found != nullptr ? &found->sample : nullptr;
}

using sds::waitAfterDataMs;
using sds::wordsPerPacket;

// The low 8 bits of a channel setting, as the channel byte of a message.
std::int16_t ChannelByte(std::int32_t channel) {
    return static_cast<std::int16_t>(channel & 0xFF);
}

} // namespace

void SdsMessages::SendSdsDumpHeader(int entry, int part) {
    const program::SampleBlock* sample = EntrySample(context, entry, part);
    if (sample == nullptr) {
        return;
    }
    MidiOutPort& port = context.port;
    const bool looping =
        sample->loopMode == program::loopNormal || sample->loopMode == program::loopUntilRelease;
    // Loop points count words from soundStart; the first word of loop 0 is at - length + 1. A
    // sample that does not loop is marked "loop off" with both points on its last word: a forward
    // loop ending at word 0 would make a receiver loop one word, and an S900/S950 taking the dump
    // plays up to the loop end and would play nothing.
    const std::uint32_t lastWord = sample->lengthWords == 0 ? 0 : sample->lengthWords - 1;
    const std::uint32_t loopStart =
        looping ? sample->loopAt[0] - sample->loopLength[0] + 1 : lastWord;
    const std::uint32_t loopEnd = looping ? sample->loopAt[0] : lastWord;

    port.AppendBytes(0xF0, 0x7E, ChannelByte(context.settings.midiChannel), 0x01);
    port.AppendSevenBit(sample->samplerSampleNumber[static_cast<std::size_t>(part)], 2);
    port.AppendBytes(0x10); // 16 bits per sample word
    port.AppendSevenBit(static_cast<std::int32_t>(sample->samplePeriodNs), 3);
    port.AppendSevenBit(static_cast<std::int32_t>(sample->lengthWords), 3);
    port.AppendSevenBit(static_cast<std::int32_t>(loopStart), 3);
    port.AppendSevenBit(static_cast<std::int32_t>(loopEnd), 3);
    port.AppendBytes(static_cast<std::int16_t>(looping ? sds::loopForward : sds::loopOff), 0xF7);
    if (context.closedLoop == nullptr) {
        port.Send();
        return;
    }
    // The sampler answers the header before it takes packets; no answer at all means it does
    // not answer, and the part goes one-way.
    const int channel = ChannelByte(context.settings.midiChannel) & 0x7F;
    port.SetCancelMessage(SdsHandshake(SamplerReply::Kind::cancel, channel, 0));
    int resends = 0;
    const ClosedLoop::Answer answer = SendWithHandshake(
        context,
        [&] { return context.closedLoop->AwaitHeader(ClosedLoop::headerWindow, {channel}); },
        resends);
    port.EndIfCancelled();
    port.SetCancelMessage({});
    TakeHeaderAnswer(context, answer, *sample, part);
}

bool SdsMessages::SendSdsSampleData(int entry, int part) {
    program::SampleBlock* sample = EntrySample(context, entry, part);
    // A sampler that cancelled or refused the header gets no data.
    if (sample == nullptr || context.Stopped()) {
        return false;
    }
    program::WavInfo wav(context.messages);
    const std::string fileName = program::FieldText(sample->fileName);
    if (!wav.Open(context.program.SampleFilePath(fileName), fileName)) {
        return false; // the reader has shown why
    }
    MidiOutPort& port = context.port;
    const std::int16_t channel = ChannelByte(context.settings.midiChannel);

    wav.Seek(sample->soundStart);
    // Signed, so that a length of 0 still gives one packet: (0 - 1) / 40 truncates to 0.
    const auto packetCount = static_cast<std::uint32_t>(
        (static_cast<std::int64_t>(sample->lengthWords) - 1) / wordsPerPacket + 1);
    PartProgress progress(context, packetCount, wordsPerPacket);
    ClosedLoop* loop = context.closedLoop;
    bool handshake = loop != nullptr && loop->partHandshake;
    // With handshake, the packets sent and not yet acknowledged, oldest first, kept to be sent
    // again: `sent` of them have gone out since the sender last went back to the oldest.
    struct Packet {
        int number;
        std::vector<std::uint8_t> bytes;
        int resends;
    };
    std::deque<Packet> unacknowledged;
    std::size_t sent = 0;
    int silent = 0; // answers missed in a row
    std::uint32_t k = 1;

    for (;;) {
        bool again = sent < unacknowledged.size();
        if (!again && k > packetCount) {
            if (!handshake || unacknowledged.empty()) {
                break;
            }
            // The last packets went unanswered: they may have been lost on the way, and no
            // later packet will make the sampler say so. They go again until it answers or
            // counts as silent.
            sent = 0;
            again = true;
        }
        if (again) {
            Refill(port, unacknowledged[sent].bytes);
            ++loop->resentPackets;
        } else {
            const auto packetNumber = static_cast<std::int16_t>((k - 1) & 0x7F);
            port.AppendBytes(0xF0);
            port.MarkChecksumStart(); // the checksum covers everything between F0 and itself
            port.AppendBytes(0x7E, channel, 0x02, packetNumber);
            // Every packet is full: past the sound's end the file's following frames are sent,
            // and past the file's end silence. The receiver keeps only the header's length.
            for (std::uint32_t w = 0; w < wordsPerPacket; ++w) {
                port.AppendSample16(static_cast<std::uint16_t>(wav.ReadFrame(part) + 0x8000));
            }
            port.AppendChecksum();
            port.AppendBytes(0xF7);
            if (handshake) {
                unacknowledged.push_back(
                    {packetNumber, {port.Bytes().begin(), port.Bytes().end()}, 0});
            }
        }
        if (!handshake) {
            if (!port.Send()) {
                return false; // the transfer has ended; the caller reports it
            }
            if (again) {
                unacknowledged.pop_front();
            } else {
                progress.PacketSent(k++);
            }
            continue;
        }
        // A cancel from the user from here on tells the sampler which packet was the last.
        port.SetCancelMessage(
            SdsHandshake(SamplerReply::Kind::cancel, channel, unacknowledged[sent].number));
        port.Send();
        if (port.EndedBy() != MidiOutPort::Ending::none) {
            return false;
        }
        if (!again) {
            progress.PacketSent(k++);
        }
        ++sent;

        // The answer may name any packet still waiting for one: a late ACK of an earlier packet
        // says that it and those before it arrived, and the wait goes on for the rest.
        auto deadline = loop->Now() + ClosedLoop::packetWindow;
        ClosedLoop::PacketAnswer reply;
        for (;;) {
            std::vector<int> numbers;
            for (std::size_t i = 0; i < sent; ++i) {
                numbers.push_back(unacknowledged[i].number);
            }
            reply = loop->AwaitPacket(channel & 0x7F, numbers, deadline);
            if (reply.answer != ClosedLoop::Answer::ack || reply.index + 1 == sent) {
                break;
            }
            silent = 0;
            unacknowledged.erase(unacknowledged.begin(),
                                 unacknowledged.begin() +
                                     static_cast<std::ptrdiff_t>(reply.index + 1));
            sent -= reply.index + 1;
        }
        port.EndIfCancelled(); // a cancel during the wait names this packet to the sampler
        if (port.EndedBy() != MidiOutPort::Ending::none) {
            return false;
        }
        Packet& oldest = unacknowledged.front();
        switch (reply.answer) {
        case ClosedLoop::Answer::ack:
            // Those after it still go again, when the sender went back.
            silent = 0;
            unacknowledged.erase(unacknowledged.begin(),
                                 unacknowledged.begin() + static_cast<std::ptrdiff_t>(sent));
            sent = 0;
            break;
        case ClosedLoop::Answer::nak:
            // Whichever of them it names, a packet before it may have been lost on the way:
            // everything goes again from the oldest one not acknowledged.
            silent = 0;
            if (oldest.resends == ClosedLoop::maxResends) {
                context.stopReason = "The sampler refused packet " + std::to_string(oldest.number) +
                                     " of " + SamplePartText(*sample, part) + " " +
                                     std::to_string(ClosedLoop::maxResends + 1) + " times.";
            }
            ++oldest.resends;
            sent = 0;
            break;
        case ClosedLoop::Answer::none:
            // A sampler that stops answering: finish the part without waiting.
            if (++silent >= ClosedLoop::silentPacketsAllowed) {
                handshake = false;
                loop->partHandshake = false;
                unacknowledged.erase(unacknowledged.begin(),
                                     unacknowledged.begin() + static_cast<std::ptrdiff_t>(sent));
                sent = 0;
            }
            break;
        case ClosedLoop::Answer::cancel:
            context.stopReason = "The sampler cancelled the transfer.";
            break;
        case ClosedLoop::Answer::held:
            context.stopReason = loop->HeldText();
            break;
        case ClosedLoop::Answer::refused:
            context.stopReason = "The sampler refused " + SamplePartText(*sample, part) + ".";
            break;
        }
        if (context.Stopped()) {
            return true;
        }
    }
    const bool lastAcknowledged = handshake && unacknowledged.empty();

    port.SetCancelMessage({});
    wav.Close();
    sample->dataSent = 1;
    // The ACK of the last packet says the sampler has the sample: no need to wait for it.
    if (!lastAcknowledged) {
        port.WaitMilliseconds(waitAfterDataMs);
    }
    return true;
}

} // namespace velomire::transfer
