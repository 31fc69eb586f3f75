#include "transfer/SimulatedSampler.h"

#include "transfer/SamplerReply.h"
#include "transfer/families/WireBlock.h"
#include "transfer/families/s1000/S1000Wire.h"
#include "transfer/families/s900/S900Wire.h"
#include "transfer/families/sds/SdsWire.h"

#include <algorithm>
#include <utility>

namespace velomire::transfer {

namespace {

constexpr std::size_t s900DataHeaderBytes = s900::dataHeaderBytes;
constexpr std::size_t s900BlockBytes = s900::pieceBytes;

using wire::XorOf;

bool IsS900Data(const std::vector<std::uint8_t>& m) {
    return s900::IsSampleData(m);
}

// The bytes of an S900 sample message of `words` words: its header, a block of 122 bytes per 60
// words, F7.
std::size_t S900MessageBytes(std::uint32_t words) {
    return s900DataHeaderBytes + (std::size_t{words} / s900::wordsPerPiece + 1) * s900BlockBytes +
           1;
}

} // namespace

std::uint32_t SimulatedMemoryWords(std::int32_t model) {
    const auto info = SamplerModel::Find(model);
    return info ? info->memoryWords : SamplerModel::All()[SamplerModel::sds].memoryWords;
}

SimulatedSampler::SimulatedSampler(SamplerScript script)
    : script(std::move(script)),
      messageLimit(std::max<std::size_t>(S900MessageBytes(this->script.memoryWords), 4096)),
      memory(std::make_unique<SamplerMemory>()) {
    memory->capacityWords = this->script.memoryWords;
    std::int32_t model = this->script.model;
    if (SamplerModel::Family(model) != this->script.family) {
        // The family's first model in the table.
        const auto& all = SamplerModel::All();
        const auto first = std::find_if(all.begin(), all.end(), [&](const SamplerModelInfo& m) {
            return m.family == this->script.family;
        });
        model =
            first == all.end() ? SamplerModel::sds : static_cast<std::int32_t>(first - all.begin());
    }
    responder = MakeRequestResponder(model, *memory, this->script.sendFaults);
}

SimulatedSampler::~SimulatedSampler() = default;
SimulatedSampler::SimulatedSampler(SimulatedSampler&&) noexcept = default;

std::uint32_t SimulatedSampler::FreeWords() const {
    std::uint64_t used = memory->UsedWords();
    // A sample arriving takes its room from its header on, in place of the one it replaces.
    for (const auto& [number, words] : arriving) {
        const auto found = memory->samples.find(memory->SampleSlot(number));
        used += words;
        used -= found != memory->samples.end() ? found->second.frames.size() : 0;
    }
    return used >= memory->capacityWords ? 0
                                         : static_cast<std::uint32_t>(memory->capacityWords - used);
}

bool SimulatedSampler::Reserve(int number, std::uint32_t words) {
    arriving.erase(number); // its header again: counted anew
    const auto found = memory->samples.find(memory->SampleSlot(number));
    const std::uint64_t replaced = found != memory->samples.end() ? found->second.frames.size() : 0;
    if (std::uint64_t{words} > std::uint64_t{FreeWords()} + replaced) {
        log.push_back("sample #" + std::to_string(number) + " of " + std::to_string(words) +
                      " words does not fit in the " + std::to_string(FreeWords() + replaced) +
                      " words free: cancelled");
        return false;
    }
    arriving[number] = words;
    return true;
}

void SimulatedSampler::Keep() {
    for (DecodedSample& sample : decoder.TakeClosedSamples()) {
        arriving.erase(sample.number);
        if (sample.hasData) {
            memory->Keep(sample);
        }
        closedSamples.push_back(std::move(sample));
    }
    for (DecodedProgram& program : decoder.TakeClosedPrograms()) {
        memory->Keep(program);
        closedPrograms.push_back(std::move(program));
    }
}

void SimulatedSampler::CloseAll() {
    decoder.CloseAll();
    Keep();
}

std::optional<int> SimulatedSampler::PlainAckPacket() const {
    // A message in progress does not matter: a packet that began after everything before it was
    // fed is that message.
    if (script.oneWay || script.replyDelay.count() != 0) {
        return std::nullopt;
    }
    const auto packet = decoder.NextPacketNumber();
    if (!packet || lastPacketNumber == *packet ||
        (script.nakPackets.count(nextPacket) != 0 && nakSent.count(nextPacket) == 0) ||
        script.cancelPacket == nextPacket || (script.waitPacket == nextPacket && !waitSent) ||
        (script.losePacket == nextPacket && !lost)) {
        return std::nullopt;
    }
    return packet;
}

std::vector<TimedReply> SimulatedSampler::Silence(std::chrono::milliseconds quiet) {
    std::vector<TimedReply> replies;
    if (responder) {
        for (TimedReply& reply : responder->Silence(quiet)) {
            Reply(replies, std::move(reply.bytes), reply.delay);
        }
    }
    return replies;
}

void SimulatedSampler::Lost() {
    if (inMessage) {
        log.push_back("message at offset " + std::to_string(messageStart) +
                      " cut off: MIDI input was lost");
        inMessage = false;
    }
}

std::vector<TimedReply> SimulatedSampler::Feed(std::span<const std::uint8_t> bytes, bool answered) {
    std::vector<TimedReply> replies;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::uint8_t b = bytes[i];
        ++offset;
        if (b >= 0xF8) {
            continue;
        }
        if (b == 0xF0) {
            message.assign(1, b);
            inMessage = true;
            messageStart = offset - 1;
            continue;
        }
        if (!inMessage) {
            continue;
        }
        if (b >= 0x80 && b != 0xF7) {
            log.push_back("message at offset " + std::to_string(messageStart) + " cut off");
            inMessage = false;
            continue;
        }
        if (message.size() >= messageLimit) {
            log.push_back("message at offset " + std::to_string(messageStart) + " too long");
            inMessage = false;
            continue;
        }
        message.push_back(b);
        if (b == 0xF7) {
            inMessage = false;
            quiet = answered && i + 1 == bytes.size();
            if (!Lose()) {
                Message(replies);
            }
            quiet = false;
            if (message.capacity() > 4096) {
                message = {}; // an S900 sample's message is not kept past its decoding
            }
        } else if (IsS900Data(message) && message.size() == s900DataHeaderBytes) {
            S900DataHeader(replies);
        } else if (IsS900Data(message) && message.size() > s900DataHeaderBytes &&
                   (message.size() - s900DataHeaderBytes) % s900BlockBytes == 0) {
            S900Block(replies);
        }
    }
    return replies;
}

