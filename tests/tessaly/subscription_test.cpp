#include "tessaly/server/subscription.h"

#include <gtest/gtest.h>

using tessaly::server::cSubscription;

TEST(Subscription, CommandsClearUnsubscribeAndAddRigidBodies) {
    cSubscription s;
    EXPECT_TRUE(s.Wants(42));
    EXPECT_EQ(s.Execute("SubscribeToData,AllTypes,None"), cSubscription::eOutcome::Done);
    EXPECT_FALSE(s.Wants(42));
    EXPECT_EQ(s.Execute("SubscribeByID,RigidBody,-3"), cSubscription::eOutcome::Done);
    EXPECT_TRUE(s.Wants(-3));
    EXPECT_FALSE(s.Wants(3));
    EXPECT_EQ(s.Execute("SubscribeToData"), cSubscription::eOutcome::Done);
    EXPECT_TRUE(s.Wants(3));
    EXPECT_TRUE(s.Ids().empty());
}

TEST(Subscription, SubscribingFromTheUnfilteredStateFiltersToThatBody) {
    cSubscription s;
    EXPECT_EQ(s.Execute("SubscribeByID,RigidBody,7"), cSubscription::eOutcome::Done);
    EXPECT_TRUE(s.Wants(7));
    EXPECT_FALSE(s.Wants(8));
}

TEST(Subscription, BadIdsAndUnknownCommandsChangeNothing) {
    cSubscription s(false);
    for (const char* bad : {"SubscribeByID,RigidBody,", "SubscribeByID,RigidBody,2147483648",
                            "SubscribeByID,RigidBody,1x", "SubscribeByID,RigidBody,-", "SubscribeByID,RigidBody, 1"})
        EXPECT_EQ(s.Execute(bad), cSubscription::eOutcome::Failed) << bad;
    EXPECT_EQ(s.Execute("SubscribeToData,AllTypes"), cSubscription::eOutcome::UnknownCommand);
    EXPECT_EQ(s.Execute("subscribetodata"), cSubscription::eOutcome::UnknownCommand);
    EXPECT_FALSE(s.Everything());
    EXPECT_TRUE(s.Ids().empty());
    EXPECT_EQ(s.Execute("SubscribeByID,RigidBody,-2147483648"), cSubscription::eOutcome::Done);
    EXPECT_TRUE(s.Wants(INT32_MIN));
}
