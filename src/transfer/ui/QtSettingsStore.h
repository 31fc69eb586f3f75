#pragma once

#include "transfer/SettingsStore.h"

#include <QSettings>

#include <memory>

namespace velomire::transfer {

// The settings in an INI file under the group "Velomire": the user's configuration directory by
// default, or the file named by $VELOMIRE_SETTINGS_FILE (tests and portable setups).
class QtSettingsStore : public transfer::SettingsStore {
public:
    QtSettingsStore();
    std::optional<std::string> Read(std::string_view key) override;
    void Write(std::string_view key, const std::string& value) override;
    void Sync() override;

    QString FileName() const { return settings->fileName(); }

private:
    std::unique_ptr<QSettings> settings;
};

} // namespace velomire::transfer
