#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velomire::transfer {

// A per-user key/value store holding decimal integers under the section "Velomire" (an INI file
// through QSettings in the applications, a map in tests).
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual std::optional<std::string> Read(std::string_view key) = 0;
    virtual void Write(std::string_view key, const std::string& value) = 0;
    // Puts what was written where the next start reads it.
    virtual void Sync() = 0;
};

} // namespace velomire::transfer
