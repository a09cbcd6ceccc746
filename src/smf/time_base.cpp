#include "smf/time_base.h"
#include "smf/delta_time.h"

namespace carvo::smf {

std::string description(Format format) {
    switch (format) {
    case Format::singleTrack:
        return "Type 0 (single track)";
    case Format::multipleTracksSynchronous:
        return "Type 1 (multiple tracks synchronous)";
    case Format::multipleTracksAsynchronous:
        return "Type 2 (multiple tracks asynchronous)";
    }
    return "Type " + std::to_string(static_cast<unsigned>(format));
}

std::string debugDescription(Format format) {
    return "Format(" + description(format) + ")";
}

std::optional<FrameRate> frameRateFromRaw(std::uint8_t raw) {
    switch (raw) {
    case static_cast<std::uint8_t>(FrameRate::fps24):
    case static_cast<std::uint8_t>(FrameRate::fps25):
    case static_cast<std::uint8_t>(FrameRate::fps29_97d):
    case static_cast<std::uint8_t>(FrameRate::fps30):
        return static_cast<FrameRate>(raw);
    default:
        return std::nullopt;
    }
}

std::string description(FrameRate rate) {
    switch (rate) {
    case FrameRate::fps24:
        return "24fps";
    case FrameRate::fps25:
        return "25fps";
    case FrameRate::fps29_97d:
        return "29.97dfps";
    case FrameRate::fps30:
        return "30fps";
    }
    return "?fps";
}

std::string debugDescription(FrameRate rate) {
    return "FrameRate(" + description(rate) + ")";
}

std::string TimeBase::description() const {
    if (musical_)
        return "Musical: " + std::to_string(ticksPerQuarter_) + " ticks per quarter";
    return "Timecode: " + smf::description(frameRate_) + " " + std::to_string(ticksPerFrame_) +
           " ticks per frame";
}

std::string TimeBase::debugDescription() const {
    return "timeBase(" + description() + ")";
}

std::optional<std::uint32_t> DeltaTime::ticksValue(TimeBase timeBase) const {
    if (!timeBase.isMusical())
        return std::nullopt;
    const std::uint32_t quarter = timeBase.ticksPerQuarterNote();
    switch (kind_) {
    case Case::ticks:
        return tickCount();
    case Case::none:
        return 0;
    case Case::noteWhole:
        return quarter << 2;
    case Case::noteHalf:
        return quarter << 1;
    case Case::noteQuarter:
        return quarter;
    case Case::note8th:
        return quarter >> 1;
    case Case::note16th:
        return quarter >> 2;
    case Case::note32nd:
        return quarter >> 3;
    case Case::note64th:
        return quarter >> 4;
    case Case::note128th:
        return quarter >> 5;
    case Case::note256th:
        return quarter >> 6;
    }
    return std::nullopt;
}

std::string DeltaTime::description() const {
    switch (kind_) {
    case Case::ticks:
        return "ticks:" + std::to_string(tickCount());
    case Case::none:
        return "none";
    case Case::noteWhole:
        return "whole note";
    case Case::noteHalf:
        return "half note";
    case Case::noteQuarter:
        return "quarter note";
    case Case::note8th:
        return "8th note";
    case Case::note16th:
        return "16th note";
    case Case::note32nd:
        return "32nd note";
    case Case::note64th:
        return "64th note";
    case Case::note128th:
        return "128th note";
    case Case::note256th:
        return "256th note";
    }
    return {};
}

std::string DeltaTime::debugDescription() const {
    return "DeltaTime(" + description() + ")";
}

} // namespace carvo::smf
