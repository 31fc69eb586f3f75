#include "transfer/SamplerMemory.h"

#include "transfer/families/s900/S900Responder.h"
#include "transfer/families/sds/SdsResponder.h"

namespace velomire::transfer {

std::unique_ptr<RequestResponder> MakeRequestResponder(SamplerFamily family, SamplerMemory& memory,
                                                       const SendFaults& faults) {
    switch (family) {
    case SamplerFamily::sds:
        return families::sds::MakeSdsResponder(memory, faults);
    case SamplerFamily::s900:
        return MakeS900Responder(memory, faults);
    default:
        return nullptr;
    }
}

} // namespace velomire::transfer
