// The order and spacing of what goes to QLab, on a clock the test moves by hand: twins wait out
// the repeat window and its margin, an address with owed replies waits for them, and the queue
// never passes a held message.

#include "qlab/osc/repeat_queue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qlab/osc/manual_clock.h"

namespace carvo::testing {
namespace {

using namespace std::chrono_literals;
using osc::RepeatQueue;
using osc::Reply;
using osc::ReplyMatcher;

RepeatQueue::Entry entry(const std::string& bytes) {
    return {bytes, "/" + bytes, nullptr};
}

std::vector<std::string> bytesOf(const RepeatQueue::Due& due) {
    std::vector<std::string> bytes;
    for (const auto& entry : due.entries)
        bytes.push_back(entry.bytes);
    return bytes;
}

using Bytes = std::vector<std::string>;

TEST(RepeatQueue, ATwinWaitsOutTheWindowAndItsMarginAndHoldsWhatComesBehindIt) {
    ManualClock clock;
    ReplyMatcher matcher(200ms, clock.function());
    RepeatQueue queue(250ms, 100ms, clock.function());
    queue.push(entry("A"));
    queue.push(entry("B"));
    queue.push(entry("A"));
    queue.push(entry("C"));
    auto due = queue.take(matcher);
    EXPECT_EQ(bytesOf(due), (Bytes{"A", "B"}));
    EXPECT_EQ(due.retryIn, 350ms);

    clock.now += 349ms;
    due = queue.take(matcher);
    EXPECT_TRUE(due.entries.empty()) << "the twin would arrive within QLab's window";
    EXPECT_EQ(due.retryIn, 1ms);
    clock.now += 1ms;
    due = queue.take(matcher);
    EXPECT_EQ(bytesOf(due), (Bytes{"A", "C"}));
    EXPECT_FALSE(due.retryIn);
    EXPECT_TRUE(queue.empty());

    // The window runs from the twin that went out last.
    clock.now += 200ms;
    queue.push(entry("A"));
    due = queue.take(matcher);
    EXPECT_TRUE(due.entries.empty());
    EXPECT_EQ(due.retryIn, 150ms);
}

TEST(RepeatQueue, WithQLabsFilterOffTwinsGoAtOnce) {
    ManualClock clock;
    ReplyMatcher matcher(200ms, clock.function());
    RepeatQueue queue(0ms, 100ms, clock.function());
    for (int i = 0; i < 3; ++i)
        queue.push(entry("A"));
    const auto due = queue.take(matcher);
    EXPECT_EQ(bytesOf(due), (Bytes{"A", "A", "A"}));
    EXPECT_FALSE(due.retryIn);
}

TEST(RepeatQueue, AnAddressWithOwedRepliesWaitsForThemOrTheirTime) {
    ManualClock clock;
    ReplyMatcher matcher(200ms, clock.function());
    RepeatQueue queue(250ms, 100ms, clock.function());
    const auto late = matcher.expect("/new", [](std::vector<Reply>) {});
    ReplyMatcher::written(late);
    matcher.expire(late);

    const auto next = matcher.expect("/new", [](std::vector<Reply>) {});
    queue.push({"new memo", next->key, next});
    queue.push(entry("B"));
    auto due = queue.take(matcher);
    EXPECT_TRUE(due.entries.empty()) << "written while its address still owes a reply";
    EXPECT_EQ(due.retryIn, 200ms);

    // The late reply comes: the address is free before its time.
    clock.now += 30ms;
    EXPECT_TRUE(matcher.take("/new", {Reply::Status::ok, {}}));
    due = queue.take(matcher);
    EXPECT_EQ(bytesOf(due), (Bytes{"new memo", "B"}));

    // Or it never comes, and the wait is given up.
    const auto again = matcher.expect("/new", [](std::vector<Reply>) {});
    ReplyMatcher::written(again);
    matcher.expire(again);
    queue.push({"new group", "/new", nullptr});
    EXPECT_TRUE(queue.take(matcher).entries.empty());
    clock.now += 200ms;
    EXPECT_EQ(bytesOf(queue.take(matcher)), (Bytes{"new group"}));
}

TEST(RepeatQueue, ARequestAnsweredWhileItWaitedIsNeverWritten) {
    ManualClock clock;
    ReplyMatcher matcher(200ms, clock.function());
    RepeatQueue queue(250ms, 100ms, clock.function());
    queue.push(entry("A"));
    EXPECT_EQ(bytesOf(queue.take(matcher)), (Bytes{"A"}));

    bool answered = false;
    const auto twin = matcher.expect("/A", [&](std::vector<Reply>) { answered = true; });
    queue.push({"A", "/A", twin});
    queue.push(entry("B"));
    EXPECT_TRUE(queue.take(matcher).entries.empty());
    matcher.expire(twin); // its timeout came first
    EXPECT_TRUE(answered);
    EXPECT_FALSE(matcher.owedUntil("/A")) << "never written, so nothing is owed";
    const auto due = queue.take(matcher);
    EXPECT_EQ(bytesOf(due), (Bytes{"B"}));
    EXPECT_TRUE(queue.empty());
}

} // namespace
} // namespace carvo::testing
