#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "display/feed.h"

namespace carvo::display {
namespace {

QJsonObject parsed(const QByteArray& message) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(message, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << message.toStdString();
    return document.object();
}

// A cue running at 120 in 4/4: a bar lasts 2 s.
State running(std::int64_t bar, std::int64_t beat, double progress) {
    State state;
    state.cueID = QStringLiteral("GRP-1");
    state.cueName = QStringLiteral("Overture");
    state.bar = bar;
    state.beat = beat;
    state.progress = progress;
    state.beatsPerBar = 4;
    state.phase = Phase::running;
    state.barStartMs = 1'000'000.0 + static_cast<double>(bar - 17) * 2000.0;
    state.barLengthMs = 2000.0;
    return state;
}

TEST(FeedTest, AJumpThenTicksThenAStopEachSayWhatChanged) {
    Feed feed;
    const QList<QByteArray> jump = feed.update(running(17, 1, 0.0), 1'000'000.0);
    ASSERT_EQ(jump.size(), 1);
    const QJsonObject first = parsed(jump.front());
    EXPECT_EQ(first.value("type").toString(), "jump");
    EXPECT_EQ(first.value("cueID").toString(), "GRP-1");
    EXPECT_EQ(first.value("cueName").toString(), "Overture");
    EXPECT_EQ(first.value("bar").toInteger(), 17);
    EXPECT_EQ(first.value("phase").toString(), "running");
    EXPECT_DOUBLE_EQ(first.value("barStart").toDouble(), 1'000'000.0);
    EXPECT_DOUBLE_EQ(first.value("barLength").toDouble(), 2000.0);
    EXPECT_DOUBLE_EQ(first.value("serverTime").toDouble(), 1'000'000.0);

    // 0.75 s into the bar: beat 2, progress 0.375.
    const QList<QByteArray> tick = feed.update(running(17, 2, 0.375), 1'000'750.0);
    ASSERT_EQ(tick.size(), 1);
    const QJsonObject second = parsed(tick.front());
    EXPECT_EQ(second.value("type").toString(), "tick");
    EXPECT_EQ(second.value("beat").toInteger(), 2);
    EXPECT_DOUBLE_EQ(second.value("progress").toDouble(), 0.375);
    EXPECT_EQ(second.value("beatsPerBar").toInteger(), 4);
    EXPECT_DOUBLE_EQ(second.value("serverTime").toDouble(), 1'000'750.0);
    EXPECT_FALSE(second.contains("cueID")) << "ticks stay small";

    State stopped = running(17, 1, 0.0);
    stopped.phase = Phase::stopped;
    const QList<QByteArray> stop = feed.update(stopped, 1'001'000.0);
    ASSERT_EQ(stop.size(), 1);
    const QJsonObject third = parsed(stop.front());
    EXPECT_EQ(third.value("type").toString(), "stop");
    EXPECT_EQ(third.value("phase").toString(), "stopped");
}

TEST(FeedTest, NothingGoesOutForAnUnchangedState) {
    Feed feed;
    feed.update(running(17, 1, 0.0), 0.0);
    EXPECT_TRUE(feed.update(running(17, 1, 0.0), 50.0).isEmpty());
}

TEST(FeedTest, AnotherCueOrAStartAfterAStopIsAJump) {
    Feed feed;
    feed.update(running(17, 1, 0.0), 0.0);
    State other = running(3, 1, 0.0);
    other.cueID = QStringLiteral("GRP-2");
    EXPECT_EQ(parsed(feed.update(other, 10.0).front()).value("type").toString(), "jump");

    State stopped = other;
    stopped.phase = Phase::stopped;
    feed.update(stopped, 20.0);
    EXPECT_EQ(parsed(feed.update(other, 30.0).front()).value("type").toString(), "jump");
}

TEST(FeedTest, PhaseMarkAndCountInChangesGoOutWhole) {
    Feed feed;
    feed.update(running(17, 1, 0.0), 0.0);

    State silent = running(17, 2, 0.3);
    silent.phase = Phase::qlabNotAnswering;
    const QJsonObject phase = parsed(feed.update(silent, 10.0).front());
    EXPECT_EQ(phase.value("type").toString(), "state");
    EXPECT_EQ(phase.value("phase").toString(), "qlabNotAnswering");
    EXPECT_EQ(phase.value("beat").toInteger(), 2) << "a state message carries the position";

    State marked = silent;
    marked.mark = QStringLiteral("B");
    EXPECT_EQ(parsed(feed.update(marked, 20.0).front()).value("mark").toString(), "B");

    State preRoll = marked;
    preRoll.countInBars = 2;
    preRoll.targetBar = 17;
    const QJsonObject countIn = parsed(feed.update(preRoll, 30.0).front());
    EXPECT_EQ(countIn.value("type").toString(), "state");
    EXPECT_EQ(countIn.value("countInBars").toInteger(), 2);
    EXPECT_EQ(countIn.value("targetBar").toInteger(), 17);
}

TEST(FeedTest, TheSnapshotIsTheWholeStateHeld) {
    Feed feed;
    const QJsonObject idle = parsed(feed.snapshot(5.0));
    EXPECT_EQ(idle.value("type").toString(), "state");
    EXPECT_EQ(idle.value("phase").toString(), "idle");
    EXPECT_EQ(idle.value("countInBars").toInteger(), 0);
    EXPECT_EQ(idle.value("mark").toString(), "");

    feed.update(running(18, 3, 0.6), 10.0);
    const QJsonObject now = parsed(feed.snapshot(20.0));
    EXPECT_EQ(now.value("bar").toInteger(), 18);
    EXPECT_EQ(now.value("beat").toInteger(), 3);
    EXPECT_EQ(now.value("cueName").toString(), "Overture");
    EXPECT_DOUBLE_EQ(now.value("serverTime").toDouble(), 20.0);
}

TEST(FeedTest, MessagesAndControlAnswersAreJSONWhateverTheirText) {
    const QString awkward = QStringLiteral("ERROR: \"quoted\" \\ and\nnew line – ünïcode");
    const QJsonObject message = parsed(Feed::message(awkward, 7.0));
    EXPECT_EQ(message.value("type").toString(), "message");
    EXPECT_EQ(message.value("text").toString(), awkward);

    const QJsonObject allowed =
        parsed(Feed::control(true, {}, {{QStringLiteral("A"), QStringLiteral("Waltz \"2\"")}}));
    EXPECT_TRUE(allowed.value("allowed").toBool());
    EXPECT_EQ(allowed.value("cues").toArray().at(0).toObject().value("name").toString(),
              "Waltz \"2\"");
    const QJsonObject refused =
        parsed(Feed::control(false, QStringLiteral("wrong"), {{QStringLiteral("A"), {}}}));
    EXPECT_FALSE(refused.value("allowed").toBool());
    EXPECT_TRUE(refused.value("cues").toArray().isEmpty()) << "no cues without the PIN";
}

} // namespace
} // namespace carvo::display
