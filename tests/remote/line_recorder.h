#pragma once
// Test helpers for the server tests: standard-output lines as they are written, a free loopback
// port, and a loopback client.

#include <mutex>
#include <string>
#include <vector>

#include <QHostAddress>
#include <QString>
#include <QTcpServer>

#include "base/diagnostics.h"

namespace carvo::testing {

// Records every standard-output line while it lives (one recorder at a time).
class LineRecorder {
public:
    LineRecorder()
        : m_observer([this](const std::string& line) {
              std::lock_guard lock(m_mutex);
              m_lines.push_back(QString::fromStdString(line));
          }) {}

    std::vector<QString> lines() const {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }

    // Index of the first line at or after from that starts with prefix, or -1.
    int find(const QString& prefix, int from = 0) const {
        std::lock_guard lock(m_mutex);
        for (int i = from; i < static_cast<int>(m_lines.size()); ++i) {
            if (m_lines[static_cast<size_t>(i)].startsWith(prefix))
                return i;
        }
        return -1;
    }

    bool has(const QString& prefix) const { return find(prefix) >= 0; }

    int count(const QString& prefix) const {
        std::lock_guard lock(m_mutex);
        int n = 0;
        for (const auto& line : m_lines)
            n += line.startsWith(prefix) ? 1 : 0;
        return n;
    }

    int size() const {
        std::lock_guard lock(m_mutex);
        return static_cast<int>(m_lines.size());
    }

private:
    mutable std::mutex m_mutex;
    std::vector<QString> m_lines;
    ScopedLineObserver m_observer;
};

// A port on 127.0.0.1 that nothing listened on a moment ago.
inline quint16 freeLoopbackPort() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

} // namespace carvo::testing
