#pragma once

#include <QFile>
#include <QString>

#include <filesystem>
#include <string>
#include <string_view>

namespace velomire::app {

// The core keeps text as UTF-8 bytes; Qt as QString. Every crossing goes through these two.
inline QString FromStd(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string ToStd(const QString& text) {
    return text.toStdString();
}

// A file name as the core opens it: UTF-16 on Windows, the file system's encoding elsewhere.
inline std::filesystem::path ToPath(const QString& path) {
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

} // namespace velomire::app
