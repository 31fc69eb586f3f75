#include "transfer/SamplerModel.h"

#include "transfer/families/Family.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <string>

namespace velomire::transfer {
namespace {

// The names musicians use besides the long and short ones of the table.
struct ModelAlias {
    std::string_view name;
    std::int32_t model;
};
constexpr std::array<ModelAlias, 2> aliases{
    {{"SDS", SamplerModel::sds}, {"S1100", SamplerModel::s1000}}};

// Lower case without spaces: "Akai S3000 XL", "s3000xl" and "S3000 XL" read alike.
std::string Folded(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (!std::isspace(static_cast<unsigned char>(c))) {
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    return out;
}

} // namespace

const std::array<SamplerModelInfo, SamplerModel::count>& SamplerModel::All() {
    return samplerModels;
}

std::optional<SamplerModelInfo> SamplerModel::Find(std::int32_t model) {
    if (model < 0 || model >= count) {
        return std::nullopt;
    }
    return samplerModels[static_cast<std::size_t>(model)];
}

SamplerFamily SamplerModel::Family(std::int32_t model) {
    const auto info = Find(model);
    return info ? info->family : SamplerFamily::none;
}

bool SamplerModel::PlaysOnAllVoices(std::int32_t model) {
    const transfer::Family* family = FamilyOf(model);
    return family != nullptr && family->PlaysOnAllVoices();
}

std::optional<std::int32_t> SamplerModel::Parse(std::string_view text) {
    std::int32_t number = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (ec == std::errc() && end == text.data() + text.size()) {
        return Find(number) ? std::optional(number) : std::nullopt;
    }
    // "Akai" may come before any short name ("Akai S950", "akai sds").
    std::string wanted = Folded(text);
    const std::string_view maker = "akai";
    if (wanted.size() > maker.size() && wanted.compare(0, maker.size(), maker) == 0) {
        wanted.erase(0, maker.size());
    }
    for (std::int32_t i = 0; i < count; ++i) {
        const auto& m = samplerModels[static_cast<std::size_t>(i)];
        if (wanted == Folded(m.shortName) || Folded(text) == Folded(m.longName)) {
            return i;
        }
    }
    for (const ModelAlias& alias : aliases) {
        if (wanted == Folded(alias.name)) {
            return alias.model;
        }
    }
    return std::nullopt;
}

} // namespace velomire::transfer
