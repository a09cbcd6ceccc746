#include "bytes/expected.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using carvo::bytes::Expected;
using carvo::bytes::fail;

enum class Why { tooShort };

TEST(ExpectedDeathTest, TheMissingSideIsNeverHandedOut) {
    const Expected<std::string, Why> failed = fail(Why::tooShort);
    ASSERT_FALSE(failed);
    EXPECT_DEATH((void)failed.value(), "value\\(\\) of a failed result");
    EXPECT_DEATH((void)*failed, "value\\(\\) of a failed result");
    EXPECT_DEATH((void)failed->size(), "value\\(\\) of a failed result");

    const Expected<std::string, Why> held = std::string("abc");
    ASSERT_TRUE(held);
    EXPECT_DEATH((void)held.error(), "error\\(\\) of a result that holds a value");
}

TEST(Expected, HoldsOneSideOnly) {
    Expected<std::string, std::string> held = std::string("value");
    ASSERT_TRUE(held);
    EXPECT_EQ(*held, "value");
    EXPECT_EQ(std::move(held).value(), "value");

    // The same type on both sides stays apart.
    const Expected<std::string, std::string> failed = fail(std::string("reason"));
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error(), "reason");
}

} // namespace
