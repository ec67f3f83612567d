#include "platform/CrashGuard.h"

#include <gtest/gtest.h>

#include <csignal>
#include <unistd.h>

using Kiln::Fault;

namespace {
volatile int zero = 0;
}

TEST(CrashGuard, NormalRunsReturnTheBodysResult) {
    bool faultHandled = false;
    EXPECT_EQ(Kiln::runGuarded([] { return 7; }, [&](Fault) { faultHandled = true; return -1; }), 7);
    EXPECT_FALSE(faultHandled);
}

TEST(CrashGuard, DivisionByZeroAndBadMemoryBecomeFaults) {
    Fault seen = Fault::Segmentation;
    const int result = Kiln::runGuarded([] { return 10 / zero; },
                                        [&](Fault fault) { seen = fault; return -1; });
    EXPECT_EQ(result, -1);
    EXPECT_EQ(seen, Fault::Arithmetic);

    seen = Fault::Arithmetic;
    EXPECT_EQ(Kiln::runGuarded([] { std::raise(SIGSEGV); return 0; },
                               [&](Fault fault) { seen = fault; return -2; }),
              -2);
    EXPECT_EQ(seen, Fault::Segmentation);

    // The guard can be used again, and leaves no handler behind.
    EXPECT_EQ(Kiln::runGuarded([] { return 10 / zero; }, [](Fault) { return -3; }), -3);
    struct sigaction current {};
    sigaction(SIGFPE, nullptr, &current);
    EXPECT_EQ(current.sa_handler, SIG_DFL);
}

TEST(CrashGuardDeathTest, WatchdogEndsWorkThatHangsAfterAFault) {
    // A crash save blocked for ever (on a lock the fault left held) must
    // still end the process.
    EXPECT_EXIT(
        {
            Kiln::armFaultWatchdog(1);
            for (;;)
                pause();
        },
        testing::KilledBySignal(SIGALRM), "");
    // Disarmed in time, it leaves the process alone.
    EXPECT_EXIT(
        {
            Kiln::armFaultWatchdog(1);
            Kiln::disarmFaultWatchdog();
            sleep(2);
            Kiln::endAfterFault(3);
        },
        testing::ExitedWithCode(3), "");
}

TEST(CrashGuardDeathTest, EndingAfterAFaultRunsNoTeardown) {
    // A destructor that would hang (as one waiting for a lock the fault
    // left held does) is never reached.
    struct HangsOnTeardown {
        ~HangsOnTeardown() {
            for (;;)
                pause();
        }
    };
    EXPECT_EXIT(
        {
            static HangsOnTeardown global;
            HangsOnTeardown local;
            (void)local;
            Kiln::endAfterFault(-1);
        },
        testing::ExitedWithCode(255), "");
}
