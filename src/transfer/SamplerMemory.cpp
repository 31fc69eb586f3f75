#include "transfer/SamplerMemory.h"

#include "transfer/families/Family.h"

namespace velomire::transfer {

std::unique_ptr<RequestResponder> MakeRequestResponder(std::int32_t model, SamplerMemory& memory,
                                                       const SendFaults& faults) {
    const Family* family = FamilyOf(model);
    return family != nullptr ? family->MakeResponder(model, memory, faults) : nullptr;
}

} // namespace velomire::transfer
