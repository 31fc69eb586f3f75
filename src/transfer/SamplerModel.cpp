#include "transfer/SamplerModel.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace velomire::transfer {
namespace {

constexpr std::array<SamplerModelInfo, SamplerModel::count> models{{
    {"SDS compatible sampler", "SDS compatible sampler", SamplerFamily::sds, 99, 99, 16, 2},
    {"Akai S900", "S900", SamplerFamily::s900, 32, 32, 8, 8},
    {"Akai S950", "S950", SamplerFamily::s900, 99, 99, 8, 8},
    {"Akai S1000/S1100", "S1000", SamplerFamily::s1000, 100, 200, 16, 8},
    {"Akai S2800", "S2800", SamplerFamily::s1000, 254, 255, 32, 2},
    {"Akai S3000", "S3000", SamplerFamily::s1000, 254, 255, 32, 8},
    {"Akai S3200", "S3200", SamplerFamily::s1000, 254, 255, 32, 8},
    {"Akai S2000", "S2000", SamplerFamily::s1000, 254, 255, 32, 2},
    {"Akai S3000 XL", "S3000 XL", SamplerFamily::s1000, 254, 255, 32, 8},
    {"Akai S3200 XL", "S3200 XL", SamplerFamily::s1000, 254, 255, 32, 8},
}};

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

const std::array<SamplerModelInfo, SamplerModel::count>& SamplerModel::All() {
    return models;
}

std::optional<SamplerModelInfo> SamplerModel::Find(std::int32_t model) {
    if (model < 0 || model >= count) {
        return std::nullopt;
    }
    return models[static_cast<std::size_t>(model)];
}

SamplerFamily SamplerModel::Family(std::int32_t model) {
    const auto info = Find(model);
    return info ? info->family : SamplerFamily::none;
}

std::optional<std::int32_t> SamplerModel::Parse(std::string_view text) {
    std::int32_t number = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (ec == std::errc() && end == text.data() + text.size()) {
        return Find(number) ? std::optional(number) : std::nullopt;
    }
    for (std::int32_t i = 0; i < count; ++i) {
        const auto& m = models[static_cast<std::size_t>(i)];
        if (SameText(text, m.longName) || SameText(text, m.shortName)) {
            return i;
        }
    }
    return std::nullopt;
}

} // namespace velomire::transfer
