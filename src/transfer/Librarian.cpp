#include "transfer/Librarian.h"

#include "transfer/SamplerModel.h"
#include "transfer/families/s1000/S1000Librarian.h"

namespace velomire::transfer {

// The families without a librarian yet give none; the callers say the sampler cannot be read
// back.
std::unique_ptr<Librarian> MakeLibrarian(std::int32_t model, const LibrarianPorts& ports) {
    switch (SamplerModel::Family(model)) {
    case SamplerFamily::s1000:
        return MakeS1000Librarian(ports);
    default:
        return nullptr;
    }
}

} // namespace velomire::transfer
