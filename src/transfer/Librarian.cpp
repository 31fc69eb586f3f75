#include "transfer/Librarian.h"

#include "transfer/families/Family.h"

namespace velomire::transfer {

std::unique_ptr<Librarian> MakeLibrarian(std::int32_t model, const LibrarianPorts& ports) {
    const auto info = SamplerModel::Find(model);
    const Family* family = FamilyOf(model);
    return info && family != nullptr ? family->MakeLibrarian(*info, ports) : nullptr;
}

} // namespace velomire::transfer
