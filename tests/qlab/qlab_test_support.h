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
#include "base/diagnostics.h"
#include "base/settings.h"
#include "qlab/qlab_integration.h"
#include "qlab/sim/simulated_qlab.h"
#include "support/recording_broadcaster.h"

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

// The get-files outcome as its text: QLab's answer, or the fixed answer that names the failure.
inline QString answerText(const FilesAnswer& answer) {
    return answer.failure ? failureText(*answer.failure) : answer.text;
}

// The request source a test names ("QLab", "Remote", "Chase"; case does not matter).
inline RequestSource sourceNamed(const char* name) {
    for (const RequestSource source :
         {RequestSource::qlab, RequestSource::remote, RequestSource::chase}) {
        if (QString::fromUtf8(name).compare(QString::fromLatin1(requestSourceText(source)),
                                            Qt::CaseInsensitive) == 0)
            return source;
    }
    ADD_FAILURE() << "no request source " << name;
    return RequestSource::qlab;
}

inline sim::WorkspaceFile workspaceFrom(const char* json,
                                        const QString& folder = QStringLiteral("/shows")) {
    QString problem;
    auto workspace = sim::parseWorkspace(QByteArray(json), folder, &problem);
    EXPECT_TRUE(workspace) << problem.toStdString();
    return workspace.value_or(sim::WorkspaceFile{});
}

// A QLab bridge of the test's own over a simulated QLab (or another runner), recording standard
// output, the clients' messages and the console growth while the test runs.
class SimulatedQLabTest : public ::testing::Test {
private:
    QTemporaryDir m_settingsFolder;

protected:
    // The test's own settings, which the bridge reads afresh ("standby", "preWait").
    Settings settings{m_settingsFolder.path()};

    void SetUp() override {
        ASSERT_TRUE(m_settingsFolder.isValid());
        m_consoleStart = AppConsole::shared().logText().size();
    }

    void TearDown() override {
        QThreadPool::globalInstance()->waitForDone(5000);
        QLabIntegration::waitForMessageDialogs(5000);
        m_bridge.reset();
    }

    void install(const char* json) {
        qlab = std::make_shared<sim::SimulatedQLab>(workspaceFrom(json), clock, responder);
        useRunner(qlab);
    }

    // The bridge over the current runner, made at first use after each change of runner.
    QLabIntegration& bridge() {
        if (!m_bridge) {
            m_bridge = std::make_unique<QLabIntegration>(m_runner, broadcaster, settings);
            m_bridge->setCueInfos(m_catalogue);
        }
        return *m_bridge;
    }
    // The bridge is made again over runner (none: every script counts as one that cannot be
    // created); the stored catalogue carries over, as it would in QLab's absence.
    void useRunner(std::shared_ptr<ScriptRunner> runner) {
        if (m_bridge)
            m_catalogue = m_bridge->cueInfos();
        m_runner = std::move(runner);
        m_bridge.reset();
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
    RecordingBroadcaster broadcaster{sent};
    std::vector<std::string> lines;
    std::mutex linesMutex;
    ScopedLineObserver observer{[this](const std::string& line) {
        std::lock_guard lock(linesMutex);
        lines.push_back(line);
    }};

private:
    qsizetype m_consoleStart = 0;
    std::shared_ptr<ScriptRunner> m_runner;
    std::unique_ptr<QLabIntegration> m_bridge;
    QList<CueInfo> m_catalogue;
};

} // namespace carvo::testing
