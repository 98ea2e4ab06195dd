// A console Ctrl-C once the guard is armed is recorded, and the process carries on.
#include <windows.h>

#include <gtest/gtest.h>

#include "handoff/interrupt.h"
#include "testing/process_probe.h"

namespace {

TEST(InterruptGuardWin32, ArmedCtrlCIsOnlyRecorded) {
    // A console of our own, since the event goes to every process attached to it.
    FreeConsole();
    ASSERT_TRUE(AllocConsole()) << "error " << GetLastError();
    for (int round = 1; round <= 2; ++round) {
        arm_interrupt_guard();
        ASSERT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) << "error " << GetLastError();
        // The handler runs on a thread the system starts for the event, so the flag is waited for.
        EXPECT_TRUE(wait_until(interrupt_requested, 5000)) << "round " << round;
    }
    finish_interrupt_guard();
    FreeConsole();
}

}  // namespace
