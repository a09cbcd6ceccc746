#pragma once
// A dialog QLab (or Carvo in its place) shows the operator, and who answers it: the window's own
// dialog, scripted answers in tests, or the default answer when there is no window.

#include <optional>

#include <QString>

namespace carvo {

// The bar dialog has a default answer and a text field; a message has neither.
struct DialogRequest {
    QString text;
    QString title;
    std::optional<QString> defaultAnswer;
};

// Answers dialogs: the text typed and OK (empty when there is no text field), or none for Cancel.
class DialogResponder {
public:
    virtual ~DialogResponder() = default;
    virtual std::optional<QString> respond(const DialogRequest& request) = 0;
};

// Without a window: OK with whatever the dialog proposes.
class DefaultAnswerResponder : public DialogResponder {
public:
    std::optional<QString> respond(const DialogRequest& request) override {
        return request.defaultAnswer.value_or(QString());
    }
};

} // namespace carvo
