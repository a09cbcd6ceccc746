#pragma once
// The workspace file of the simulated QLab: whether QLab runs, its workspaces (the first is the
// front one), their cues as a tree, the selection and the answers to the bar dialog.

#include <deque>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace carvo::sim {

struct Cue {
    QString uniqueID;
    QString number;
    QString name;
    QString type; // QLab's type names: "Group", "MIDI File", "Memo", "Audio", "Script", …
    QString notes;
    QString fileTarget; // absolute once loaded; empty when the cue has no target
    QString scriptSource;
    double duration = 600.0; // seconds a started cue runs
    std::vector<Cue> children;

    // Playback, driven by the simulation's clock.
    double loadedTime = 0.0;
    std::optional<double> startedAt;
    double startPosition = 0.0;
};

struct Workspace {
    QString name;
    QStringList selected; // unique IDs; the last one is the one the jump script takes
    std::deque<std::optional<QString>> dialogAnswers; // none presses Cancel
    std::vector<Cue> cues;
};

struct WorkspaceFile {
    bool running = true;
    std::vector<Workspace> workspaces;
};

// Reads the JSON text; relative file targets are resolved against baseFolder. On a malformed
// file, none and a reason naming the offending key.
std::optional<WorkspaceFile> parseWorkspace(const QByteArray& json, const QString& baseFolder,
                                            QString* problem = nullptr);
std::optional<WorkspaceFile> loadWorkspaceFile(const QString& path, QString* problem = nullptr);

} // namespace carvo::sim
