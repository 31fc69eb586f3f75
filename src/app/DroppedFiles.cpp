#include "app/DroppedFiles.h"

#include "program/WavFileList.h"

#include <QFileInfo>
#include <QUrl>

#include <functional>

namespace velomire::app {
namespace {

QStringList LocalFiles(const QMimeData* data, const std::function<bool(const QString&)>& wanted) {
    QStringList files;
    if (!data || !data->hasUrls()) {
        return files;
    }
    for (const QUrl& url : data->urls()) {
        const QString path = url.toLocalFile();
        if (!path.isEmpty() && wanted(path)) {
            files << path;
        }
    }
    return files;
}

} // namespace

QStringList DroppedProgramFiles(const QMimeData* data) {
    return LocalFiles(data, [](const QString& path) {
        return QFileInfo(path).suffix().compare(QStringLiteral("vmp"), Qt::CaseInsensitive) == 0;
    });
}

QStringList DroppedInstrumentFiles(const QMimeData* data) {
    return LocalFiles(data, [](const QString& path) {
        const QString suffix = QFileInfo(path).suffix();
        for (const char* wanted : {"sfz", "sf2", "dls", "gig", "kmp", "dspreset"}) {
            if (suffix.compare(QLatin1String(wanted), Qt::CaseInsensitive) == 0) {
                return true;
            }
        }
        return false;
    });
}

QStringList DroppedSoundFiles(const QMimeData* data) {
    return LocalFiles(data, [](const QString& path) {
        return program::IsSoundFileName(QFileInfo(path).fileName().toStdString());
    });
}

} // namespace velomire::app
