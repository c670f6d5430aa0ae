#include "platform/Event.h"

#include <gtest/gtest.h>
#include <atomic>
#include <thread>

using platform::TEvent;

TEST(Event, AutoReset)
{
    TEvent e;
    EXPECT_FALSE(e.WaitFor(0));
    e.Set();
    e.Set(); // a signalled event stays signalled once
    EXPECT_TRUE(e.WaitFor(0));
    EXPECT_FALSE(e.WaitFor(10)); // the wait cleared it
    e.Set();
    e.Reset();
    EXPECT_FALSE(e.WaitFor(0));
    TEvent on(true);
    on.Wait();
    EXPECT_FALSE(on.WaitFor(0));
}

TEST(Event, OneSetReleasesOneWaiter)
{
    TEvent e;
    std::atomic<int> through{0};
    std::thread a([&] { if (e.WaitFor(500)) ++through; });
    std::thread b([&] { if (e.WaitFor(300)) ++through; });
    e.Set();
    a.join();
    b.join();
    EXPECT_EQ(through, 1);
}
