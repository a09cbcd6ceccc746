#pragma once
// The application's windows: the main window, built once, and the cue list window, of which
// at most one exists and which is made anew after the operator closes it.

#include <memory>

#include <QObject>
#include <QPointer>
#include <QQuickWindow>

#include "ui/ui_bridge.h"

class QQmlEngine;

namespace carvo::ui {

class Views : public QObject {
    Q_OBJECT

public:
    explicit Views(UiServices services, QObject* parent = nullptr);
    ~Views() override;

    UiBridge& bridge() { return *m_bridge; }
    QQmlEngine& engine() { return *m_engine; }

    // Builds the main window with "floating" as it stands now, and shows it.
    QQuickWindow* showMainWindow();
    QQuickWindow* mainWindow() const { return m_mainWindow; }
    // The open cue list window, or none.
    QQuickWindow* cueListWindow() const { return m_cueListWindow; }

signals:
    // The operator closed the main window.
    void mainWindowClosed();

private slots:
    void showCueListWindow();
    void forgetCueListWindow();

private:
    QQuickWindow* create(const char* file);

    std::unique_ptr<QQmlEngine> m_engine;
    std::unique_ptr<UiBridge> m_bridge;
    QPointer<QQuickWindow> m_mainWindow;
    QPointer<QQuickWindow> m_cueListWindow;
};

// Registers the module's own types once per process; Views does this itself.
void registerQmlTypes();

} // namespace carvo::ui
