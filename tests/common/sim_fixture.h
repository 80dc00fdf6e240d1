// A fixture that starts every test on a fresh simulated platform and checks that the test left no
// thread handle open, no timer alive and no notification holding the library.
#pragma once

#include <gtest/gtest.h>

#include "sim/sim_control.h"

class SimulatedPlatformTest : public ::testing::Test {
protected:
    void SetUp() override { ResetPlatform(); }

    void TearDown() override
    {
        // Longer than any delay the system uses: every pending timer fires, and closes itself.
        sim::AdvanceClock(60000);
        EXPECT_EQ(sim::LiveThreadpoolTimers(), 0) << "a timer was left alive";
        sim::ResetThreads();
        EXPECT_EQ(sim::OpenThreadHandles(), 0) << "a thread handle was left open";
        EXPECT_EQ(sim::LibraryReferences(), 1) << "a notification kept a reference on the library";
        ResetPlatform();
    }

private:
    static void ResetPlatform() { sim::ResetAll(); }
};
