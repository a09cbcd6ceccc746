#pragma once
// The typed models the views bind to. The application fills them from its engine objects
// through adapters of its own; tests fill them by hand. Each property says when it changes, so a
// binding to a misspelt property fails when the QML is compiled, not silently at run time.

#include <QColor>
#include <QObject>
#include <QString>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

namespace carvo::ui {

// The bar counter as the main window shows it: its text and the beat progress bar's colours.
class CounterModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Filled by the application")
    Q_PROPERTY(QString barText READ barText NOTIFY barTextChanged FINAL)
    Q_PROPERTY(QColor backColour READ backColour NOTIFY coloursChanged FINAL)
    Q_PROPERTY(QColor frontColor READ frontColor NOTIFY coloursChanged FINAL)

public:
    explicit CounterModel(QObject* parent = nullptr) : QObject(parent) {}

    QString barText() const { return m_barText; }
    void setBarText(const QString& text);
    QColor backColour() const { return m_backColour; }
    QColor frontColor() const { return m_frontColor; }
    void setColours(const QColor& back, const QColor& front);

signals:
    void barTextChanged();
    void coloursChanged();

private:
    QString m_barText = QStringLiteral("1.1");
    QColor m_backColour = QColor::fromRgbF(0.5F, 0.0F, 0.0F);
    QColor m_frontColor = QColor::fromRgbF(0.0F, 0.0F, 0.5F);
};

// Where the show stands: the cue the counter follows, its position and its phase. The window
// reads it; it changes as a whole, with one signal.
class ShowStateModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Filled by the application")
    Q_PROPERTY(QString cueID READ cueID NOTIFY changed FINAL)
    Q_PROPERTY(QString cueName READ cueName NOTIFY changed FINAL)
    Q_PROPERTY(qint64 bar READ bar NOTIFY changed FINAL)
    Q_PROPERTY(qint64 beat READ beat NOTIFY changed FINAL)
    Q_PROPERTY(double progress READ progress NOTIFY changed FINAL)
    Q_PROPERTY(int beatsPerBar READ beatsPerBar NOTIFY changed FINAL)
    Q_PROPERTY(Phase phase READ phase NOTIFY changed FINAL)

public:
    enum class Phase { Idle, Running, Standby, Stopped, QLabNotAnswering };
    Q_ENUM(Phase)

    struct Value {
        QString cueID;
        QString cueName;
        qint64 bar = 1;
        qint64 beat = 1;
        double progress = 0.0;
        int beatsPerBar = 4;
        Phase phase = Phase::Idle;
        friend bool operator==(const Value&, const Value&) = default;
    };

    explicit ShowStateModel(QObject* parent = nullptr) : QObject(parent) {}

    const Value& value() const { return m_value; }
    // Emits changed when value differs from the one held.
    void setValue(const Value& value);

    QString cueID() const { return m_value.cueID; }
    QString cueName() const { return m_value.cueName; }
    qint64 bar() const { return m_value.bar; }
    qint64 beat() const { return m_value.beat; }
    double progress() const { return m_value.progress; }
    int beatsPerBar() const { return m_value.beatsPerBar; }
    Phase phase() const { return m_value.phase; }

signals:
    void changed();

private:
    Value m_value;
};

// QLab as the views see it: the group cue that remote and chase requests address, and the
// states the status check answers.
class QLabModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Filled by the application")
    Q_PROPERTY(QString selectedCue READ selectedCue NOTIFY selectedCueChanged FINAL)

public:
    enum class Status {
        NotRunning,
        RunningNoWorkspace,
        RunningWithWorkspace,
        RunningWithCarvoCue,
        WaitingToCheck,
    };
    Q_ENUM(Status)

    explicit QLabModel(QObject* parent = nullptr) : QObject(parent) {}

    QString selectedCue() const { return m_selectedCue; }
    void setSelectedCue(const QString& cueID);

signals:
    void selectedCueChanged();

private:
    QString m_selectedCue;
};

// The display text of each of QLab's states.
QString qlabStatusText(QLabModel::Status status);

// The remote server as the views see it: the network interfaces it may listen on, one map each
// with "id", "name", "type" and "ipAddress".
class ServerModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Filled by the application")
    Q_PROPERTY(QVariantList interfaces READ interfaces NOTIFY interfacesChanged FINAL)
    Q_PROPERTY(QString displayAddress READ displayAddress NOTIFY displayChanged FINAL)
    Q_PROPERTY(bool displayControl READ displayControl NOTIFY displayChanged FINAL)

public:
    explicit ServerModel(QObject* parent = nullptr) : QObject(parent) {}

    QVariantList interfaces() const { return m_interfaces; }
    void setInterfaces(const QVariantList& interfaces);

    // The stage display's address ("http://…/"), empty while it does not listen; whether its
    // control page is on (a PIN is set).
    QString displayAddress() const { return m_displayAddress; }
    bool displayControl() const { return m_displayControl; }
    void setDisplay(const QString& address, bool control);

signals:
    void interfacesChanged();
    void displayChanged();

private:
    QVariantList m_interfaces;
    QString m_displayAddress;
    bool m_displayControl = false;
};

} // namespace carvo::ui
