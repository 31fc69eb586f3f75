#include "transfer/SamplerMemory.h"

#include "transfer/families/s1000/S1000Responder.h"
#include "transfer/families/s900/S900Responder.h"
#include "transfer/families/sds/SdsResponder.h"

namespace velomire::transfer {

std::unique_ptr<RequestResponder> MakeRequestResponder(std::int32_t model, SamplerMemory& memory,
                                                       const SendFaults& faults) {
    switch (SamplerModel::Family(model)) {
    case SamplerFamily::sds:
        return families::sds::MakeSdsResponder(memory, faults);
    case SamplerFamily::s900:
        return MakeS900Responder(memory, faults);
    case SamplerFamily::s1000:
        return MakeS1000Responder(memory, faults, model);
    default:
        return nullptr;
    }
}

} // namespace velomire::transfer
