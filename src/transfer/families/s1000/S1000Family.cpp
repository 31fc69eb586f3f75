#include "transfer/families/s1000/S1000Family.h"
#include "transfer/families/s1000/S1000Received.h"

#include "transfer/families/s1000/S1000Librarian.h"
#include "transfer/families/s1000/S1000Messages.h"
#include "transfer/families/s1000/S1000Responder.h"
#include "transfer/families/s1000/S1000Wire.h"
#include "transfer/families/sds/SdsMessages.h"
#include "transfer/families/sds/SdsWire.h"

namespace velomire::transfer {

namespace {

// A header message of the model's block size, in wire bytes.
double HeaderBytes(const SamplerModelInfo& model) {
    return 7 + 2.0 * model.blockBytes + 1;
}

} // namespace

std::string_view S1000Family::Name() const {
    return "S1000";
}

int S1000Family::ShownNameChars() const {
    return 12;
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

} // namespace velomire::transfer