void SimulatedSampler::S900DataHeader(std::vector<TimedReply>& replies) {
    const std::uint32_t words = message[9] | message[10] << 7 | message[11] << 14;
    const int number = message[3] | message[4] << 7;
    if (!Reserve(number, words)) {
        inMessage = false; // the rest of it is not taken
        Reply(replies, S900Handshake(SamplerReply::Kind::cancel));
    }
}

void SimulatedSampler::Reply(std::vector<TimedReply>& replies, std::vector<std::uint8_t> bytes,
                             std::chrono::milliseconds extra) {
    if (!script.oneWay && !quiet) {
        replies.push_back({std::move(bytes), script.replyDelay + extra});
    }
}

std::vector<std::uint8_t> SimulatedSampler::PacketAnswer(int index, bool intact, bool s900,
                                                         int channel, int packet,
                                                         std::vector<TimedReply>& replies) {
    const auto handshake = [&](SamplerReply::Kind kind) {
        return s900 ? S900Handshake(kind) : SdsHandshake(kind, channel, packet);
    };
    if (!intact) {
        return handshake(SamplerReply::Kind::nak);
    }
    if (script.nakPackets.count(index) != 0 && nakSent.insert(index).second) {
        return handshake(SamplerReply::Kind::nak);
    }
    if (script.cancelPacket == index) {
        return handshake(SamplerReply::Kind::cancel);
    }
    if (script.waitPacket == index && !waitSent && !s900) {
        waitSent = true;
        Reply(replies, handshake(SamplerReply::Kind::ack), script.waitTime);
        return handshake(SamplerReply::Kind::wait);
    }
    return handshake(SamplerReply::Kind::ack);
}

