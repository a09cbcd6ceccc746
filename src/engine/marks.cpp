#include "engine/marks.h"

#include "base/text.h"

namespace carvo {

const Mark* findMark(const std::vector<Mark>& marks, const QString& name) {
    const std::string exact = toUtf8(name);
    for (const Mark& mark : marks)
        if (mark.name == exact)
            return &mark;
    for (const Mark& mark : marks)
        if (fromUtf8(mark.name).compare(name, Qt::CaseInsensitive) == 0)
            return &mark;
    return nullptr;
}

QString noMarkMessage(const QString& name) {
    return QStringLiteral("There is no mark \"") + name + QStringLiteral("\" in this music");
}

QList<NumberedMark> numberedMarks(const std::vector<Mark>& marks, std::int64_t firstBarNumber) {
    QList<NumberedMark> numbered;
    numbered.reserve(static_cast<qsizetype>(marks.size()));
    for (const Mark& mark : marks)
        numbered.append({firstBarNumber + (mark.barIndex - 1), fromUtf8(mark.name)});
    return numbered;
}

QString markAtOrBefore(const std::vector<Mark>& marks, std::int64_t barIndex) {
    QString latest;
    for (const Mark& mark : marks) {
        if (mark.barIndex > barIndex)
            break;
        latest = fromUtf8(mark.name);
    }
    return latest;
}

} // namespace carvo
