#include "engine/beat_progress_model.h"

#include <cmath>

namespace carvo {

void BeatProgressModel::setBarProgress(double value) {
    // A NaN never equals itself; without the second test every NaN tick would notify again.
    if (value == m_barProgress || (std::isnan(value) && std::isnan(m_barProgress)))
        return;
    m_barProgress = value;
    emit barProgressChanged();
}

void BeatProgressModel::setBeatsPerBar(qint64 value) {
    if (value == m_beatsPerBar)
        return;
    m_beatsPerBar = value;
    emit beatsPerBarChanged();
}

void BeatProgressModel::setBarDuration(double value) {
    if (value == m_barDuration)
        return;
    m_barDuration = value;
    emit barDurationChanged();
}

void BeatProgressModel::setBackColour(const QColor& value) {
    if (value == m_backColour)
        return;
    m_backColour = value;
    emit backColourChanged();
}

void BeatProgressModel::setFrontColor(const QColor& value) {
    if (value == m_frontColor)
        return;
    m_frontColor = value;
    emit frontColorChanged();
}

} // namespace carvo
