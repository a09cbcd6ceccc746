#pragma once
// Shared pieces of the bridge's tests: a clock the test moves, a dialog responder with scripted
// answers, and a fixture that installs a simulated QLab and records every channel of report.

#include <deque>
#include <mutex>

#include <QCoreApplication>
#include <QStringList>
#include <QTemporaryDir>
#include <QThreadPool>
#include <gtest/gtest.h>

#include "base/app_console.h"
#include "app/broadcast.h"
#include "base/diagnostics.h"
#include "base/settings.h"
#include "qlab/qlab_integration.h"
#include "qlab/sim/simulated_qlab.h"

namespace carvo::testing {

class FakeClock : public sim::Clock {
public:
    double now() override {
        std::lock_guard lock(m_mutex);
        return m_now;
    }
    void sleep(double seconds) override {
        std::lock_guard lock(m_mutex);
        m_slept.push_back(seconds);
        m_now += seconds;
    }
    void advance(double seconds) {
        std::lock_guard lock(m_mutex);
        m_now += seconds;
    }
    std::vector<double> slept() {
        std::lock_guard lock(m_mutex);
        return m_slept;
    }

private:
    std::mutex m_mutex;
    double m_now = 1000.0;
    std::vector<double> m_slept;
};

// Answers dialogs from a queue (none = Cancel); OK with the default answer once it runs dry.
class ScriptedResponder : public sim::DialogResponder {
public:
    std::optional<QString> respond(const sim::DialogRequest& request) override {
        std::lock_guard lock(m_mutex);
        m_seen.push_back(request);
        if (m_answers.empty())
            return request.defaultAnswer.value_or(QString());
        auto answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }
    void queue(std::optional<QString> answer) {
        std::lock_guard lock(m_mutex);
        m_answers.push_back(std::move(answer));
    }
    std::vector<sim::DialogRequest> seen() {
        std::lock_guard lock(m_mutex);
        return m_seen;
    }

private:
    std::mutex m_mutex;
    std::deque<std::optional<QString>> m_answers;
    std::vector<sim::DialogRequest> m_seen;
};

inline sim::WorkspaceFile workspaceFrom(const char* json,
                                        const QString& folder = QStringLiteral("/shows")) {
    QString problem;
    auto workspace = sim::parseWorkspace(QByteArray(json), folder, &problem);
    EXPECT_TRUE(workspace) << problem.toStdString();
    return workspace.value_or(sim::WorkspaceFile{});
}

// Installs a simulated QLab as the process runner and records standard output, the clients'
// messages and the console growth while the test runs.
class SimulatedQLabTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_settingsFolder.isValid());
        settings::useFolder(m_settingsFolder.path());
        settings::remove(settings::standbyKey);
        settings::remove(settings::preWaitKey);
        setBroadcaster([this](const QString& message) { sent.append(message); });
        m_consoleStart = AppConsole::shared().logText().size();
        QLabIntegration::setCueInfos({});
    }

    void TearDown() override {
        QThreadPool::globalInstance()->waitForDone(5000);
        QLabIntegration::waitForMessageDialogs(5000);
        setScriptRunner(nullptr);
        setBroadcaster(nullptr);
        QLabIntegration::setCueInfos({});
    }

    void install(const char* json) {
        qlab = std::make_shared<sim::SimulatedQLab>(workspaceFrom(json), clock, responder);
        setScriptRunner(qlab);
    }

    // Waits for dialogs on the pool, then applies the queued console appends and broadcasts.
    void settle() {
        ASSERT_TRUE(QThreadPool::globalInstance()->waitForDone(5000));
        ASSERT_TRUE(QLabIntegration::waitForMessageDialogs(5000));
        QCoreApplication::processEvents();
    }

    QStringList consoleLines() {
        settle();
        auto added = AppConsole::shared().logText().mid(m_consoleStart);
        return added.split(u'\n', Qt::SkipEmptyParts);
    }

    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    std::shared_ptr<ScriptedResponder> responder = std::make_shared<ScriptedResponder>();
    std::shared_ptr<sim::SimulatedQLab> qlab;
    QStringList sent;
    std::vector<std::string> lines;
    std::mutex linesMutex;
    ScopedLineObserver observer{[this](const std::string& line) {
        std::lock_guard lock(linesMutex);
        lines.push_back(line);
    }};

private:
    QTemporaryDir m_settingsFolder;
    qsizetype m_consoleStart = 0;
};

} // namespace carvo::testing
