#include "transfer/Librarian.h"

#include "transfer/SamplerModel.h"
#include "transfer/families/s1000/S1000Librarian.h"
#include "transfer/families/s900/S900Librarian.h"
#include "transfer/families/sds/SdsLibrarian.h"

namespace velomire::transfer {

// Null for a family whose librarian is not written yet: the callers say the sampler cannot be
// read back.
std::unique_ptr<Librarian> MakeLibrarian(std::int32_t model, const LibrarianPorts& ports) {
    switch (SamplerModel::Family(model)) {
    case SamplerFamily::sds:
        return families::sds::MakeSdsLibrarian(ports);
    case SamplerFamily::s900:
        return MakeS900Librarian(ports);
    case SamplerFamily::s1000:
        return MakeS1000Librarian(ports);
    default:
        return nullptr;
    }
}

} // namespace velomire::transfer
