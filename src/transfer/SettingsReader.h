#pragma once

#include "transfer/SettingsStore.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velomire::transfer {

// Reads values from the settings and checks each where it is read: a hand-edited or damaged file
// must never put an impossible channel or limit on the wire. A value that is not a whole number
// or lies outside its range counts as not set, and its key is kept for one warning that names
// every such key.
class SettingsReader {
public:
    explicit SettingsReader(SettingsStore& store) : store(store) {}

    // The value when it is a whole number from `min` to `max` or equal to `fallback` (what an
    // unset key reads as); else `fallback`, and the key is noted.
    std::int32_t Number(std::string_view key, std::int32_t min, std::int32_t max,
                        std::int32_t fallback);
    // The same without a default: nothing when the key is missing or refused.
    std::optional<std::int32_t> Number(std::string_view key, std::int32_t min, std::int32_t max);
    // A text of at most `maxLength` bytes without control characters; else empty, and noted.
    std::string Text(std::string_view key, std::size_t maxLength);

    // The refused keys, in the order read.
    const std::vector<std::string>& Ignored() const { return ignored; }
    // One line naming every refused key and what it held, or empty:
    // Settings: "Midi channel" = 200 is out of range or unreadable; the default is used.
    std::string Warning() const;

private:
    void Ignore(std::string_view key, std::string_view value);

    SettingsStore& store;
    std::vector<std::string> ignored;
    std::vector<std::string> shown; // "Midi channel" = 200, for the warning
};

} // namespace velomire::transfer
