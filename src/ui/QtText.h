#pragma once

#include <QString>

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

} // namespace velomire::app
