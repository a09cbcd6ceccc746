#pragma once
// How far the current bar has gone, its beats and the two colours of the progress bar.

#include <QColor>
#include <QObject>

namespace carvo {

class BeatProgressModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(double barProgress READ barProgress WRITE setBarProgress NOTIFY barProgressChanged)
    Q_PROPERTY(qint64 beatsPerBar READ beatsPerBar WRITE setBeatsPerBar NOTIFY beatsPerBarChanged)
    Q_PROPERTY(double barDuration READ barDuration WRITE setBarDuration NOTIFY barDurationChanged)
    Q_PROPERTY(QColor backColour READ backColour WRITE setBackColour NOTIFY backColourChanged)
    Q_PROPERTY(QColor frontColor READ frontColor WRITE setFrontColor NOTIFY frontColorChanged)

public:
    // Main thread only.
    explicit BeatProgressModel(QObject* parent = nullptr) : QObject(parent) {}

    double barProgress() const { return m_barProgress; }
    qint64 beatsPerBar() const { return m_beatsPerBar; }
    double barDuration() const { return m_barDuration; }
    QColor backColour() const { return m_backColour; }
    QColor frontColor() const { return m_frontColor; }

    void setBarProgress(double value);
    void setBeatsPerBar(qint64 value);
    void setBarDuration(double value);
    void setBackColour(const QColor& value);
    void setFrontColor(const QColor& value);

    static QColor red() { return QColor::fromRgbF(0.5F, 0.0F, 0.0F, 1.0F); }
    static QColor blue() { return QColor::fromRgbF(0.0F, 0.0F, 0.5F, 1.0F); }

signals:
    void barProgressChanged();
    void beatsPerBarChanged();
    void barDurationChanged();
    void backColourChanged();
    void frontColorChanged();

private:
    double m_barProgress = 0.0;
    qint64 m_beatsPerBar = 4;
    double m_barDuration = 2.0;
    QColor m_backColour = red();
    QColor m_frontColor = blue();
};

} // namespace carvo