bool SimulatedSampler::Lose() {
    const bool dataPacket = message.size() == sds::packetBytes &&
                            message[1] == sds::universalNonRealTime &&
                            message[3] == sds::dataPacketId;
    if (lost || !dataPacket || !script.losePacket) {
        return false;
    }
    const int index = message[4] == lastPacketNumber ? lastPacketIndex : nextPacket;
    if (index != *script.losePacket) {
        return false;
    }
    lost = true;
    log.push_back("Data Packet " + std::to_string(message[4]) + " lost on the way");
    return true;
}

void SimulatedSampler::S900Block(std::vector<TimedReply>& replies) {
    const std::span<const std::uint8_t> block(message.data() + message.size() - s900BlockBytes,
                                              s900BlockBytes);
    const bool intact = XorOf(block.subspan(1, 120)) == block[121];
    const int index = nextPacket++;
    if (!intact) {
        log.push_back("S900 block " + std::to_string(block[0]) + " has a bad checksum");
    }
    Reply(replies, PacketAnswer(index, intact, true, -1, block[0], replies));
}

void SimulatedSampler::Message(std::vector<TimedReply>& replies) {
    if (responder) {
        if (auto answers = responder->Answer(message)) {
            if (const auto reply = ParseSamplerReply(message)) {
                if (reply->kind == SamplerReply::Kind::nak) {
                    handshakes.push_back(reply->packet < 0
                                             ? "NAK"
                                             : "NAK for packet " + std::to_string(reply->packet));
                } else if (reply->kind == SamplerReply::Kind::cancel) {
                    handshakes.emplace_back("CANCEL");
                }
            }
            for (TimedReply& answer : *answers) {
                Reply(replies, std::move(answer.bytes), answer.delay);
            }
            return;
        }
    }
    const SysExDecoder::Result result = decoder.Feed(message, messageStart);
    // A sample the message closed is held before the room for a new one is counted.
    Keep();
    // Packets after a gap already logged are NAKed without a line each.
    if (!result.Ok() && !result.afterGap) {
        log.push_back("offset " + std::to_string(messageStart) + ": " + result.error);
    }
    const int channel = result.channel < 0 ? 0 : result.channel;
    switch (result.kind) {
    case SysExDecoder::Kind::sdsDumpHeader:
    case SysExDecoder::Kind::s1000SampleHeader:
        if (result.Ok() && !Reserve(*result.sample, decoder.OpenSample()->lengthWords)) {
            decoder.DropOpenSample();
            lastPacketNumber = -1;
            Reply(replies, SdsHandshake(SamplerReply::Kind::cancel, channel, 0));
        } else if (result.Ok()) {
            lastPacketNumber = -1;
            Reply(replies, SdsHandshake(SamplerReply::Kind::ack, channel, 0));
        } else if (result.kind == SysExDecoder::Kind::s1000SampleHeader) {
            Reply(replies, AkaiReply(channel, 1));
        } else {
            Reply(replies, SdsHandshake(SamplerReply::Kind::nak, channel, 0));
        }
        break;
    case SysExDecoder::Kind::sdsDataPacket: {
        const bool resend = result.packet == lastPacketNumber;
        const int index = resend ? lastPacketIndex : nextPacket;
        if (result.Ok()) {
            if (!resend) {
                ++nextPacket;
            }
            lastPacketIndex = index;
            lastPacketNumber = result.packet;
        }
        const int named =
            !result.Ok() && script.nakExpected ? (lastPacketNumber + 1) & 0x7F : result.packet;
        Reply(replies, PacketAnswer(index, result.Ok(), false, channel, named, replies));
        break;
    }
    case SysExDecoder::Kind::s1000ProgramHeader:
    case SysExDecoder::Kind::s1000Keygroup:
        if (!result.Ok()) {
            Reply(replies, AkaiReply(channel, 1));
        }
        break;
    default:
        break;
    }
}

std::vector<std::string> SimulatedSampler::TakeLog() {
    return std::exchange(log, {});
}

} // namespace velomire::transfer
