// The script texts are QLab's contract: each is compared byte for byte with a golden file, and
// the splicing is checked to carry any value, hostile ones included, unchanged into QLab (as the
// simulated QLab reads it back).
#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>

#include <gtest/gtest.h>

#include "qlab/scripts.h"
#include "qlab/sim/script_match.h"

namespace carvo::scripts {
namespace {

using sim::matchPanic;
using sim::stringLiteralAfter;

std::string golden(const std::string& name) {
    std::ifstream file(std::string(CARVO_QLAB_TEST_DATA) + "/golden/" + name, std::ios::binary);
    EXPECT_TRUE(file) << name;
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

TEST(ScriptTexts, MatchTheGoldenFilesByteForByte) {
    EXPECT_EQ(displayMessage("ERROR: no cue selected"), golden("display_message.applescript"));
    EXPECT_EQ(getFilesAndStartBar(-3, "Remote", 17, "4F2A-B9"),
              golden("get_files_remote.applescript"));
    EXPECT_EQ(isCueRunning("4F2A-B9"), golden("is_cue_running.applescript"));
    EXPECT_EQ(isCueElapsedOverOneSecond("4F2A-B9"), golden("is_cue_elapsed.applescript"));
    EXPECT_EQ(loadTimeAndStart("4F2A-B9", 0.0f, false, 0.0),
              golden("load_time_defaults.applescript"));
    EXPECT_EQ(panic({"4F2A-B9", "77C0"}), golden("panic_two.applescript"));
    EXPECT_EQ(checkStatus(), golden("check_status.applescript"));
    EXPECT_EQ(validGroupCues(), golden("valid_group_cues.applescript"));
    EXPECT_EQ(resetCarvoCue(), golden("reset_carvo_cue.applescript"));
    EXPECT_EQ(makeChaseCue(), golden("make_chase_cue.applescript"));
}

TEST(ScriptTexts, LoadAndStartWritesNumbersAndStandbyAsQLabReadsThem) {
    const auto standby = loadTimeAndStart("G", 93.75f, true, 2.0);
    EXPECT_NE(standby.find("    set barTime to 93.75\n"), std::string::npos);
    EXPECT_NE(standby.find("    if true is false then\n"), std::string::npos);
    EXPECT_NE(standby.find("        delay 2.0\n"), std::string::npos);

    EXPECT_NE(loadTimeAndStart("G", 0.00001f, false, 0.5).find("set barTime to 1e-05\n"),
              std::string::npos);
    const auto odd = loadTimeAndStart("G", std::numeric_limits<float>::quiet_NaN(), false,
                                      -std::numeric_limits<double>::infinity());
    EXPECT_NE(odd.find("set barTime to nan\n"), std::string::npos);
    EXPECT_NE(odd.find("delay -inf\n"), std::string::npos);
}

TEST(ScriptTexts, PanicWithoutCuesIsHeaderFourSpacesAndFooter) {
    EXPECT_EQ(panic({}), "    tell application id \"com.figure53.QLab.5\" to tell front "
                         "workspace\n    \n    end tell");
}

TEST(ScriptTexts, IntegersKeepTheirSignAndFullRange) {
    const auto text = getFilesAndStartBar(std::numeric_limits<std::int64_t>::min(), "QLab",
                                          std::numeric_limits<std::int64_t>::max(), "");
    EXPECT_NE(text.find("set lastBar to -9223372036854775808\n"), std::string::npos);
    EXPECT_NE(text.find("set barNumber to 9223372036854775807 as string"), std::string::npos);
}

// A remote client chooses the unique ID: it must stay inside its string literal.
TEST(Splicing, AnAttemptedInjectionStaysInsideTheStringLiteral) {
    const std::string hostile = "X\" then delete every cue --";
    const auto text = isCueRunning(hostile);
    EXPECT_NE(text.find(R"(uniqueID is "X\" then delete every cue --")"), std::string::npos);
    const auto values = sim::matchTemplate(templates::isCueRunning, text);
    ASSERT_TRUE(values);
    EXPECT_EQ(values->at("uniqueID"), hostile);

    EXPECT_EQ(escapeForStringLiteral(R"(a\"b)"), R"(a\\\"b)");
    const auto message = displayMessage(R"(path C:\new "folder")");
    EXPECT_NE(message.find(R"(display dialog "path C:\\new \"folder\"" with title)"),
              std::string::npos);
}

TEST(Splicing, EveryTemplateReadsBackTheValuesItWasGiven) {
    for (const std::string value : {"", "plain", "quote \" and \\ slash", "\\\"", "line\nfeed",
                                    "ünïcødé ⟨x⟩", "end tell\"\ndo shell script \"rm -rf ~"}) {
        const auto files = sim::matchTemplate(templates::getFilesAndStartBar,
                                              getFilesAndStartBar(-1, value, 42, value));
        ASSERT_TRUE(files) << value;
        EXPECT_EQ(files->at("requestSource"), value);
        EXPECT_EQ(files->at("uniqueID"), value);
        EXPECT_EQ(files->at("lastBar"), "-1");
        EXPECT_EQ(files->at("barNumber"), "42");

        const auto message = sim::matchTemplate(templates::displayMessage, displayMessage(value));
        ASSERT_TRUE(message);
        EXPECT_EQ(message->at("message"), value);

        const std::vector<std::string> ids{value, "second", value + "3"};
        EXPECT_EQ(matchPanic(panic(ids)), ids);
    }
}

TEST(Splicing, RecognitionRejectsAnyOtherText) {
    const auto running = isCueRunning("G1");
    EXPECT_FALSE(sim::matchTemplate(templates::isCueElapsedOverOneSecond, running));
    EXPECT_FALSE(sim::matchTemplate(templates::isCueRunning, running + "\n"));
    EXPECT_FALSE(sim::matchTemplate(templates::isCueRunning, running.substr(1)));
    auto altered = running;
    altered[altered.find("running")] = 'R';
    EXPECT_FALSE(sim::matchTemplate(templates::isCueRunning, altered));
    // An unescaped quote ends the literal where the template does not expect it.
    std::string unescaped(templates::isCueRunning);
    unescaped.replace(unescaped.find("⟨uniqueID⟩"), std::string_view("⟨uniqueID⟩").size(), "A\"B");
    EXPECT_FALSE(sim::matchTemplate(templates::isCueRunning, unescaped));
    // The ID appears twice in the get-files script; both must agree.
    auto twice = getFilesAndStartBar(1, "Chase", 1, "AAA");
    twice.replace(twice.rfind("AAA"), 3, "BBB");
    EXPECT_FALSE(sim::matchTemplate(templates::getFilesAndStartBar, twice));

    EXPECT_FALSE(matchPanic(panic({"A"}) + "\n"));
    EXPECT_FALSE(matchPanic("    tell application id \"com.figure53.QLab.5\" to tell front "
                            "workspace\n    delete every cue\n    end tell"));
}

TEST(Splicing, ReadsTheScriptSourceOfTheCarvoCue) {
    EXPECT_EQ(stringLiteralAfter(resetCarvoCue(), "set scriptSource to \""),
              "tell application \"Carvo\" to run Carvo");
    EXPECT_FALSE(
        stringLiteralAfter("set scriptSource to \"unterminated", "set scriptSource to \""));
}

} // namespace
} // namespace carvo::scripts
