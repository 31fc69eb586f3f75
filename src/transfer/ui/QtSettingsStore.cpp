#include "transfer/ui/QtSettingsStore.h"

#include <QString>

namespace velomire::transfer {
namespace {

const QString group = QStringLiteral("Velomire");

QString Key(std::string_view key) {
    return group + QLatin1Char('/') +
           QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
}

} // namespace

QtSettingsStore::QtSettingsStore() {
    const QByteArray file = qgetenv("VELOMIRE_SETTINGS_FILE");
    if (!file.isEmpty()) {
        settings = std::make_unique<QSettings>(QString::fromLocal8Bit(file), QSettings::IniFormat);
    } else {
        settings =
            std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                        QStringLiteral("Velomire"), QStringLiteral("Velomire"));
    }
}

std::optional<std::string> QtSettingsStore::Read(std::string_view key) {
    const QVariant value = settings->value(Key(key));
    if (!value.isValid()) {
        return std::nullopt;
    }
    return value.toString().toStdString();
}

void QtSettingsStore::Write(std::string_view key, const std::string& value) {
    settings->setValue(Key(key), QString::fromStdString(value));
}

void QtSettingsStore::Sync() {
    settings->sync();
}

} // namespace velomire::transfer
