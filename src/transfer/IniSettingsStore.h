#pragma once

#include "transfer/SettingsStore.h"

#include <filesystem>
#include <map>
#include <string>
#include <string_view>

namespace velomire::transfer {

// The desktop application's settings file read without Qt (velomire-cli on Windows): the keys of
// the section "[Velomire]" of an INI file as QSettings writes it, with spaces and other special
// characters of a key escaped as %XX ("Midi%20channel=3"). Written values stay in memory: the
// command-line tool only reads the settings.
class IniSettingsStore : public SettingsStore {
public:
    // A missing or unreadable file reads as an empty profile.
    explicit IniSettingsStore(const std::filesystem::path& file);
    static IniSettingsStore FromText(std::string_view text);

    std::optional<std::string> Read(std::string_view key) override;
    void Write(std::string_view key, const std::string& value) override;
    void Sync() override {} // nothing is written back

    // $VELOMIRE_SETTINGS_FILE when set; else where the desktop application keeps its settings:
    // %APPDATA%\Velomire\Velomire.ini on Windows, $XDG_CONFIG_HOME (or ~/.config)/Velomire/
    // Velomire.ini elsewhere.
    static std::filesystem::path DefaultPath();

private:
    IniSettingsStore() = default;
    void Parse(std::string_view text);

    std::map<std::string, std::string, std::less<>> values;
};

} // namespace velomire::transfer
