#pragma once
// UTF-8 between the plain C++ modules (std::string) and the Qt ones (QString).

#include <string>
#include <string_view>

#include <QString>

namespace carvo {

inline QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string toUtf8(const QString& text) {
    return text.toStdString();
}

} // namespace carvo
