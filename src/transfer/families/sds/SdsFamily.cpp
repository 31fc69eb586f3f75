#include "transfer/families/sds/SdsFamily.h"
#include "transfer/families/sds/SdsReceived.h"

#include "transfer/families/SdsMessages.h"
#include "transfer/families/SdsReception.h"
#include "transfer/families/SdsWire.h"
#include "transfer/families/sds/SdsLibrarian.h"
#include "transfer/families/sds/SdsResponder.h"

namespace velomire::transfer {

std::string_view SdsFamily::Name() const {
    return "SDS";
}

int SdsFamily::ShownNameChars() const {
    return 0; // the dump carries no name
}

std::string_view SdsFamily::TuneNotCarried() const {
    return "tune (an SDS sampler takes samples only)";
}

FirstNumbers SdsFamily::FirstSendNumbers() const {
    return {0, 0};
}

void SdsFamily::SendSamplePart(TransferContext& context, int entry, int part) const {
    SdsMessages sds(context);
    sds.SendSdsDumpHeader(entry, part);
    sds.SendSdsSampleData(entry, part);
}

bool SdsFamily::SendsProgram() const {
    return false;
}

WireEstimate SdsFamily::PartOnWire(std::uint32_t lengthWords, const SamplerModelInfo&) const {
    return {sds::headerBytes + sds::Packets(lengthWords) * double{sds::packetBytes},
            sds::waitAfterDataMs / 1000.0};
}

std::unique_ptr<Librarian> SdsFamily::MakeLibrarian(std::int32_t,
                                                    const LibrarianPorts& ports) const {
    return families::sds::MakeSdsLibrarian(ports);
}

std::unique_ptr<RequestResponder> SdsFamily::MakeResponder(std::int32_t, SamplerMemory& memory,
                                                           const SendFaults& faults) const {
    return families::sds::MakeSdsResponder(memory, faults);
}

program::SampleChunks SdsFamily::ReceivedChunks(const DecodedSample& sample) const {
    return SdsReceivedChunks(sample);
}

std::string SdsFamily::ReceivedNote(const DecodedSample& sample) const {
    return SdsReceivedNote(sample);
}

std::optional<int> SdsFamily::DataPacketNumber(std::span<const std::uint8_t> message) const {
    if (!sds::IsDataPacket(message)) {
        return std::nullopt;
    }
    return message[4];
}

bool SdsFamily::AnswerReceived(const SysExDecoder::Result& result,
                               ReceivingSampler& sampler) const {
    if (result.kind == SysExDecoder::Kind::sdsDumpHeader) {
        sds::AnswerSampleHeader(
            result, sampler, SdsHandshake(SamplerReply::Kind::nak, sds::AnswerChannel(result), 0));
        return true;
    }
    if (result.kind == SysExDecoder::Kind::sdsDataPacket) {
        sds::AnswerDataPacket(result, sampler);
        return true;
    }
    return false;
}

} // namespace velomire::transfer
