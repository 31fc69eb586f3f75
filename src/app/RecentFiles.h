#pragma once

#include "program/RecentFileList.h"

#include <QObject>
#include <QSettings>
#include <QStringList>

namespace velomire::app {

// The recent-file list of the File menu, kept in an INI file of its own (group "Recent File
// List", keys File1 to File6), apart from the settings under "Velomire". Written at every change.
class RecentFiles : public QObject {
    Q_OBJECT

public:
    explicit RecentFiles(const QString& fileName, QObject* parent = nullptr);

    // The file beside the settings file: "<settings name>-recent.ini".
    static QString FileNameBeside(const QString& settingsFileName);

    QStringList Entries() const;
    void Add(const QString& path);
    void Remove(const QString& path);

signals:
    void changed();

private:
    void Store();

    QSettings file;
    program::RecentFileList list;
};

} // namespace velomire::app
