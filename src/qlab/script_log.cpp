#include "qlab/script_log.h"

#include <QDateTime>
#include <QFile>

#include "base/diagnostics.h"

namespace carvo {

ScriptLogRunner::ScriptLogRunner(std::shared_ptr<ScriptRunner> inner, QString transcriptPath)
    : m_inner(std::move(inner)), m_path(std::move(transcriptPath)) {}

ScriptOutcome ScriptLogRunner::run(const QString& source) {
    auto outcome = m_inner->run(source);
    append(entry(source, outcome));
    return outcome;
}

QString ScriptLogRunner::entry(const QString& source, const ScriptOutcome& outcome) {
    QString text = QStringLiteral("==== script run ") +
                   QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs) +
                   QStringLiteral("\n") + source;
    if (!source.endsWith(u'\n'))
        text += u'\n';
    if (outcome.error)
        text += QStringLiteral("==== error\n") + outcome.error->description + u'\n';
    if (outcome.result)
        text += QStringLiteral("==== result\n") + describe(*outcome.result) + u'\n';
    if (!outcome.error && !outcome.result)
        text += QStringLiteral("==== no result\n");
    return text;
}

void ScriptLogRunner::append(const QString& text) {
    std::lock_guard lock(m_mutex);
    QFile file(m_path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        if (!m_reportedFailure)
            writeLine(QStringLiteral("Cannot write the script transcript ") + m_path +
                      QStringLiteral(": ") + file.errorString());
        m_reportedFailure = true;
        return;
    }
    file.write(text.toUtf8());
}

} // namespace carvo
