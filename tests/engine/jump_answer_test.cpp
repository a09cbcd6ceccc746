// Reading QLab's answer to the get-files script.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "engine/jump_answer.h"

namespace carvo {
namespace {

MemoAnswer memoOf(std::string_view text) {
    const auto answer = parseJumpAnswer(text);
    EXPECT_TRUE(answer && std::holds_alternative<MemoAnswer>(*answer)) << text;
    return answer && std::holds_alternative<MemoAnswer>(*answer) ? std::get<MemoAnswer>(*answer)
                                                                 : MemoAnswer{};
}

MIDIAnswer midiOf(std::string_view text) {
    const auto answer = parseJumpAnswer(text);
    EXPECT_TRUE(answer && std::holds_alternative<MIDIAnswer>(*answer)) << text;
    return answer && std::holds_alternative<MIDIAnswer>(*answer) ? std::get<MIDIAnswer>(*answer)
                                                                 : MIDIAnswer{};
}

TEST(AnswerPieces, CommasSplitAndEmptyPiecesAreDropped) {
    const auto pieces = splitAnswerPieces(",a,,b c, ,");
    ASSERT_EQ(pieces.size(), 3U);
    EXPECT_EQ(pieces[0], "a");
    EXPECT_EQ(pieces[1], "b c");
    EXPECT_EQ(pieces[2], " ");
    EXPECT_TRUE(splitAnswerPieces(",,,").empty());
    EXPECT_TRUE(splitAnswerPieces("").empty());
}

TEST(AnswerForms, MemoFormAsQLabWritesItWithBlanksKeptFromItsNotes) {
    // The memo notes "1, 120, 4, 4" keep their blanks as text items.
    const MemoAnswer memo = memoOf("17,  120,  4,  4, 1, G2");
    EXPECT_EQ(memo.barNumber, 17);
    EXPECT_EQ(memo.tempo, 120.0F);
    EXPECT_EQ(memo.numerator, 4);
    EXPECT_EQ(memo.denominator, 4);
    EXPECT_EQ(memo.offset, 1);
    EXPECT_EQ(memo.uniqueID, "G2");
}

TEST(AnswerForms, MIDIFormKeepsPathBlanksInsideAndTrimsTheEnds) {
    const MIDIAnswer midi = midiOf("/shows/My Show/overture.mid, 17, 9, G1\n");
    EXPECT_EQ(midi.filePath, "/shows/My Show/overture.mid");
    EXPECT_EQ(midi.barNumber, 17);
    EXPECT_EQ(midi.offset, 9);
    EXPECT_EQ(midi.uniqueID, "G1");
}

TEST(AnswerForms, WrongPieceCountsAndFixedFailureAnswersAreNotTaken) {
    for (const char* text : {"Script failed", "Error", "No Result", "",
                             "/a,b.mid, 17, 9, G1",          // a comma in the path: five pieces
                             "17, 120, 4, 4, 1, G2, extra"}) // seven
        EXPECT_FALSE(parseJumpAnswer(text)) << text;
    // Empty pieces do not count, so doubled commas leave the form intact.
    EXPECT_EQ(midiOf("/a.mid,, 17,, 9, G1,").barNumber, 17);
}

TEST(AnswerForms, APieceThatDoesNotReadRefusesTheWholeAnswer) {
    for (const char* text :
         {"/a.mid, twelve, 9, G1", "/a.mid, 12, 9.0, G1", "/a.mid, 1 2, 9, G1",
          "x, 120, 4, 4, 1, G", "1, fast, 4, 4, 1, G", "1, 120, 4.5, 4, 1, G",
          "1, 120, 4, four, 1, G", "1, 120, 4, 4, , G", "/a.mid, 9223372036854775808, 1, G1"})
        EXPECT_FALSE(parseJumpAnswer(text)) << text;
}

TEST(AnswerForms, BarPieceIsTrimmedOfSpacesAndTabsOnlyWhileLaterPiecesLoseLineBreaksToo) {
    EXPECT_EQ(midiOf("/a.mid,\t12 , 9, G1").barNumber, 12);
    EXPECT_FALSE(parseJumpAnswer("/a.mid, 12\n, 9, G1"));     // bar piece keeps its line break
    EXPECT_EQ(midiOf("/a.mid, 12, \r\n9\n, G1\n").offset, 9); // offset piece loses it
    EXPECT_FALSE(parseJumpAnswer("\n5, 120, 4, 4, 1, G"));
    EXPECT_EQ(memoOf("5, \n120\n, \n4\n, \n4\n, \n1\n, G\n").tempo, 120.0F);
}

TEST(AnswerTrimming, UnicodeSpaceSeparatorsAndLineSeparators) {
    // U+00A0 and U+3000 are space separators; U+2028 is a line separator.
    EXPECT_EQ(trimSpacesAndTabs("\u00a0\u300012\t"), "12");
    EXPECT_EQ(trimSpacesAndTabs("\u202812"), "\u202812");
    EXPECT_EQ(trimWhiteSpaceAndLineBreaks("\u2028\u008512\u2029\u000b"), "12");
    // Only whole code points are trimmed: "é" (C3 A9) is not a space, however it ends.
    EXPECT_EQ(trimWhiteSpaceAndLineBreaks(" caf\u00e9 "), "caf\u00e9");
    EXPECT_EQ(trimSpacesAndTabs("   "), "");
}

} // namespace
} // namespace carvo
