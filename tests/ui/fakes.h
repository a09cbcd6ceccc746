#pragma once
// Stand-ins with the property names of the shared objects the views bind to, and a UiServices
// whose operations record their calls.

#include <chrono>
#include <functional>

#include <QColor>
#include <QObject>
#include <QStringList>
#include <QVariantList>

#include "ui/ui_services.h"

namespace carvo::ui::testing {

class FakeCounterManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString barCounter MEMBER barCounter NOTIFY barCounterChanged)
    Q_PROPERTY(qint64 lastBarTriggered MEMBER lastBarTriggered NOTIFY lastBarTriggeredChanged)
public:
    QString barCounter = QStringLiteral("1.1");
    qint64 lastBarTriggered = 1;
signals:
    void barCounterChanged();
    void lastBarTriggeredChanged();
};

class FakeProgressModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(double barProgress MEMBER barProgress NOTIFY changed)
    Q_PROPERTY(int beatsPerBar MEMBER beatsPerBar NOTIFY changed)
    Q_PROPERTY(QColor backColour MEMBER backColour NOTIFY changed)
    Q_PROPERTY(QColor frontColor MEMBER frontColor NOTIFY changed)
public:
    double barProgress = 0;
    int beatsPerBar = 4;
    QColor backColour = QColor::fromRgbF(0.5f, 0, 0);
    QColor frontColor = QColor::fromRgbF(0, 0, 0.5f);
signals:
    void changed();
};

class FakeQLab : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString uniqueID MEMBER uniqueID NOTIFY uniqueIDChanged)
public:
    QString uniqueID;
signals:
    void uniqueIDChanged();
};

class FakeServer : public QObject {
    Q_OBJECT
    Q_PROPERTY(QVariantList interfaces MEMBER interfaces NOTIFY interfacesChanged)
public:
    QVariantList interfaces;
signals:
    void interfacesChanged();
};

// Everything the views can call, recorded; the QLab status answers in turn from a script.
struct Recorder {
    FakeCounterManager counter;
    FakeProgressModel progress;
    FakeQLab qlab;
    FakeServer server;
    QStringList statusAnswers; // one per check; the last one repeats
    int statusChecks = 0;
    QStringList calls;
    QList<CueRow> catalogue;
    QList<QLabMachine> qlabMachines; // what a DNS-SD browse has found
    std::chrono::milliseconds scheduledDelay{-1};
    std::function<void()> scheduled;

    UiServices services();
};

} // namespace carvo::ui::testing
