#include "transfer/families/s1000/S1000Responder.h"

#include "transfer/families/SdsDumpSender.h"
#include "transfer/families/SdsWire.h"
#include "transfer/families/s1000/S1000Blocks.h"
#include "transfer/families/s1000/S1000ReadBack.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <utility>

namespace velomire::transfer {

namespace {

using Bytes = std::span<const std::uint8_t>;

constexpr int replyOk = 0;
constexpr int replyError = 1;
// Header blocks the later models hold (the S1000 about 480).
constexpr int longModelBlocks = 1022;
constexpr int s1000Blocks = 480;

template <typename Map> auto AtPosition(Map& map, int position) {
    if (position < 0 || static_cast<std::size_t>(position) >= map.size()) {
        return map.end();
    }
    return std::next(map.begin(), position);
}

// A sample being sent as Data Packets, after a Dump Header or an RSPACK.
// The packets are the SDS family's; only the sample's number and loop are the S1000's.
struct Dump {
    int channel = 0;
    DecodedSample words;        // the words to send, and what the Dump Header says of them
    bool headerPending = false; // the Dump Header waits for its ACK
    std::uint32_t packet = 0;   // the packet last sent (or to send first)
    bool held = false;          // by a WAIT, until the next handshake
    std::uint32_t PacketCount() const {
        return sds::PacketCount(static_cast<std::uint32_t>(words.frames.size()));
    }
};

DecodedSample Words(std::vector<std::int16_t> frames) {
    DecodedSample words;
    words.frames = std::move(frames);
    return words;
}

class S1000Responder final : public RequestResponder {
public:
    S1000Responder(SamplerMemory& memory, const SendFaults& faults, std::int32_t model)
        : memory(memory), faults(faults), blockBytes(s1000::BlockBytes(model)) {
        memory.NumberByPosition();
    }

    std::optional<std::vector<TimedReply>> Answer(Bytes message) override {
        if (message.size() >= 6 && message[0] == 0xF0 && message[1] == sds::universalNonRealTime) {
            return Sds(message);
        }
        const auto m = ParseS1000Message(message);
        if (!m) {
            return std::nullopt;
        }
        std::vector<TimedReply> replies;
        if (!Akai(*m, replies)) {
            return std::nullopt;
        }
        return replies;
    }

private:
    bool Akai(const S1000Message& m, std::vector<TimedReply>& replies) {
        const int ch = m.channel;
        const std::optional<int> number = S1000Number(m.body);
        switch (m.function) {
        case S1000Function::rstat:
            replies.push_back({S1000StatusMessage(ch, Status(ch))});
            return true;
        case S1000Function::rplist:
            replies.push_back({S1000NameList(S1000Function::plist, ch, ProgramNames())});
            return true;
        case S1000Function::rslist:
            replies.push_back({S1000NameList(S1000Function::slist, ch, SampleNames())});
            return true;
        case S1000Function::rpdata: {
            const auto it = AtPosition(memory.programs, number.value_or(-1));
            replies.push_back(
                {it == memory.programs.end()
                     ? S1000Reply(ch, replyError)
                     : S1000ProgramHeaderMessage(ch, *number, it->second, blockBytes)});
            return true;
        }
        case S1000Function::rkdata: {
            const auto it = AtPosition(memory.programs, number.value_or(-1));
            const int keygroup = m.body.size() >= 3 ? m.body[2] : -1;
            if (it == memory.programs.end() || keygroup < 0 ||
                static_cast<std::size_t>(keygroup) >= it->second.keygroups.size()) {
                replies.push_back({S1000Reply(ch, replyError)});
            } else {
                replies.push_back({S1000KeygroupMessage(
                    ch, *number, keygroup, it->second.keygroups[static_cast<std::size_t>(keygroup)],
                    blockBytes)});
            }
            return true;
        }
        case S1000Function::rsdata: {
            const auto it = AtPosition(memory.samples, number.value_or(-1));
            replies.push_back(
                {it == memory.samples.end()
                     ? S1000Reply(ch, replyError)
                     : S1000SampleHeaderMessage(ch, *number, it->second, blockBytes)});
            return true;
        }
        case S1000Function::rspack:
            PacketRequest(ch, m.body, replies);
            return true;
        case S1000Function::delp:
            replies.push_back(
                {S1000Reply(ch, memory.EraseProgram(number.value_or(-1)) ? replyOk : replyError)});
            return true;
        case S1000Function::dels:
            replies.push_back(
                {S1000Reply(ch, memory.EraseSample(number.value_or(-1)) ? replyOk : replyError)});
            return true;
        default:
            return false; // a dump coming in, or a message this side does not answer
        }
    }

    S1000Status Status(int channel) const {
        S1000Status status;
        status.versionMajor = 2;
        status.maxBlocks = blockBytes == s1000::shortBlockBytes ? s1000Blocks : longModelBlocks;
        std::size_t used = memory.samples.size() + memory.programs.size();
        for (const auto& [number, program] : memory.programs) {
            used += program.keygroups.size();
        }
        status.freeBlocks = std::max(0, status.maxBlocks - static_cast<int>(used));
        status.maxWords = memory.capacityWords;
        const std::uint64_t usedWords = memory.UsedWords();
        status.freeWords = usedWords >= memory.capacityWords
                               ? 0
                               : static_cast<std::uint32_t>(memory.capacityWords - usedWords);
        status.exclusiveChannel = channel;
        return status;
    }

