#include "smf/time_base.h"
#include "smf/delta_time.h"

#include <array>
#include <cstddef>
#include <utility>

namespace carvo::smf {

namespace {
// By format value.
constexpr std::array<const char*, 3> formatNames{"Type 0 (single track)",
                                                 "Type 1 (multiple tracks synchronous)",
                                                 "Type 2 (multiple tracks asynchronous)"};

constexpr std::array<std::pair<FrameRate, const char*>, 4> frameRates{{
    {FrameRate::fps24, "24fps"},
    {FrameRate::fps25, "25fps"},
    {FrameRate::fps29_97d, "29.97dfps"},
    {FrameRate::fps30, "30fps"},
}};

// The note-value cases, from noteWhole on.
constexpr std::array<const char*, 9> noteNames{"whole note", "half note",  "quarter note",
                                               "8th note",   "16th note",  "32nd note",
                                               "64th note",  "128th note", "256th note"};
} // namespace

std::string description(Format format) {
    const auto index = static_cast<std::size_t>(format);
    return index < formatNames.size() ? formatNames[index] : "Type " + std::to_string(index);
}

std::string debugDescription(Format format) {
    return "Format(" + description(format) + ")";
}

std::optional<FrameRate> frameRateFromRaw(std::uint8_t raw) {
    for (const auto& [rate, name] : frameRates)
        if (static_cast<std::uint8_t>(rate) == raw)
            return rate;
    return std::nullopt;
}

std::string description(FrameRate rate) {
    for (const auto& [known, name] : frameRates)
        if (known == rate)
            return name;
    return "?fps";
}

std::string debugDescription(FrameRate rate) {
    return "FrameRate(" + description(rate) + ")";
}

std::string TimeBase::description() const {
    if (m_musical)
        return "Musical: " + std::to_string(m_ticksPerQuarter) + " ticks per quarter";
    return "Timecode: " + smf::description(m_frameRate) + " " + std::to_string(m_ticksPerFrame) +
           " ticks per frame";
}

std::string TimeBase::debugDescription() const {
    return "timeBase(" + description() + ")";
}

std::optional<std::uint32_t> DeltaTime::ticksValue(TimeBase timeBase) const {
    if (!timeBase.isMusical())
        return std::nullopt;
    const std::uint32_t quarter = timeBase.ticksPerQuarterNote();
    switch (m_kind) {
    case Case::ticks:
        return tickCount();
    case Case::none:
        return 0;
    default:
        break;
    }
    // The note values halve from case to case: a whole note is a quarter shifted left by 2, a
    // 256th a quarter shifted right by 6.
    const int halvings = static_cast<int>(m_kind) - static_cast<int>(Case::noteQuarter);
    if (halvings < -2 || halvings > 6)
        return std::nullopt;
    return halvings < 0 ? quarter << -halvings : quarter >> halvings;
}

std::string DeltaTime::description() const {
    if (m_kind == Case::ticks)
        return "ticks:" + std::to_string(tickCount());
    if (m_kind == Case::none)
        return "none";
    const auto index = static_cast<std::size_t>(m_kind) - static_cast<std::size_t>(Case::noteWhole);
    return index < noteNames.size() ? noteNames[index] : std::string();
}

std::string DeltaTime::debugDescription() const {
    return "DeltaTime(" + description() + ")";
}

} // namespace carvo::smf
