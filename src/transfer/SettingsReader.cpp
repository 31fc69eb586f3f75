#include "transfer/SettingsReader.h"

#include "transfer/SamplerSettings.h"

#include <algorithm>

namespace velomire::transfer {
namespace {

// What a warning quotes of a refused value: enough to recognise it, never a whole damaged file.
constexpr std::size_t quotedLength = 24;

bool IsControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

} // namespace

std::int32_t SettingsReader::Number(std::string_view key, std::int32_t min, std::int32_t max,
                                    std::int32_t fallback) {
    const auto text = store.Read(key);
    if (!text) {
        return fallback;
    }
    const auto value = ParseDecimal(*text);
    if (value && (*value == fallback || (*value >= min && *value <= max))) {
        return *value;
    }
    Ignore(key, *text);
    return fallback;
}

std::optional<std::int32_t> SettingsReader::Number(std::string_view key, std::int32_t min,
                                                   std::int32_t max) {
    const auto text = store.Read(key);
    if (!text) {
        return std::nullopt;
    }
    const auto value = ParseDecimal(*text);
    if (value && *value >= min && *value <= max) {
        return value;
    }
    Ignore(key, *text);
    return std::nullopt;
}

std::string SettingsReader::Text(std::string_view key, std::size_t maxLength) {
    auto text = store.Read(key);
    if (!text) {
        return {};
    }
    if (text->size() > maxLength || std::any_of(text->begin(), text->end(), IsControl)) {
        Ignore(key, *text);
        return {};
    }
    return std::move(*text);
}

void SettingsReader::Ignore(std::string_view key, std::string_view value) {
    ignored.emplace_back(key);
    std::string quoted;
    for (const char c : value.substr(0, quotedLength)) {
        quoted += IsControl(c) ? '?' : c;
    }
    if (value.size() > quotedLength) {
        quoted += "...";
    }
    shown.push_back("\"" + std::string(key) + "\" = " + (quoted.empty() ? "(empty)" : quoted));
}

std::string SettingsReader::Warning() const {
    if (shown.empty()) {
        return {};
    }
    std::string list;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        list += (i == 0 ? "" : i + 1 == shown.size() ? " and " : ", ") + shown[i];
    }
    if (shown.size() == 1) {
        return "Settings: " + list + " is out of range or unreadable; the default is used.";
    }
    return "Settings: " + list + " are out of range or unreadable; the defaults are used.";
}

} // namespace velomire::transfer
