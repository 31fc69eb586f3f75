#include "transfer/SimulatedSampler.h"

#include "transfer/SamplerReply.h"
#include "transfer/families/Family.h"

#include <algorithm>
#include <utility>

namespace velomire::transfer {

namespace {

// The families of the model table, each once, in its order.
std::vector<const Family*> TableFamilies() {
    std::vector<const Family*> families;
    for (const SamplerModelInfo& model : SamplerModel::All()) {
        const Family* family = FamilyOf(model.family);
        if (family != nullptr &&
            std::find(families.begin(), families.end(), family) == families.end()) {
            families.push_back(family);
        }
    }
    return families;
}

// No message is refused for its length below this.
constexpr std::size_t shortestLimit = 4096;

std::size_t MessageLimit(const std::vector<const Family*>& families, std::uint32_t memoryWords) {
    std::size_t limit = shortestLimit;
    for (const Family* family : families) {
        limit = std::max(limit, family->LongestSentMessage(memoryWords));
    }
    return limit;
}

} // namespace

std::uint32_t SimulatedMemoryWords(std::int32_t model) {
    const auto info = SamplerModel::Find(model);
    return info ? info->memoryWords : SamplerModel::All()[SamplerModel::sds].memoryWords;
}

SimulatedSampler::SimulatedSampler(SamplerScript script)
    : script(std::move(script)), families(TableFamilies()),
      messageLimit(MessageLimit(families, this->script.memoryWords)),
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
    if (responder) {
        for (TimedReply& reply : responder->Silence(quiet)) {
            Reply(std::move(reply.bytes), reply.delay);
        }
    }
    return std::exchange(replies, {});
}

void SimulatedSampler::Lost() {
    if (inMessage) {
        log.push_back("message at offset " + std::to_string(messageStart) +
                      " cut off: MIDI input was lost");
        inMessage = false;
    }
}

std::vector<TimedReply> SimulatedSampler::Feed(std::span<const std::uint8_t> bytes, bool answered) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::uint8_t b = bytes[i];
        ++offset;
        if (b >= 0xF8) {
            continue;
        }
        if (b == 0xF0) {
            message.assign(1, b);
            nextLook = 0;
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
                Message();
            }
            quiet = false;
            if (message.capacity() > shortestLimit) {
                message = {}; // a sample's data in one message is not kept past its decoding
            }
        } else if (message.size() >= nextLook) {
            nextLook = Family::notAgain;
            for (const Family* family : families) {
                nextLook = std::min(nextLook, family->Arriving(message, *this));
            }
        }
    }
    return std::exchange(replies, {});
}

void SimulatedSampler::Reply(std::vector<std::uint8_t> bytes, std::chrono::milliseconds extra) {
    if (!script.oneWay && !quiet) {
        replies.push_back({std::move(bytes), script.replyDelay + extra});
    }
}

bool SimulatedSampler::KeepOpenSample(int number) {
    lastPacketNumber = -1;
    if (Reserve(number, decoder.OpenSample()->lengthWords)) {
        return true;
    }
    decoder.DropOpenSample();
    return false;
}

int SimulatedSampler::NumberedPacket(int number, bool taken) {
    const bool resend = number == lastPacketNumber;
    const int index = resend ? lastPacketIndex : nextPacket;
    if (taken) {
        if (!resend) {
            ++nextPacket;
        }
        lastPacketIndex = index;
        lastPacketNumber = number;
    }
    return index;
}

std::vector<ScriptedAnswer> SimulatedSampler::PacketAnswers(int index, bool intact, bool mayWait) {
    using Kind = SamplerReply::Kind;
    if (!intact) {
        return {{Kind::nak}};
    }
    if (script.nakPackets.count(index) != 0 && nakSent.insert(index).second) {
        return {{Kind::nak}};
    }
    if (script.cancelPacket == index) {
        return {{Kind::cancel}};
    }
    if (script.waitPacket == index && !waitSent && mayWait) {
        waitSent = true;
        return {{Kind::ack, script.waitTime}, {Kind::wait}};
    }
    return {{Kind::ack}};
}

bool SimulatedSampler::Lose() {
    if (lost || !script.losePacket) {
        return false;
    }
    std::optional<int> number;
    for (const Family* family : families) {
        if ((number = family->DataPacketNumber(message))) {
            break;
        }
    }
    if (!number) {
        return false;
    }
    const int index = *number == lastPacketNumber ? lastPacketIndex : nextPacket;
    if (index != *script.losePacket) {
        return false;
    }
    lost = true;
    log.push_back("Data Packet " + std::to_string(*number) + " lost on the way");
    return true;
}

void SimulatedSampler::Message() {
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
                Reply(std::move(answer.bytes), answer.delay);
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
    for (const Family* family : families) {
        if (family->AnswerReceived(result, *this)) {
            break;
        }
    }
}

std::vector<std::string> SimulatedSampler::TakeLog() {
    return std::exchange(log, {});
}

} // namespace velomire::transfer
