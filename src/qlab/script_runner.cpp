#include "qlab/script_runner.h"

namespace carvo {
namespace {

QString quoted(const QString& text) {
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == u'"' || c == u'\\')
            out += u'\\';
        out += c;
    }
    out += u'"';
    return out;
}

} // namespace

QString describe(const ScriptDescriptor& descriptor) {
    if (descriptor.isList || !descriptor.items.isEmpty()) {
        QStringList parts;
        for (const auto& item : descriptor.items)
            parts << describe(item);
        return u'{' + parts.join(QStringLiteral(", ")) + u'}';
    }
    if (!descriptor.text)
        return QStringLiteral("missing value");
    return quoted(*descriptor.text);
}

} // namespace carvo
