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
    // A Network cue's message and the network patch it goes through.
    QString customString;
    int networkPatchNumber = 1;
    QString networkPatchName;
    double duration = 600.0; // seconds a started cue runs
    std::vector<Cue> children;

    // Playback, driven by the simulation's clock.
    double loadedTime = 0.0;
    std::optional<double> startedAt;
    double startPosition = 0.0;
};

struct Workspace {
    QString name;
    QString uniqueID; // QLab's workspace ID, as OSC addresses it; derived from the name if absent
    QString passcode; // empty: OSC clients need not connect with one
    // What the passcode grants, QLab's rights joined by "|": "view", "edit", "control".
    QString passcodeRights = QStringLiteral("view|edit|control");
    QStringList selected; // unique IDs; the last one is the one the jump script takes
    // How a "/cue/selected/…" question is answered when several cues are selected (QLab does
    // not document it): one reply per selected cue, or one reply holding a list.
    enum class SelectedReplies { each, list };
    SelectedReplies selectedReplies = SelectedReplies::each;
    std::deque<std::optional<QString>> dialogAnswers; // none presses Cancel
    std::vector<Cue> cues;
};

// The kinds of script Carvo sends, as the knobs that make QLab slow name them.
enum class ScriptKind {
    status,    // is QLab running with a workspace and the Carvo cue
    catalogue, // the usable group cues
    files,     // the group, its tempo description and the bar (the jump's first script)
    running,   // is a cue running (the bar counter asks at every tick)
    elapsed,   // has a cue's action run for more than a second
    load,      // load a cue at a time and start it
    panic,
    message,   // a refusal's dialog
    scriptCue, // make the Carvo cue or a chase cue
};
std::optional<ScriptKind> scriptKindNamed(const QString& name);
QString scriptKindName(ScriptKind kind);

// Answers that do not come: scripts of one kind (for one cue when cueID is set) answer only
// after `seconds`, or never while the hang stays in the model.
struct Hang {
    ScriptKind kind = ScriptKind::running;
    QString cueID;
    std::optional<double> seconds;
};
// "KIND", "KIND:CUE_ID", either followed by "@SECONDS"; none with a reason otherwise.
std::optional<Hang> parseHang(const QString& text, QString* problem = nullptr);

struct WorkspaceFile {
    bool running = true;
    // Each script's answer comes this much later, as QLab's AppleScript answers do.
    double latencyMs = 0.0;
    std::optional<Hang> hang;
    // QLab's filter of repeated OSC messages: a message identical to the one before it from the
    // same client, arriving within this many milliseconds of it (real time), is dropped. 0 is
    // off.
    double duplicateWindowMs = 0.0;
    // Every other message whose address contains `address` is taken this many milliseconds late
    // (its arrival, effect and reply), and those behind it on its connection with it: the
    // uneven way of a loaded machine or network.
    struct Jitter {
        double ms = 0.0;
        QString address;
    };
    std::optional<Jitter> jitter;
    std::vector<Workspace> workspaces;
};

// Playback on the simulation's clock (seconds). A started cue runs until its action reaches its
// duration; then it is stopped and unloaded.
void settle(Cue& cue, double now);
bool isPlaying(Cue& cue, double now);
// The position while running, the loaded position otherwise.
double actionElapsed(Cue& cue, double now);
// Loads the cue at a time; a playing cue jumps there (and ends if that is past its end).
void loadAt(Cue& cue, double time, double now);
// Starts a cue that is not playing from its loaded position.
void start(Cue& cue, double now);
// Stops and unloads at once (QLab's stop and panic; fades are not modelled).
void stop(Cue& cue);

// The cue with that unique ID at any depth (compared ignoring case, as AppleScript does).
Cue* findCue(std::vector<Cue>& cues, const QString& uniqueID);

// Reads the JSON text; relative file targets are resolved against baseFolder. On a malformed
// file, none and a reason naming the offending key.
std::optional<WorkspaceFile> parseWorkspace(const QByteArray& json, const QString& baseFolder,
                                            QString* problem = nullptr);
std::optional<WorkspaceFile> loadWorkspaceFile(const QString& path, QString* problem = nullptr);

} // namespace carvo::sim
