#include "server/PublishLimit.h"

#include <gtest/gtest.h>

namespace {

const TPublishLimit::TTime Start = TPublishLimit::TTime(std::chrono::hours(24 * 365 * 54));

} // namespace

TEST(PublishLimit, AnyMinuteHoldsAtMostTheLimit) {
    TPublishLimit limit(3);
    using std::chrono::seconds;
    EXPECT_TRUE(limit.Allow("10.0.0.1", Start));
    EXPECT_TRUE(limit.Allow("10.0.0.1", Start + seconds(20)));
    EXPECT_TRUE(limit.Allow("10.0.0.1", Start + seconds(40)));
    EXPECT_FALSE(limit.Allow("10.0.0.1", Start + seconds(59)));
    EXPECT_TRUE(limit.Allow("10.0.0.2", Start + seconds(59))); // another address
    // The first one leaves the window after a minute, the second twenty seconds later.
    EXPECT_TRUE(limit.Allow("10.0.0.1", Start + seconds(60)));
    EXPECT_FALSE(limit.Allow("10.0.0.1", Start + seconds(79)));
    EXPECT_TRUE(limit.Allow("10.0.0.1", Start + seconds(80)));
    // A refused attempt takes no place: hammering does not lock an address out for longer.
    for (int i = 0; i < 100; ++i)
        EXPECT_FALSE(limit.Allow("10.0.0.1", Start + seconds(81)));
    EXPECT_TRUE(limit.Allow("10.0.0.1", Start + seconds(100)));

    TPublishLimit none(0);
    for (int i = 0; i < 1000; ++i)
        ASSERT_TRUE(none.Allow("10.0.0.1", Start));
}

TEST(PublishLimit, Ipv6CountsByNetworkAndMappedIpv4AsIpv4) {
    EXPECT_EQ(PublishLimitKey("2001:db8:1:2:3:4:5:6"), PublishLimitKey("2001:db8:1:2:ffff::1"));
    EXPECT_NE(PublishLimitKey("2001:db8:1:2::1"), PublishLimitKey("2001:db8:1:3::1"));
    EXPECT_EQ(PublishLimitKey("::ffff:192.0.2.7"), "192.0.2.7");
    EXPECT_EQ(PublishLimitKey("192.0.2.7"), "192.0.2.7");

    TPublishLimit limit(1);
    EXPECT_TRUE(limit.Allow("2001:db8:1:2::1", Start));
    EXPECT_FALSE(limit.Allow("2001:db8:1:2::99", Start));
    EXPECT_TRUE(limit.Allow("2001:db8:1:3::1", Start));
}

TEST(PublishLimit, ManyAddressesAreForgottenWhenTheirMinuteIsOver) {
    TPublishLimit limit(5, 10);
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(limit.Allow("10.0.1." + std::to_string(i), Start));
    // Full: a new address within the same minute is refused, one a minute later is taken.
    EXPECT_FALSE(limit.Allow("10.0.2.1", Start + std::chrono::seconds(30)));
    EXPECT_TRUE(limit.Allow("10.0.2.1", Start + std::chrono::seconds(60)));
}
