#include "transfer/families/s1000/S1000Family.h"

#include "transfer/DumpText.h"
#include "transfer/SimulatedSampler.h"
#include "transfer/SysExBuffer.h"
#include "transfer/SysExDecoder.h"
#include "transfer/families/s1000/S1000Received.h"

#include "transfer/families/SdsMessages.h"
#include "transfer/families/SdsReception.h"
#include "transfer/families/SdsWire.h"
#include "transfer/families/s1000/S1000Layout.h"
#include "transfer/families/s1000/S1000Librarian.h"
#include "transfer/families/s1000/S1000Messages.h"
#include "transfer/families/s1000/S1000Responder.h"
#include "transfer/families/s1000/S1000Wire.h"

#include <cmath>

namespace velomire::transfer {

namespace {

// A header message of the model's block size, in wire bytes.
double HeaderBytes(const SamplerModelInfo& model) {
    return 7 + 2.0 * model.blockBytes + 1;
}

// The family plays the words at 44100 or 22050 Hz, nothing else, and its documents do not say
// which of the two it takes for a header of another rate. Taken here: the nearer in pitch
// (22050 Hz below 22050 x sqrt(2), about 31,183 Hz), the smallest error the sampler can give, so
// the figure shown is at most what is heard and within half an octave. (The nearer in Hz differs
// only from 31,184 to 33,074 Hz.)
std::uint32_t PlayRate(std::uint32_t rate) {
    const bool half =
        std::uint64_t{rate} * rate < 2 * std::uint64_t{s1000::halfRate} * s1000::halfRate;
    return half ? s1000::halfRate : s1000::fullRate;
}

} // namespace

std::string_view S1000Family::Name() const {
    return "S1000";
}

int S1000Family::ShownNameChars() const {
    return static_cast<int>(s1000::nameChars);
}

std::string S1000Family::ShownName(std::string_view name) const {
    std::string shown;
    for (const char c : name) {
        shown += AkaiChar(AkaiCharCode(c));
    }
    return shown;
}

ImportedRate S1000Family::RateOfImport(std::uint32_t rate) const {
    if (rate == s1000::fullRate || rate == s1000::halfRate) {
        return {};
    }
    // Played at the nearer rate (as OffPitchOf takes it), the tune brings the pitch back.
    if (rate <= s1000::highestRate) {
        return {program::TargetRate::keep, PlayRate(rate)};
    }
    return {program::TargetRate::rate44100, 0};
}

FirstNumbers S1000Family::FirstSendNumbers() const {
    return {1, 4};
}

std::string S1000Family::SampleRefusal(const program::SampleBlock& sample,
                                       const std::string& fileName) const {
    if (sample.headerRate <= s1000::highestRate) {
        return {};
    }
    return "Error: " + fileName + " is sampled at " + std::to_string(sample.headerRate) +
           " Hz; the S1000 family takes 65535 Hz at most !";
}

std::optional<OffPitch> S1000Family::OffPitchOf(const program::SampleBlock& sample) const {
    const std::uint32_t rate = sample.sampleRate;
    if (rate == s1000::fullRate || rate == s1000::halfRate || rate == 0) {
        return std::nullopt;
    }
    const std::uint32_t playRate = PlayRate(rate);
    // The tune offset it is sent then moves the pitch: 16 bits of 1/256 semitone.
    const auto tune = static_cast<std::int16_t>(static_cast<std::uint16_t>(sample.tuneOffset));
    const double cents =
        1200 * std::log2(static_cast<double>(playRate) / rate) + tune * 100.0 / 256;
    return OffPitch{playRate, cents};
}

void S1000Family::SendSamplePart(TransferContext& context, int entry, int part) const {
    // The header makes the sampler wait for SDS Data Packets.
    S1000Messages(context).SendS1000SampleHeader(entry, part);
    SdsMessages(context).SendSdsSampleData(entry, part);
}

bool S1000Family::SendsProgram() const {
    return true;
}

void S1000Family::SendProgram(TransferContext& context) const {
    S1000Messages(context).SendS1000Program();
}

WireEstimate S1000Family::PartOnWire(std::uint32_t lengthWords,
                                     const SamplerModelInfo& model) const {
    return {HeaderBytes(model) + sds::Packets(lengthWords) * double{sds::packetBytes},
            s1000::waitAfterSampleHeaderMs / 1000.0 + sds::waitAfterDataMs / 1000.0};
}

WireEstimate S1000Family::ProgramOnWire(int entries, int, const SamplerModelInfo& model) const {
    // The program header, then one keygroup per entry, each one byte longer for its index.
    const double header = HeaderBytes(model);
    return {header + entries * (header + 1), s1000::waitAfterProgramHeaderMs / 1000.0 +
                                                 entries * (s1000::waitAfterKeygroupMs / 1000.0)};
}

const disk::FamilyImages* S1000Family::Images() const {
    return &disk::S1000FamilyImages();
}

std::unique_ptr<Librarian> S1000Family::MakeLibrarian(std::int32_t,
                                                      const LibrarianPorts& ports) const {
    return MakeS1000Librarian(ports);
}

std::unique_ptr<RequestResponder> S1000Family::MakeResponder(std::int32_t model,
                                                             SamplerMemory& memory,
                                                             const SendFaults& faults) const {
    return MakeS1000Responder(memory, faults, model);
}

program::SampleChunks S1000Family::ReceivedChunks(const DecodedSample& sample) const {
    return S1000ReceivedChunks(sample);
}

bool S1000Family::ReceivedZones(const DecodedProgram& received,
                                const program::KeygroupBlock& defaults,
                                program::ProgramHeader& header,
                                std::vector<ReceivedZone>& zones) const {
    S1000ReceivedZones(received, defaults, header, zones);
    return true;
}

// The sample header is answered like a Dump Header, its data go as Data Packets (the SDS
// family's); a refused header, program header or keygroup gets a reply that refuses it.
bool S1000Family::AnswerReceived(const SysExDecoder::Result& result,
                                 ReceivingSampler& sampler) const {
    const auto refusal = [&] { return AkaiReply(sds::AnswerChannel(result), 1); };
    switch (result.kind) {
    case SysExDecoder::Kind::s1000SampleHeader:
        sds::AnswerSampleHeader(result, sampler, refusal());
        return true;
    case SysExDecoder::Kind::s1000ProgramHeader:
    case SysExDecoder::Kind::s1000Keygroup:
        if (!result.Ok()) {
            sampler.Reply(refusal(), {});
        }
        return true;
    default:
        return false;
    }
}

} // namespace velomire::transfer
