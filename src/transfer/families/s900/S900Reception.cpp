#include "transfer/families/s900/S900Reception.h"

#include "transfer/SimulatedSampler.h"
#include "transfer/families/Family.h"
#include "transfer/families/WireBlock.h"
#include "transfer/families/s900/S900Wire.h"

#include <string>

namespace velomire::transfer {

namespace {

void DataHeader(std::span<const std::uint8_t> message, ReceivingSampler& sampler) {
    const std::uint32_t words = message[9] | message[10] << 7 | message[11] << 14;
    const int number = message[3] | message[4] << 7;
    if (!sampler.Reserve(number, words)) {
        sampler.StopTaking();
        sampler.Reply(S900Handshake(SamplerReply::Kind::cancel), {});
    }
}

void Block(std::span<const std::uint8_t> message, ReceivingSampler& sampler) {
    const std::span<const std::uint8_t> block = message.last(s900::pieceBytes);
    const bool intact = wire::XorOf(block.subspan(1, 120)) == block[121];
    const int index = sampler.CountPacket();
    if (!intact) {
        sampler.Log("S900 block " + std::to_string(block[0]) + " has a bad checksum");
    }
    for (const ScriptedAnswer& answer : sampler.PacketAnswers(index, intact, false)) {
        sampler.Reply(S900Handshake(answer.kind), answer.extra);
    }
}

} // namespace

std::size_t S900Arriving(std::span<const std::uint8_t> message, ReceivingSampler& sampler) {
    // Shown where its first bytes tell what it is, then where its header and each block end.
    constexpr std::size_t told = 6;
    if (message.size() < told) {
        return told;
    }
    if (!s900::IsSampleData(message)) {
        return Family::notAgain;
    }
    if (message.size() < s900::dataHeaderBytes) {
        return s900::dataHeaderBytes;
    }
    if (message.size() == s900::dataHeaderBytes) {
        DataHeader(message, sampler);
    } else if ((message.size() - s900::dataHeaderBytes) % s900::pieceBytes == 0) {
        Block(message, sampler);
    }
    const std::size_t taken = (message.size() - s900::dataHeaderBytes) % s900::pieceBytes;
    return message.size() + s900::pieceBytes - taken;
}

std::size_t S900DataMessageBytes(std::uint32_t words) {
    return s900::dataHeaderBytes +
           (std::size_t{words} / s900::wordsPerPiece + 1) * s900::pieceBytes + 1;
}

} // namespace velomire::transfer
