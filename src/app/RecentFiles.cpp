#include "app/RecentFiles.h"

#include <QDir>
#include <QFileInfo>

namespace velomire::app {
namespace {

const QString group = QStringLiteral("Recent File List");

QString Key(std::size_t i) {
    return group + QStringLiteral("/File%1").arg(i + 1);
}

} // namespace

RecentFiles::RecentFiles(const QString& fileName, QObject* parent)
    : QObject(parent), file(fileName, QSettings::IniFormat) {
    std::vector<std::string> stored;
    for (std::size_t i = 0; i < program::RecentFileList::defaultCapacity; ++i) {
        stored.push_back(file.value(Key(i)).toString().toStdString());
    }
    list.Assign(stored);
}

QString RecentFiles::FileNameBeside(const QString& settingsFileName) {
    const QFileInfo info(settingsFileName);
    return info.dir().filePath(info.completeBaseName() + QStringLiteral("-recent.ini"));
}

QStringList RecentFiles::Entries() const {
    QStringList entries;
    for (const auto& path : list.Entries()) {
        entries << QString::fromStdString(path);
    }
    return entries;
}

void RecentFiles::Add(const QString& path) {
    list.Add(path.toStdString());
    Store();
}

void RecentFiles::Remove(const QString& path) {
    list.Remove(path.toStdString());
    Store();
}

void RecentFiles::Store() {
    file.remove(group);
    const auto& entries = list.Entries();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        file.setValue(Key(i), QString::fromStdString(entries[i]));
    }
    file.sync();
    emit changed();
}

} // namespace velomire::app
