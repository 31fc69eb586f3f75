#include "transfer/SimulatedSampler.h"

#include "transfer/SamplerReply.h"

#include <utility>

namespace velomire::transfer {

namespace {

constexpr std::size_t s900DataHeaderBytes = 19;
constexpr std::size_t s900BlockBytes = 122;

std::uint8_t XorOf(std::span<const std::uint8_t> bytes) {
    std::uint8_t sum = 0;
    for (std::uint8_t b : bytes) {
        sum ^= b;
    }
    return sum;
}

bool IsS900Data(const std::vector<std::uint8_t>& m) {
    return m.size() >= 6 && m[1] == 0x7E && m[2] == 0x01 && m[5] == 0x0C;
}

} // namespace

std::vector<TimedReply> SimulatedSampler::Feed(std::span<const std::uint8_t> bytes) {
    std::vector<TimedReply> replies;
    for (std::uint8_t b : bytes) {
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
            if (!Lose()) {
                Message(replies);
            }
        } else if (IsS900Data(message) && message.size() > s900DataHeaderBytes &&
                   (message.size() - s900DataHeaderBytes) % s900BlockBytes == 0) {
            S900Block(replies);
        }
    }
    return replies;
}

void SimulatedSampler::Reply(std::vector<TimedReply>& replies, std::vector<std::uint8_t> bytes,
                             std::chrono::milliseconds extra) {
    if (!script.oneWay) {
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
    const bool dataPacket = message.size() == 127 && message[1] == 0x7E && message[3] == 0x02;
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
    const SysExDecoder::Result result = decoder.Feed(message, messageStart);
    if (!result.Ok()) {
        log.push_back("offset " + std::to_string(messageStart) + ": " + result.error);
    }
    if (result.sample) {
        changedSamples.insert(*result.sample);
    }
    if (result.program) {
        changedPrograms.insert(*result.program);
    }
    const int channel = result.channel < 0 ? 0 : result.channel;
    switch (result.kind) {
    case SysExDecoder::Kind::sdsDumpHeader:
    case SysExDecoder::Kind::s1000SampleHeader:
        if (result.Ok()) {
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

std::vector<std::size_t> SimulatedSampler::TakeChangedSamples() {
    std::vector<std::size_t> out(changedSamples.begin(), changedSamples.end());
    changedSamples.clear();
    return out;
}

std::vector<std::size_t> SimulatedSampler::TakeChangedPrograms() {
    std::vector<std::size_t> out(changedPrograms.begin(), changedPrograms.end());
    changedPrograms.clear();
    return out;
}

std::vector<std::string> SimulatedSampler::TakeLog() {
    return std::exchange(log, {});
}

} // namespace velomire::transfer
