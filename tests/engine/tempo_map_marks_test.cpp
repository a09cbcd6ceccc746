// Rehearsal marks in the bar tables: Marker events (Cue Points where a file has no markers), each
// in the bar whose span holds its tick. Bars are worked out in the comments from the bar lengths.

#include "engine/tempo_map.h"
#include "support/midi_bytes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace carvo {
namespace {

using ::testing::ElementsAre;
using testing::formatMultipleTracks;
using ::testing::IsEmpty;
using testing::midiFileBytes;
using testing::TrackBytes;

constexpr std::uint16_t ticksPerQuarter = 480;
constexpr std::uint32_t quarter = ticksPerQuarter;
constexpr std::uint32_t bar44 = 4 * quarter; // 1920 ticks
constexpr std::uint8_t quarterBeat = 2;      // time-signature exponent: 2^2 = 4

BarTables tablesOf(std::initializer_list<TrackBytes> tracks) {
    const auto bytes = midiFileBytes(formatMultipleTracks, ticksPerQuarter, tracks);
    BarTables tables = tempoMapOf(smf::MIDIFile::decode(bytes));
    // The decoding that keeps no event table finds the same marks.
    EXPECT_EQ(tempoMapOfBytes(bytes), tables);
    return tables;
}

TEST(TempoMapMarks, MarkOnABarLineBelongsToTheBarItBegins) {
    // Tick 3840 = 2 × 1920 is where bar 3 begins.
    const auto tables =
        tablesOf({TrackBytes{}.marker(0, "A").marker(2 * bar44, "B").noteOn(bar44)});

    EXPECT_THAT(tables.marks, ElementsAre(Mark{1, "A"}, Mark{3, "B"}));
}

TEST(TempoMapMarks, MarkBetweenBarLinesBelongsToTheBarThatHoldsIt) {
    // 1919 is the last tick of bar 1; 1921 lies in bar 2.
    const auto tables =
        tablesOf({TrackBytes{}.marker(bar44 - 1, "end of one").marker(2, "in two")});

    EXPECT_THAT(tables.marks, ElementsAre(Mark{1, "end of one"}, Mark{2, "in two"}));
}

TEST(TempoMapMarks, BarsFollowTheTimeSignatures) {
    // Bars 1 and 2 in 4/4 (1920 ticks each), then 3/4 (1440): bar 3 begins at 3840, bar 4 at
    // 5280, bar 5 at 6720. A mark at 6000 lies in bar 4; one at 6720 begins bar 5.
    const auto tables = tablesOf({TrackBytes{}
                                      .timeSignature(2 * bar44, 3, quarterBeat)
                                      .marker(6000 - 2 * bar44, "C")
                                      .marker(720, "D")});

    EXPECT_THAT(tables.marks, ElementsAre(Mark{4, "C"}, Mark{5, "D"}));
}

TEST(TempoMapMarks, MarksOfSeveralTracksComeInTickOrderFileOrderAtOneTick) {
    const auto tables =
        tablesOf({TrackBytes{}.marker(bar44, "second track one").marker(bar44, "Z"),
                  TrackBytes{}.marker(0, "first").marker(bar44, "second track two")});

    EXPECT_THAT(tables.marks, ElementsAre(Mark{1, "first"}, Mark{2, "second track one"},
                                          Mark{2, "second track two"}, Mark{3, "Z"}));
}

TEST(TempoMapMarks, NoMarksAtAll) {
    const auto tables = tablesOf({TrackBytes{}.text(0, "not a mark").noteOn(3 * bar44)});

    EXPECT_THAT(tables.marks, IsEmpty());
}

TEST(TempoMapMarks, CuePointsServeOnlyAFileWithoutMarkers) {
    const auto cuesOnly = tablesOf({TrackBytes{}.cuePoint(0, "cue 1").cuePoint(bar44, "cue 2")});
    EXPECT_THAT(cuesOnly.marks, ElementsAre(Mark{1, "cue 1"}, Mark{2, "cue 2"}));

    const auto both = tablesOf({TrackBytes{}.cuePoint(0, "cue 1"),
                                TrackBytes{}.marker(bar44, "Letter A").cuePoint(0, "x")});
    EXPECT_THAT(both.marks, ElementsAre(Mark{2, "Letter A"}));
}

TEST(TempoMapMarks, NonASCIITextIsKeptAsUTF8) {
    // UTF-8 stays as it is; Latin-1 bytes (E9 = é) become their UTF-8 characters.
    const auto tables =
        tablesOf({TrackBytes{}.marker(0, "Tempo di valse \xe2\x99\xa9").marker(bar44, "Caf\xe9")});

    EXPECT_THAT(tables.marks, ElementsAre(Mark{1, "Tempo di valse \u2669"}, Mark{2, "Caf\u00e9"}));
}

TEST(TempoMapMarks, EmptyMarksCannotBeAskedForAndAreLeftOut) {
    const auto tables = tablesOf({TrackBytes{}.marker(0, "").marker(bar44, "B")});

    EXPECT_THAT(tables.marks, ElementsAre(Mark{2, "B"}));
}

TEST(TempoMapMarks, AFixedTempoHasNoMarks) {
    EXPECT_THAT(makeFixedTempoMap(4, 4, 120.0f).marks, IsEmpty());
}

} // namespace
} // namespace carvo
