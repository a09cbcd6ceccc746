#pragma once
// A runner that keeps a transcript: every script run through it is appended to a file, its text
// first, then its result or its error. It wraps whichever runner does the work.

#include <memory>
#include <mutex>

#include <QString>

#include "qlab/script_runner.h"

namespace carvo {

class ScriptLogRunner : public ScriptRunner {
public:
    ScriptLogRunner(std::shared_ptr<ScriptRunner> inner, QString transcriptPath);

    bool canCreate(const QString& source) override { return m_inner->canCreate(source); }
    ScriptOutcome run(const QString& source) override;
    bool isApplicationRunning(const QString& bundleIdentifier) override {
        return m_inner->isApplicationRunning(bundleIdentifier);
    }

    const std::shared_ptr<ScriptRunner>& inner() const { return m_inner; }

    // One transcript entry; runs that end at once on several threads never interleave.
    static QString entry(const QString& source, const ScriptOutcome& outcome);

private:
    void append(const QString& text);

    std::shared_ptr<ScriptRunner> m_inner;
    QString m_path;
    std::mutex m_mutex;
    bool m_reportedFailure = false;
};

} // namespace carvo
