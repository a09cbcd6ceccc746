#include <gtest/gtest.h>

#include "display/pin_guard.h"

namespace carvo::display {
namespace {

TEST(PINGuardTest, FiveWrongPINsWithinAMinuteLockTheAddressUntilTheOldestIsAMinuteOld) {
    PINGuard guard;
    // Wrong PINs at 0, 10, 20, 30 and 40 s.
    for (int i = 0; i < PINGuard::maxWrongPerWindow; ++i) {
        ASSERT_TRUE(guard.mayTry("10.0.0.5", i * 10.0));
        guard.recordWrong("10.0.0.5", i * 10.0);
    }
    EXPECT_FALSE(guard.mayTry("10.0.0.5", 41.0));
    EXPECT_FALSE(guard.mayTry("10.0.0.5", 59.9));
    EXPECT_TRUE(guard.mayTry("10.0.0.6", 41.0)) << "another address is not locked";
    // The first wrong PIN is a minute old at 60 s: one more try.
    EXPECT_TRUE(guard.mayTry("10.0.0.5", 60.0));
    guard.recordWrong("10.0.0.5", 60.0);
    EXPECT_FALSE(guard.mayTry("10.0.0.5", 61.0));
}

TEST(PINGuardTest, WrongPINsSpreadOverMoreThanAMinuteNeverLock) {
    PINGuard guard;
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(guard.mayTry("10.0.0.5", i * 15.0)) << "try " << i;
        guard.recordWrong("10.0.0.5", i * 15.0);
    }
}

} // namespace
} // namespace carvo::display
