#pragma once
// What the views call and read: the go action, the cue list action, the settings sheet's
// actions and options, and the interface picker. The views themselves hold no business logic.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantList>
#include <QWindow>
#include <QtQml/qqmlregistration.h>

#include "ui/ui_services.h"

namespace carvo::ui {

// "type – name – ipAddress" (blank, EN DASH, blank between the parts).
QString interfaceLabel(const QVariantMap& interfaceInfo);

class UIBridge : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Made by the views")
    Q_PROPERTY(carvo::ui::CounterModel* counter READ counter CONSTANT FINAL)
    Q_PROPERTY(carvo::ui::ShowStateModel* showState READ showState CONSTANT FINAL)
    Q_PROPERTY(carvo::ui::ServerModel* server READ server CONSTANT FINAL)
    Q_PROPERTY(QString logText READ logText NOTIFY logTextChanged FINAL)
    Q_PROPERTY(QString version READ version CONSTANT FINAL)
    Q_PROPERTY(bool floating READ floating WRITE setFloating NOTIFY floatingChanged FINAL)
    Q_PROPERTY(bool standby READ standby WRITE setStandby NOTIFY standbyChanged FINAL)
    Q_PROPERTY(
        int preRollBars READ preRollBars WRITE setPreRollBars NOTIFY preRollBarsChanged FINAL)
    Q_PROPERTY(QString oscPositionTargets READ oscPositionTargets WRITE setOSCPositionTargets NOTIFY
                   oscPositionTargetsChanged FINAL)
    Q_PROPERTY(QString storedInterfaceName READ storedInterfaceName WRITE setStoredInterfaceName
                   NOTIFY storedInterfaceNameChanged FINAL)
    Q_PROPERTY(
        QVariantList interfaceChoices READ interfaceChoices NOTIFY interfaceChoicesChanged FINAL)
    Q_PROPERTY(QVariantList cueListRows READ cueListRows NOTIFY cueListRowsChanged FINAL)

public:
    // The most bars a pre-roll counts in, and the keys of the pre-roll and of the position for
    // lighting desks (the application reads them too).
    static constexpr int maxPreRollBars = 4;
    static constexpr char preRollBarsKey[] = "preRollBars";               // 0 when absent
    static constexpr char oscPositionTargetsKey[] = "oscPositionTargets"; // "host:port" entries

    // services.settings must be set: the bridge reads and writes the sheet's settings there.
    explicit UIBridge(UIServices services, QObject* parent = nullptr);

    CounterModel* counter() const { return m_services.counter; }
    ShowStateModel* showState() const { return m_services.showState; }
    ServerModel* server() const { return m_services.server; }
    // The console's running log.
    QString logText() const;
    QString version() const { return m_services.version; }

    // The settings, read from the store each time and written the moment they change.
    bool floating() const;
    void setFloating(bool value);
    bool standby() const;
    void setStandby(bool value);
    // Bars counted in before the bar of a jump, 0 to 4; read at each jump.
    int preRollBars() const;
    void setPreRollBars(int value);
    // Where the position goes over OSC ("host:port" entries); read at the next start.
    QString oscPositionTargets() const;
    void setOSCPositionTargets(const QString& value);
    QString storedInterfaceName() const;
    // Choosing another interface that the server lists restarts the server on it.
    void setStoredInterfaceName(const QString& name);

    // One map per entry of the server's interfaces: "id", "label" and "value" (the name).
    QVariantList interfaceChoices() const { return m_interfaceChoices; }
    // The cue list window's rows: "id", "name" and "current" (its id is the selected cue's).
    QVariantList cueListRows() const { return m_cueListRows; }

    // The window whose level follows "floating": the application's first window.
    void setMainWindow(QWindow* window);

    // The bar counter was clicked: refuse with an alert unless QLab has a workspace open.
    Q_INVOKABLE void go();
    // The "Cue List" button: refresh the catalogue, then show the one cue list window.
    Q_INVOKABLE void openCueList();
    Q_INVOKABLE carvo::ui::QLabModel::Status checkQLabStatus();
    // The text the settings sheet shows for a status.
    Q_INVOKABLE static QString qlabStatusText(carvo::ui::QLabModel::Status status);
    Q_INVOKABLE void resetCarvoCue();
    Q_INVOKABLE void makeChaseCue();
    Q_INVOKABLE void resendCues();
    Q_INVOKABLE void refreshInterfaces();
    // Applies "floating" as it stands now to the main window (stay on top or normal).
    Q_INVOKABLE void applyWindowLevel();
    // Reads the catalogue again; the cue list window is rebuilt when created and when the
    // selected cue changes, not when the catalogue alone changes.
    Q_INVOKABLE void rebuildCueList();
    // The road to QLab over OSC, as text: "qlabHost", "qlabPort", "qlabPasscode" and
    // "mediaPathMap" (any other key reads empty and is never written). Read at the next start.
    Q_INVOKABLE QString qlabRoadSetting(const QString& key) const;
    Q_INVOKABLE void setQLabRoadSetting(const QString& key, const QString& value);
    // The QLab machines found on the network: one map each of "label" ("name – host:port"),
    // "host" and "port" (as text).
    Q_INVOKABLE QVariantList qlabMachines() const;

signals:
    void logTextChanged();
    void floatingChanged();
    void standbyChanged();
    void preRollBarsChanged();
    void oscPositionTargetsChanged();
    void storedInterfaceNameChanged();
    void interfaceChoicesChanged();
    void cueListRowsChanged();
    // The views show a warning alert with this message and one "OK" button.
    void alertRequested(const QString& message);
    // The views show the cue list window (creating it if there is none).
    void cueListWindowRequested();

private:
    void readInterfaceChoices();
    const char* qlabRoadKey(const QString& key) const;

    UIServices m_services;
    Settings& m_settings;
    // Stand in for the models the caller left out.
    CounterModel m_ownCounter;
    ShowStateModel m_ownShowState;
    QLabModel m_ownQLab;
    ServerModel m_ownServer;
    QVariantList m_interfaceChoices;
    QVariantList m_cueListRows;
    QPointer<QWindow> m_mainWindow;
    quint64 m_restarts = 0; // interface picks; only the latest one's restart runs
};

} // namespace carvo::ui
