#include "transfer/families/s900/S900Family.h"
#include "transfer/families/s900/S900Received.h"

#include "transfer/families/s900/S900DiskFiles.h"
#include "transfer/families/s900/S900Librarian.h"
#include "transfer/families/s900/S900Messages.h"
#include "transfer/families/s900/S900Reception.h"
#include "transfer/families/s900/S900Responder.h"
#include "transfer/families/s900/S900Wire.h"

namespace velomire::transfer {

std::string_view S900Family::Name() const {
    return "S900";
}

int S900Family::ShownNameChars() const {
    return static_cast<int>(s900::nameChars);
}

ImportedRate S900Family::RateOfImport(std::uint32_t rate) const {
    if (rate < program::s900LowestRate || rate > program::s900HighestRate) {
        return {program::TargetRate::s900, 0};
    }
    return {};
}

std::string_view S900Family::TuneNotCarried() const {
    return "tune (the S900/S950 program holds none)";
}

std::string_view S900Family::ImportLoss() const {
    return "the S900/S950 holds 12 bits of each word";
}

FirstNumbers S900Family::FirstSendNumbers() const {
    return {1, 4};
}

std::string S900Family::NumbersRefusal(std::int32_t program, std::int32_t firstSample,
                                       std::int64_t lastSample) const {
    if (program >= 0 && program <= s900::highestNumber && firstSample >= 0 &&
        lastSample <= s900::highestNumber) {
        return {};
    }
    return "Error: the S900 and S950 take sample and program numbers from 0 to 127 !";
}

void S900Family::SendSamplePart(TransferContext& context, int entry, int part) const {
    // The data come first; the header that follows names them.
    S900Messages s900(context);
    s900.SendS900SampleData(entry, part);
    s900.SendS900SampleHeader(entry, part);
}

bool S900Family::SendsProgram() const {
    return true;
}

void S900Family::SendProgram(TransferContext& context) const {
    S900Messages(context).SendS900Program();
}

WireEstimate S900Family::PartOnWire(std::uint32_t lengthWords, const SamplerModelInfo&) const {
    return {s900::dataHeaderBytes + s900::Pieces(lengthWords) * double{s900::pieceBytes} + 1 +
                s900::sampleHeaderBytes,
            s900::waitAfterHeaderPieceMs / 1000.0 + s900::waitAfterDataMs / 1000.0};
}

WireEstimate S900Family::ProgramOnWire(int, int parts, const SamplerModelInfo&) const {
    // One keygroup per part.
    constexpr double headerBytes = s900::programFrameBytes + 2 * s900::programHeaderBlock;
    constexpr double keygroupBytes = 2 * s900::keygroupBlock;
    return {headerBytes + parts * keygroupBytes, 0};
}

const disk::FamilyImages* S900Family::Images() const {
    return &disk::S900FamilyImages();
}

std::optional<StereoOutputs> S900Family::StereoKeygroupOutputs() const {
    return StereoOutputs{s900::stereoLeftOutput, s900::stereoRightOutput};
}

std::unique_ptr<Librarian> S900Family::MakeLibrarian(std::int32_t,
                                                     const LibrarianPorts& ports) const {
    return MakeS900Librarian(ports);
}

std::unique_ptr<RequestResponder> S900Family::MakeResponder(std::int32_t, SamplerMemory& memory,
                                                            const SendFaults& faults) const {
    return MakeS900Responder(memory, faults);
}

program::SampleChunks S900Family::ReceivedChunks(const DecodedSample& sample) const {
    return S900ReceivedChunks(sample);
}

bool S900Family::ReceivedZones(const DecodedProgram& received,
                               const program::KeygroupBlock& defaults,
                               program::ProgramHeader& header,
                               std::vector<ReceivedZone>& zones) const {
    S900ReceivedZones(received, defaults, header, zones);
    return true;
}

std::size_t S900Family::LongestSentMessage(std::uint32_t memoryWords) const {
    return S900DataMessageBytes(memoryWords);
}

std::size_t S900Family::Arriving(std::span<const std::uint8_t> message,
                                 ReceivingSampler& sampler) const {
    return S900Arriving(message, sampler);
}

} // namespace velomire::transfer
