#include "transfer/families/Family.h"

#include "transfer/families/s1000/S1000Family.h"
#include "transfer/families/s900/S900Family.h"
#include "transfer/families/sds/SdsFamily.h"

namespace velomire::transfer {

std::string Family::ShownName(std::string_view name) const {
    return CaseFolded(name);
}

std::string Family::CaseFolded(std::string_view name) {
    std::string shown;
    for (const char c : name) {
        shown += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    return shown;
}

ImportedRate Family::RateOfImport(std::uint32_t) const {
    return {};
}

std::string Family::SampleRefusal(const program::SampleBlock&, const std::string&) const {
    return {};
}

std::string Family::NumbersRefusal(std::int32_t, std::int32_t, std::int64_t) const {
    return {};
}

std::optional<OffPitch> Family::OffPitchOf(const program::SampleBlock&) const {
    return std::nullopt;
}

void Family::SendProgram(TransferContext&) const {}

WireEstimate Family::ProgramOnWire(int, int, const SamplerModelInfo&) const {
    return {};
}

std::unique_ptr<Librarian> Family::MakeLibrarian(std::int32_t, const LibrarianPorts&) const {
    return nullptr;
}

std::unique_ptr<RequestResponder> Family::MakeResponder(std::int32_t, SamplerMemory&,
                                                        const SendFaults&) const {
    return nullptr;
}

bool Family::ReceivedZones(const DecodedProgram&, const program::KeygroupBlock&,
                           program::ProgramHeader&, std::vector<ReceivedZone>&) const {
    return false;
}

const Family* FamilyOf(SamplerFamily family) {
    static const SdsFamily sds;
    static const S900Family s900;
    static const S1000Family s1000;
    switch (family) {
    case SamplerFamily::sds:
        return &sds;
    case SamplerFamily::s900:
        return &s900;
    case SamplerFamily::s1000:
        return &s1000;
    case SamplerFamily::none:
        break;
    }
    return nullptr;
}

std::span<const Family* const> Family::All() {
    // Built from FamilyOf's switch, which names every family: the values after none, up to the
    // first it does not know.
    static const std::vector<const Family*> all = [] {
        std::vector<const Family*> families;
        for (int f = static_cast<int>(SamplerFamily::none) + 1;; ++f) {
            const Family* family = FamilyOf(static_cast<SamplerFamily>(f));
            if (!family) {
                return families;
            }
            families.push_back(family);
        }
    }();
    return all;
}

const Family* FamilyOf(std::int32_t model) {
    return FamilyOf(SamplerModel::Family(model));
}

} // namespace velomire::transfer
