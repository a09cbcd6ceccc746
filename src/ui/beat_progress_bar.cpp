#include "ui/beat_progress_bar.h"

#include <algorithm>
#include <cmath>

#include <QPainter>
#include <QPainterPath>

namespace carvo::ui {

QList<QRectF> capsuleRects(QSizeF size, int count, qreal spacing) {
    QList<QRectF> rects;
    if (count < 1)
        return rects;
    const qreal width = (size.width() - spacing * (count - 1)) / count;
    if (!(width > 0) || !(size.height() > 0))
        return rects;
    for (int i = 0; i < count; ++i)
        rects.append(QRectF(i * (width + spacing), 0, width, size.height()));
    return rects;
}

BeatProgressBar::BeatProgressBar(QQuickItem* parent) : QQuickPaintedItem(parent) {
    setAntialiasing(true);
}

void BeatProgressBar::setBeatsPerBar(int value) {
    if (value == m_beatsPerBar)
        return;
    m_beatsPerBar = value;
    emit beatsPerBarChanged();
    update();
}

void BeatProgressBar::setBarProgress(double value) {
    if (value == m_barProgress)
        return;
    m_barProgress = value;
    emit barProgressChanged();
    update();
}

void BeatProgressBar::setBackColour(const QColor& value) {
    if (value == m_backColour)
        return;
    m_backColour = value;
    emit backColourChanged();
    update();
}

void BeatProgressBar::setFrontColor(const QColor& value) {
    if (value == m_frontColor)
        return;
    m_frontColor = value;
    emit frontColorChanged();
    update();
}

void BeatProgressBar::paint(QPainter* painter) {
    const QList<QRectF> capsules = capsuleRects(size(), m_beatsPerBar, capsuleSpacing);
    if (capsules.isEmpty())
        return;
    painter->setRenderHint(QPainter::Antialiasing);

    QPainterPath row;
    for (const QRectF& capsule : capsules) {
        const qreal radius = std::min(capsule.width(), capsule.height()) / 2;
        row.addRoundedRect(capsule, radius, radius);
    }
    painter->fillPath(row, m_backColour);

    // A late tick can report more than a whole bar, and a bad value none at all: the fill stays
    // within the bar.
    const double progress = std::isfinite(m_barProgress) ? std::clamp(m_barProgress, 0.0, 1.0) : 0;
    if (progress > 0) {
        painter->save();
        painter->setClipPath(row);
        painter->fillRect(QRectF(0, 0, width() * progress, height()), m_frontColor);
        painter->restore();
    }

    // Outlines 1 wide, drawn inside each capsule's edge.
    painter->setPen(QPen(Qt::gray, 1));
    painter->setBrush(Qt::NoBrush);
    for (const QRectF& capsule : capsules) {
        const QRectF inner = capsule.adjusted(0.5, 0.5, -0.5, -0.5);
        const qreal radius = std::min(inner.width(), inner.height()) / 2;
        painter->drawRoundedRect(inner, radius, radius);
    }
}

} // namespace carvo::ui
