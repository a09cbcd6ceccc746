#pragma once
// The beat progress bar: a row of capsules, one per beat, filled with the back colour, the
// front colour laid over them up to the bar's progress, and grey outlines.

#include <QColor>
#include <QList>
#include <QQuickPaintedItem>
#include <QRectF>
#include <QtQml/qqmlregistration.h>

namespace carvo::ui {

// count capsules of equal width, spacing apart, filling size; none for a count below 1 or
// when they would have no width.
QList<QRectF> capsuleRects(QSizeF size, int count, qreal spacing);

class BeatProgressBar : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(int beatsPerBar READ beatsPerBar WRITE setBeatsPerBar NOTIFY beatsPerBarChanged)
    Q_PROPERTY(double barProgress READ barProgress WRITE setBarProgress NOTIFY barProgressChanged)
    Q_PROPERTY(QColor backColour READ backColour WRITE setBackColour NOTIFY backColourChanged)
    Q_PROPERTY(QColor frontColor READ frontColor WRITE setFrontColor NOTIFY frontColorChanged)

public:
    static constexpr qreal capsuleSpacing = 4;

    explicit BeatProgressBar(QQuickItem* parent = nullptr);

    int beatsPerBar() const { return m_beatsPerBar; }
    void setBeatsPerBar(int value);
    double barProgress() const { return m_barProgress; }
    void setBarProgress(double value);
    QColor backColour() const { return m_backColour; }
    void setBackColour(const QColor& value);
    QColor frontColor() const { return m_frontColor; }
    void setFrontColor(const QColor& value);

    void paint(QPainter* painter) override;

signals:
    void beatsPerBarChanged();
    void barProgressChanged();
    void backColourChanged();
    void frontColorChanged();

private:
    int m_beatsPerBar = 0;
    double m_barProgress = 0;
    QColor m_backColour;
    QColor m_frontColor;
};

} // namespace carvo::ui
