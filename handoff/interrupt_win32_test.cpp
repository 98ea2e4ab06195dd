// A console Ctrl-C once the guard is armed is recorded, and the process carries on.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "handoff/interrupt.h"

namespace {

// The handler runs on a thread the system starts for the event, so the flag is waited for.
bool interrupt_arrives() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!interrupt_requested() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return interrupt_requested();
}

TEST(InterruptGuardWin32, ArmedCtrlCIsOnlyRecorded) {
    // A console of our own, since the event goes to every process attached to it.
    FreeConsole();
    ASSERT_TRUE(AllocConsole()) << "error " << GetLastError();
    for (int round = 1; round <= 2; ++round) {
        arm_interrupt_guard();
        ASSERT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) << "error " << GetLastError();
        EXPECT_TRUE(interrupt_arrives()) << "round " << round;
    }
    finish_interrupt_guard();
    FreeConsole();
}

}  // namespace
