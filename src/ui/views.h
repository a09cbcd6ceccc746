#pragma once
// The application's windows: the main window, built once, and the cue list window, of which
// at most one exists and which is made anew after the operator closes it.

#include <memory>
#include <optional>

#include <QObject>
#include <QPointer>
#include <QQuickWindow>
#include <QtQml/qqmlregistration.h>

#include "ui/ui_bridge.h"

class QQmlEngine;

namespace carvo::ui {

// Receives one dialog's answer and ends the wait for it.
class DialogWaiter : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Made by the views for each dialog")
public:
    std::optional<QString> answered;
    // The dialog's OK (accepted, with the field's text) or Cancel.
    Q_INVOKABLE void answer(bool accepted, const QString& text);
signals:
    void done();
};

class Views : public QObject {
    Q_OBJECT

public:
    explicit Views(UIServices services, QObject* parent = nullptr);
    ~Views() override;

    UIBridge& bridge() { return *m_bridge; }
    QQmlEngine& engine() { return *m_engine; }

    // Builds the main window with "floating" as it stands now, and shows it.
    QQuickWindow* showMainWindow();
    // The open cue list window, or none.
    QQuickWindow* cueListWindow() const { return m_cueListWindow; }

    // Shows a dialog of QLab's as a window of the application and waits, running the event
    // loop, until the operator answers: the field's text (empty without a field) for OK, none
    // for Cancel or closing. Callable from any thread; the window lives on the main thread.
    std::optional<QString> askInDialog(const QString& title, const QString& message,
                                       const std::optional<QString>& defaultAnswer);

signals:
    // The operator closed the main window.
    void mainWindowClosed();

private:
    void showCueListWindow();
    void forgetCueListWindow(QQuickWindow* window);

    QQuickWindow* create(const char* file, QVariantMap properties = {});

    std::unique_ptr<QQmlEngine> m_engine;
    std::unique_ptr<UIBridge> m_bridge;
    QPointer<QQuickWindow> m_mainWindow;
    QPointer<QQuickWindow> m_cueListWindow;
};

// Registers the module's own types once per process; Views does this itself.
void registerQMLTypes();

} // namespace carvo::ui
