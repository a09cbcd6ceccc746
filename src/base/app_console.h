#pragma once
// The operator's console: a running log shown in the settings sheet.

#include <QObject>
#include <QString>

namespace carvo {

class AppConsole : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString logText READ logText NOTIFY logTextChanged)

public:
    // The one console of the process, created on first use and owned by the main thread.
    static AppConsole& shared();

    QString logText() const { return m_logText; }

    // Callable from any thread. Appends message and a line feed on the main thread, later;
    // entries from one thread arrive in the order that thread logged them. Mirrored, the entry
    // also goes to standard output at once, as one line per line of the message.
    Q_INVOKABLE void log(const QString& message);

    // Without a window nobody reads the console: every entry then goes to standard output too.
    // Any thread; off until set.
    static void setMirroredToStandardOutput(bool mirrored);
    static bool isMirroredToStandardOutput();

signals:
    void logTextChanged();

private:
    AppConsole();
    QString m_logText;
};

} // namespace carvo
