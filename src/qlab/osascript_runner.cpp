#include "qlab/osascript_runner.h"

#include <csignal>

#include <QProcess>

#include "base/quit_signals.h"
#include "qlab/scripts.h"

namespace carvo {
namespace {

// A recursive-descent reader of one -ss value.
class OutputReader {
public:
    explicit OutputReader(const QString& text) : m_text(text) {}

    OsascriptOutput readAll() {
        skipBlanks();
        if (atEnd())
            return {};
        auto value = readValue(0);
        skipBlanks();
        if (value && !atEnd())
            fail(QStringLiteral("unexpected text after the result"));
        if (m_problem)
            return {std::nullopt, m_problem};
        return {std::move(value), std::nullopt};
    }

private:
    static constexpr int maxDepth = 256; // deeper nesting is not a QLab answer

    bool atEnd() const { return m_pos >= m_text.size(); }
    QChar peek() const { return m_text[m_pos]; }

    void skipBlanks() {
        while (!atEnd() && peek().isSpace())
            ++m_pos;
    }

    std::optional<ScriptDescriptor> fail(const QString& why) {
        if (!m_problem)
            m_problem = why + QStringLiteral(" at offset ") + QString::number(m_pos);
        return std::nullopt;
    }

    std::optional<ScriptDescriptor> readValue(int depth) {
        skipBlanks();
        if (atEnd())
            return fail(QStringLiteral("missing value text"));
        if (peek() == u'"') {
            auto text = readString();
            if (!text)
                return std::nullopt;
            return ScriptDescriptor::fromText(*text);
        }
        if (peek() == u'{')
            return readList(depth);
        return readBare();
    }

    std::optional<QString> readString() {
        ++m_pos; // opening quote
        QString text;
        while (!atEnd()) {
            const QChar c = peek();
            ++m_pos;
            if (c == u'"')
                return text;
            if (c != u'\\') {
                text += c;
                continue;
            }
            if (atEnd())
                break;
            const QChar escaped = peek();
            ++m_pos;
            if (escaped == u'n')
                text += u'\n';
            else if (escaped == u'r')
                text += u'\r';
            else if (escaped == u't')
                text += u'\t';
            else
                text += escaped;
        }
        fail(QStringLiteral("unterminated string"));
        return std::nullopt;
    }

    // A list {a, b} or a record {key:value, …}; records keep their values as items.
    std::optional<ScriptDescriptor> readList(int depth) {
        if (depth >= maxDepth)
            return fail(QStringLiteral("lists nested too deeply"));
        ++m_pos; // opening brace
        ScriptDescriptor list = ScriptDescriptor::list({});
        skipBlanks();
        if (!atEnd() && peek() == u'}') {
            ++m_pos;
            return list;
        }
        while (true) {
            skipBlanks();
            if (!atEnd() && peek() != u'"' && peek() != u'{' && isRecordKeyAhead()) {
                list.isList = false;
                skipRecordKey();
            }
            auto item = readValue(depth + 1);
            if (!item)
                return std::nullopt;
            list.items.append(std::move(*item));
            skipBlanks();
            if (atEnd())
                return fail(QStringLiteral("unterminated list"));
            if (peek() == u',') {
                ++m_pos;
                continue;
            }
            if (peek() == u'}') {
                ++m_pos;
                return list;
            }
            return fail(QStringLiteral("expected , or }"));
        }
    }

    // A record key is bare text (or |quoted|) up to a colon that comes before any , { } or ".
    bool isRecordKeyAhead() const {
        bool inBars = false;
        for (auto i = m_pos; i < m_text.size(); ++i) {
            const QChar c = m_text[i];
            if (c == u'|')
                inBars = !inBars;
            else if (inBars)
                continue;
            else if (c == u':')
                return true;
            else if (c == u',' || c == u'{' || c == u'}' || c == u'"' || c == u'«')
                return false;
        }
        return false;
    }

    void skipRecordKey() {
        bool inBars = false;
        while (!atEnd()) {
            const QChar c = peek();
            ++m_pos;
            if (c == u'|')
                inBars = !inBars;
            else if (c == u':' && !inBars)
                return;
        }
    }

    // Numbers, Booleans, constants and object specifiers: text up to the next , or } outside
    // quotes, braces and «chevrons». missing value has no text form.
    std::optional<ScriptDescriptor> readBare() {
        const auto start = m_pos;
        int chevrons = 0;
        while (!atEnd()) {
            const QChar c = peek();
            if (chevrons == 0 && (c == u',' || c == u'}'))
                break;
            if (c == u'{')
                return fail(QStringLiteral("unexpected {"));
            if (c == u'«')
                ++chevrons;
            else if (c == u'»')
                --chevrons;
            if (c == u'"') {
                if (!readString())
                    return std::nullopt;
                continue;
            }
            ++m_pos;
        }
        if (chevrons != 0)
            return fail(QStringLiteral("unbalanced «»"));
        const auto text = m_text.mid(start, m_pos - start).trimmed();
        if (text.isEmpty())
            return fail(QStringLiteral("empty item"));
        if (text == QStringLiteral("missing value"))
            return ScriptDescriptor{};
        return ScriptDescriptor::fromText(text);
    }

    const QString& m_text;
    qsizetype m_pos = 0;
    std::optional<QString> m_problem;
};

} // namespace

OsascriptOutput parseOsascriptOutput(const QString& output) {
    return OutputReader(output).readAll();
}

OsascriptRunner::OsascriptRunner(QString program, int timeoutMilliseconds)
    : m_program(std::move(program)), m_timeoutMilliseconds(timeoutMilliseconds) {}

ScriptOutcome OsascriptRunner::run(const QString& source) {
    // One process per run, owned by the calling thread: runs from several threads never meet.
    if (quitRequested())
        return {ScriptError{QStringLiteral("Carvo is quitting")}, std::nullopt};
    QProcess process;
    process.start(m_program, {QStringLiteral("-ss"), QStringLiteral("-")});
    if (!process.waitForStarted())
        return {ScriptError{QStringLiteral("cannot start ") + m_program + QStringLiteral(": ") +
                            process.errorString()},
                std::nullopt};
    // A quit signal does not wait for QLab: the script is abandoned with its process.
    const AbandonOnQuit abandon(
        [pid = process.processId()] { ::kill(static_cast<pid_t>(pid), SIGKILL); });
    process.write(source.toUtf8());
    process.closeWriteChannel();
    if (!process.waitForFinished(m_timeoutMilliseconds)) {
        process.kill();
        process.waitForFinished();
        return {ScriptError{m_program + QStringLiteral(" did not finish")}, std::nullopt};
    }
    const auto errorText = QString::fromUtf8(process.readAllStandardError()).trimmed();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        auto description = errorText;
        if (description.isEmpty())
            description = m_program + QStringLiteral(" failed with exit code ") +
                          QString::number(process.exitCode());
        return {ScriptError{description}, std::nullopt};
    }
    auto parsed = parseOsascriptOutput(QString::fromUtf8(process.readAllStandardOutput()));
    if (parsed.problem)
        return {ScriptError{QStringLiteral("unreadable osascript result: ") + *parsed.problem},
                std::nullopt};
    return {std::nullopt, std::move(parsed.result)};
}

bool OsascriptRunner::isApplicationRunning(const QString& bundleIdentifier) {
    const auto source =
        QStringLiteral("return application id \"") +
        QString::fromStdString(scripts::escapeForStringLiteral(bundleIdentifier.toStdString())) +
        QStringLiteral("\" is running");
    const auto outcome = run(source);
    return !outcome.error && outcome.resultText() == QStringLiteral("true");
}

} // namespace carvo
