// For tests that arm the interrupt guard or start programs (POSIX): each test leaves the process
// as it found it.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <array>

#include "handoff/interrupt.h"

// After each test: no interrupt recorded and the guard's handlers gone, the dispositions
// prepare_signals sets put back, and standard input, which the guard's handler turns into the
// null device, restored.
class KeptProcessState : public testing::Test {
  protected:
    void SetUp() override {
        input_ = dup(STDIN_FILENO);
        for (std::size_t i = 0; i < kPrepared.size(); ++i) {
            sigaction(kPrepared[i], nullptr, &dispositions_[i]);
        }
    }
    void TearDown() override {
        arm_interrupt_guard();  // which starts with no interrupt recorded
        finish_interrupt_guard();
        for (std::size_t i = 0; i < kPrepared.size(); ++i) {
            sigaction(kPrepared[i], &dispositions_[i], nullptr);
        }
        if (input_ >= 0) {
            dup2(input_, STDIN_FILENO);
            close(input_);
        }
    }

  private:
    static constexpr std::array<int, 3> kPrepared = {SIGCHLD, SIGPIPE, SIGXFSZ};
    std::array<struct sigaction, kPrepared.size()> dispositions_{};
    int input_ = -1;
};
