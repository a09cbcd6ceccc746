#include "platform/macos/apple_event_receiver.h"

#include "base/diagnostics.h"
#include "base/text.h"
#include "qlab/scripting_commands.h"

namespace carvo::macos {
namespace {

// Cocoa creates the command objects itself and knows nothing of ours; they reach the
// receiver through this one pointer, set and read on the main thread only.
ScriptingCommands* receiving = nullptr;

} // namespace

AppleEventReceiver::AppleEventReceiver(ScriptingCommands& commands) {
    receiving = &commands;
}

AppleEventReceiver::~AppleEventReceiver() {
    receiving = nullptr;
}

QVariantMap chaseArguments(const ChaseCueId& cueId) {
    switch (cueId.kind) {
    case ChaseCueId::Kind::absent:
        return {};
    case ChaseCueId::Kind::text:
        return {{QStringLiteral("cueId"), fromUtf8(cueId.text)}};
    case ChaseCueId::Kind::other:
        break;
    }
    return {{QStringLiteral("cueId"), QVariant()}};
}

void deliverGo(std::function<void(const std::string& answer)> answer) {
    if (!receiving) {
        // Start-up has not finished, or the process is ending: the sender still hears back.
        writeLine(QStringLiteral("run Carvo arrived while Carvo cannot jump"));
        if (answer)
            answer("Carvo!");
        return;
    }
    receiving->go([answer = std::move(answer)](const QString& text) {
        if (answer)
            answer(toUtf8(text));
    });
}

void deliverChase(const ChaseCueId& cueId) {
    if (!receiving) {
        writeLine(QStringLiteral("chase Carvo arrived while Carvo cannot jump"));
        return;
    }
    receiving->chase(chaseArguments(cueId));
}

void reportCommandFailure(const char* command, const char* what) noexcept {
    try {
        writeLine(QString::fromUtf8(command) + QStringLiteral(" failed: ") +
                  QString::fromUtf8(what));
    } catch (...) {
        // Nothing left to report with; the command still returns to Cocoa.
    }
}

} // namespace carvo::macos
