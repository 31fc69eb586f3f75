#pragma once

// A settings store in memory for tests: the keys in a map, and the order in which they were
// written.

#include "transfer/SettingsStore.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velomire::testing {

class MapSettingsStore : public transfer::SettingsStore {
public:
    std::optional<std::string> Read(std::string_view key) override {
        const auto it = values.find(std::string(key));
        return it == values.end() ? std::nullopt : std::optional(it->second);
    }
    void Write(std::string_view key, const std::string& value) override {
        values[std::string(key)] = value;
        written.emplace_back(key);
    }
    void Sync() override {}

    std::map<std::string, std::string> values;
    std::vector<std::string> written;
};

} // namespace velomire::testing