    std::vector<std::string> ProgramNames() const {
        std::vector<std::string> names;
        for (const auto& [number, program] : memory.programs) {
            names.push_back(FieldString(program.fields, "programName").value_or(""));
        }
        return names;
    }

    std::vector<std::string> SampleNames() const {
        std::vector<std::string> names;
        for (const auto& [number, sample] : memory.samples) {
            names.push_back(FieldString(sample.fields, "sampleName").value_or(""));
        }
        return names;
    }

    void PacketRequest(int channel, Bytes body, std::vector<TimedReply>& replies) {
        const auto range = ParseS1000PacketRequest(body);
        const auto it = AtPosition(memory.samples, range ? range->sample : -1);
        if (it == memory.samples.end() || range->words == 0 ||
            range->offset >= it->second.frames.size()) {
            replies.push_back({S1000Reply(channel, replyError)});
            return;
        }
        const std::vector<std::int16_t>& frames = it->second.frames;
        const std::size_t end =
            std::min<std::size_t>(frames.size(), std::size_t{range->offset} + range->words);
        dump = Dump{channel,
                    Words({frames.begin() + range->offset,
                           frames.begin() + static_cast<std::ptrdiff_t>(end)}),
                    false, 0};
        SendPacket(replies);
    }

    std::optional<std::vector<TimedReply>> Sds(Bytes m) {
        std::vector<TimedReply> replies;
        if (const auto request = sds::ParseRequest(m);
            request && request->kind == sds::Request::Kind::dump) {
            const auto it = AtPosition(memory.samples, request->number);
            if (it != memory.samples.end()) {
                dump = Dump{request->channel, Words(it->second.frames), true, 0};
                replies.push_back({DumpHeader(request->number, it->second)});
            }
            return replies;
        }
        if (m.size() != 6 || !dump || m[2] != dump->channel) {
            return std::nullopt;
        }
        if (Stalled()) {
            return replies;
        }
        const std::uint8_t code = m[3];
        const std::uint32_t named = m[4];
        dump->held = code == sds::waitByte;
        if (code == sds::cancelByte) {
            dump.reset();
        } else if (dump->headerPending) {
            if (code == sds::ackByte) {
                dump->headerPending = false;
                SendPacket(replies);
            }
        } else if (named == (dump->packet & 0x7F)) {
            if (code == sds::ackByte) {
                if (++dump->packet >= dump->PacketCount()) {
                    dump.reset();
                } else {
                    SendPacket(replies);
                }
            } else if (code == sds::nakByte) {
                SendPacket(replies, true);
            }
        }
        return replies; // WAIT, or a handshake for another packet: nothing until the next one
    }

    bool Stalled() const { return faults.stallAfter && packetsSent >= *faults.stallAfter; }

    // As the SDS family's sender: a wait for an answer that runs out goes on as after an ACK.
    std::vector<TimedReply> Silence(std::chrono::milliseconds quiet) override {
        std::vector<TimedReply> replies;
        if (!dump || dump->held || Stalled() ||
            quiet < (dump->headerPending ? sds::SdsDumpSender::headerAnswerWait
                                         : sds::SdsDumpSender::packetAnswerWait)) {
            return replies;
        }
        if (dump->headerPending) {
            dump->headerPending = false;
        } else if (++dump->packet >= dump->PacketCount()) {
            dump.reset();
            return replies;
        }
        SendPacket(replies);
        return replies;
    }

    // The Dump Header of the dump just opened for the sample at `position`, with its first loop.
    std::vector<std::uint8_t> DumpHeader(int position, const DecodedSample& sample) {
        DecodedSample& words = dump->words;
        words.number = position;
        words.rate = sample.rate;
        const auto first = [&](std::string_view name) -> std::int64_t {
            for (const DecodedField& field : sample.fields) {
                const auto* values = std::get_if<std::vector<std::int64_t>>(&field.value);
                if (field.name == name && values != nullptr && !values->empty()) {
                    return values->front();
                }
            }
            return 0;
        };
        // "At" is the loop's last word; it starts `length` - 1 words before.
        const std::int64_t at = first("loopAt");
        const std::int64_t length = first("loopLength");
        if (FieldNumber(sample.fields, "loopCount").value_or(0) > 0 && length > 0 &&
            length <= at + 1) {
            words.fields = {
                {"loopStart", at - length + 1}, {"loopEnd", at}, {"loopType", std::int64_t{0}}};
        }
        return sds::DumpHeader(dump->channel, words);
    }

    // Sends the dump's current packet; a resend (after a NAK) is never the damaged one.
    void SendPacket(std::vector<TimedReply>& replies, bool resend = false) {
        if (Stalled()) {
            return;
        }
        std::vector<std::uint8_t> out = sds::DataPacket(dump->channel, dump->words, dump->packet);
        const int index = resend ? -1 : packetsSent;
        if (faults.damagePacket && index == *faults.damagePacket) {
            out[out.size() - 2] ^= 0x01; // the checksum
        }
        if (!resend) {
            ++packetsSent;
        }
        replies.push_back({std::move(out)});
    }

    SamplerMemory& memory;
    SendFaults faults;
    std::size_t blockBytes;
    std::optional<Dump> dump;
    int packetsSent = 0;
};

} // namespace

std::unique_ptr<RequestResponder> MakeS1000Responder(SamplerMemory& memory,
                                                     const SendFaults& faults, std::int32_t model) {
    return std::make_unique<S1000Responder>(memory, faults, model);
}

} // namespace velomire::transfer
