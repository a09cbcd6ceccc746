#pragma once
// The simulated QLab's OSC methods: what each address does to the workspace model and what it
// answers, as tables of address patterns and their handlers. The transport beside it
// (sim/osc_server) frames, delays, filters and holds the messages, and sends the replies.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include <QJsonValue>
#include <QString>
#include <QStringList>

#include "qlab/osc/osc.h"
#include "qlab/sim/simulated_qlab.h"

namespace carvo::sim {

// What one connection has told the simulated QLab so far.
struct OSCSession {
    bool alwaysReply = false;
    // Workspace IDs this connection gave the passcode for, with the rights it was granted.
    std::map<QString, QStringList> connected;
    // Workspaces this connection asked for updates from, with what it was last told of them.
    std::map<QString, std::map<QString, QString>> watched;
};

// One reply, sent back as "/reply" + the message's address.
struct OSCReply {
    QString workspaceID; // empty for the application's own methods
    QString status;      // "ok", "error" or "denied"
    std::optional<QJsonValue> data;
};

class OSCMethods {
public:
    explicit OSCMethods(SimulatedQLab& qlab);

    // Runs the message on the model, as the session may; the replies, in order (none where QLab
    // stays silent: alwaysReply off and a method that returns no data).
    std::vector<OSCReply> answer(OSCSession& session, const osc::Message& message) const;

    // The kind of AppleScript the message stands in for and the cue it names (its unique ID),
    // so the model's hang holds it as it holds the script; none for other messages.
    struct Hold {
        ScriptKind kind;
        QString cueID;
    };
    std::optional<Hold> holdOf(const osc::Message& message) const;

    // The update messages' addresses a watching session is owed since it was last told: a cue
    // that changed, or the workspace when its cues came or went.
    std::vector<std::string> updates(OSCSession& session) const;

private:
    SimulatedQLab& m_qlab;
};

} // namespace carvo::sim
