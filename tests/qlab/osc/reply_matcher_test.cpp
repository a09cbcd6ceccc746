// Matching QLab's replies to the requests that asked, on a clock the test moves by hand: first in,
// first out per address, late replies thrown away while they are owed, gathering up to a marker.

#include "qlab/osc/reply_matcher.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "qlab/osc/manual_clock.h"

namespace carvo::testing {
namespace {

using namespace std::chrono_literals;
using osc::Reply;
using osc::ReplyMatcher;

Reply okWith(int number) {
    return {Reply::Status::ok, number};
}

// What a request was answered, once it is.
struct Answers {
    std::optional<std::vector<Reply>> replies;
    ReplyMatcher::Done done() {
        return [this](std::vector<Reply> given) {
            EXPECT_FALSE(replies) << "answered twice";
            replies = std::move(given);
        };
    }
    int number() const {
        return replies && replies->size() == 1 ? replies->front().data.toInt() : -1;
    }
    Reply::Status status() const { return replies->front().status; }
};

TEST(ReplyMatcher, RepliesGoToTheirAddressesRequestsFirstInFirstOut) {
    ManualClock clock;
    ReplyMatcher matcher(200ms, clock.function());
    Answers firstA, secondA, b;
    // Asked with the workspace's prefix, answered without: the same question.
    matcher.expect("/workspace/W1/cue_id/A/isRunning", firstA.done());
    matcher.expect("/workspace/W1/cue_id/A/isRunning", secondA.done());
    matcher.expect("/workspace/W1/cue_id/B/isRunning", b.done());

    EXPECT_FALSE(matcher.take("/cue_id/B/isRunning", okWith(3)));
    EXPECT_EQ(b.number(), 3);
    EXPECT_FALSE(firstA.replies) << "a reply on another address answered A";
    matcher.take("/cue_id/A/isRunning", okWith(1));
    EXPECT_EQ(firstA.number(), 1);
    EXPECT_FALSE(secondA.replies);
    matcher.take("/cue_id/A/isRunning", okWith(2));
    EXPECT_EQ(secondA.number(), 2);
    // Nobody asks any more (a thump's reply): nothing happens.
    EXPECT_FALSE(matcher.take("/cue_id/A/isRunning", okWith(9)));
}

TEST(ReplyMatcher, ALateReplyIsThrownAwayAndHoldsItsAddressUntilItComes) {
    ManualClock clock;
    ReplyMatcher matcher(200ms, clock.function());
    Answers first, second;
    const auto ticket = matcher.expect("/new", first.done());
    ReplyMatcher::written(ticket);
    clock.now += 400ms;
    matcher.expire(ticket);
    ASSERT_TRUE(first.replies);
    EXPECT_EQ(first.status(), Reply::Status::timeout);
    EXPECT_EQ(matcher.owedUntil("/new"), clock.now + 200ms);
    EXPECT_FALSE(matcher.owedUntil("/other"));

    matcher.expect("/new", second.done());
    clock.now += 50ms;
    EXPECT_TRUE(matcher.take("/new", okWith(1))) << "the owed reply came: the address is free";
    EXPECT_FALSE(second.replies) << "the first question's late reply went to the second";
    EXPECT_FALSE(matcher.owedUntil("/new"));
    matcher.take("/new", okWith(2));
    EXPECT_EQ(second.number(), 2);
    // Expiring what is already answered changes nothing.
    matcher.expire(ticket);
    EXPECT_FALSE(matcher.owedUntil("/new"));
}

TEST(ReplyMatcher, EachTimedOutRequestOwesOneReplyAndTheWaitIsGivenUpInTime) {
    ManualClock clock;
    ReplyMatcher matcher(200ms, clock.function());
    Answers one, two, three, unsent;
    for (Answers* answers : {&one, &two}) {
        const auto ticket = matcher.expect("/cue_id/A/start", answers->done());
        ReplyMatcher::written(ticket);
        matcher.expire(ticket);
    }
    EXPECT_FALSE(matcher.take("/cue_id/A/start", okWith(1))) << "one more is owed";
    EXPECT_TRUE(matcher.owedUntil("/cue_id/A/start"));

    // After the wait, a reply is somebody's answer again.
    matcher.expect("/cue_id/A/start", three.done());
    clock.now += 200ms;
    EXPECT_FALSE(matcher.owedUntil("/cue_id/A/start"));
    matcher.take("/cue_id/A/start", okWith(3));
    EXPECT_EQ(three.number(), 3);

    // A request that timed out before it was written owes nothing.
    const auto never = matcher.expect("/cue_id/B/start", unsent.done());
    matcher.expire(never);
    EXPECT_EQ(unsent.status(), Reply::Status::timeout);
    EXPECT_FALSE(matcher.owedUntil("/cue_id/B/start"));
}

TEST(ReplyMatcher, AGatheringRequestTakesEveryReplyUntilItsMarker) {
    ManualClock clock;
    ReplyMatcher matcher(200ms, clock.function());
    Answers gathered, after;
    const auto ticket = matcher.expect("/cue/selected/start", gathered.done(), true);
    for (int i = 1; i <= 3; ++i)
        matcher.take("/cue/selected/start", okWith(i));
    EXPECT_FALSE(gathered.replies);
    matcher.endGathering(ticket, Reply{Reply::Status::ok, {}});
    ASSERT_TRUE(gathered.replies);
    ASSERT_EQ(gathered.replies->size(), 3U);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ((*gathered.replies)[static_cast<std::size_t>(i)].data.toInt(), i + 1);
    // Over: the next reply is the next request's.
    matcher.expect("/cue/selected/start", after.done());
    matcher.take("/cue/selected/start", okWith(4));
    EXPECT_EQ(after.number(), 4);

    // Nothing gathered: a timeout, unless the marker's own failure says why.
    Answers silent, lost, markerless;
    matcher.endGathering(matcher.expect("/x", silent.done(), true), Reply{Reply::Status::ok, {}});
    EXPECT_EQ(silent.status(), Reply::Status::timeout);
    matcher.endGathering(matcher.expect("/x", lost.done(), true),
                         Reply{Reply::Status::noConnection, {}});
    EXPECT_EQ(lost.status(), Reply::Status::noConnection);
    matcher.endGathering(matcher.expect("/x", markerless.done(), true), std::nullopt);
    EXPECT_EQ(markerless.status(), Reply::Status::timeout);
}

TEST(ReplyMatcher, AGatheringRequestThatTimedOutOwesEveryReplyOnItsAddress) {
    ManualClock clock;
    ReplyMatcher matcher(200ms, clock.function());
    Answers gathered, next;
    const auto ticket = matcher.expect("/cue/selected/start", gathered.done(), true);
    ReplyMatcher::written(ticket);
    matcher.expire(ticket);
    EXPECT_EQ(gathered.status(), Reply::Status::timeout);
    matcher.endGathering(ticket, Reply{Reply::Status::ok, {}}); // the marker, late: nothing
    ASSERT_EQ(gathered.replies->size(), 1U);

    matcher.expect("/cue/selected/start", next.done());
    for (int i = 0; i < 50; ++i)
        EXPECT_FALSE(matcher.take("/cue/selected/start", okWith(i)));
    EXPECT_FALSE(next.replies);
    clock.now += 200ms;
    matcher.take("/cue/selected/start", okWith(7));
    EXPECT_EQ(next.number(), 7);
}

TEST(ReplyMatcher, FailingAllAnswersEveryWaitingRequestAndForgetsWhatWasOwed) {
    ManualClock clock;
    ReplyMatcher matcher(200ms, clock.function());
    Answers a, b, owing;
    const auto owed = matcher.expect("/c", owing.done());
    ReplyMatcher::written(owed);
    matcher.expire(owed);
    matcher.expect("/a", a.done());
    matcher.expect("/b", b.done(), true);
    matcher.failAll(Reply::Status::noConnection);
    EXPECT_EQ(a.status(), Reply::Status::noConnection);
    EXPECT_EQ(b.status(), Reply::Status::noConnection);
    EXPECT_FALSE(matcher.owedUntil("/c"));
    EXPECT_FALSE(matcher.take("/a", okWith(1)));
}

} // namespace
} // namespace carvo::testing
