#include "transfer/Librarian.h"

#include "transfer/families/Family.h"

namespace velomire::transfer {

std::unique_ptr<Librarian> MakeLibrarian(std::int32_t model, const LibrarianPorts& ports) {
    const Family* family = FamilyOf(model);
    return family != nullptr ? family->MakeLibrarian(model, ports) : nullptr;
}

} // namespace velomire::transfer
