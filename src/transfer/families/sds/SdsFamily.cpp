#include "transfer/families/sds/SdsFamily.h"

#include "transfer/families/sds/SdsMessages.h"
#include "transfer/families/sds/SdsWire.h"

namespace velomire::transfer {

std::string_view SdsFamily::Name() const {
    return "SDS";
}

int SdsFamily::ShownNameChars() const {
    return 0; // the dump carries no name
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
    return {sds::dumpHeaderBytes + sds::Packets(lengthWords) * double{sds::packetBytes},
            sds::waitAfterDataMs / 1000.0};
}

} // namespace velomire::transfer
