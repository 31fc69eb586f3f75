#include "transfer/Librarian.h"

#include "transfer/families/Family.h"

namespace velomire::transfer {

std::string SamplerEntry::SentAsText() const {
    if (!sentAs) {
        return {};
    }
    return (kind == Kind::program ? "program#" : "sample#") + std::to_string(*sentAs);
}

ListNumbering Librarian::Numbering() const {
    return {"send", "Numbers are the sampler's own, as a send gives them (sample#4 is sample 4)."};
}

LibrarianResult Librarian::ReadSentNumbers(std::vector<SamplerEntry>&, LibrarianProgress&) {
    return {};
}

std::unique_ptr<Librarian> MakeLibrarian(std::int32_t model, const LibrarianPorts& ports) {
    const Family* family = FamilyOf(model);
    return family != nullptr ? family->MakeLibrarian(model, ports) : nullptr;
}

} // namespace velomire::transfer
