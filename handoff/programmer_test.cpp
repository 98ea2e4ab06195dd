#include "handoff/programmer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "handoff/interrupt.h"

namespace {

TEST(ProgrammerCommandLine, MatchesTheProgrammersSyntax) {
    const ProcessCommand usual = programmer_command("USB-1 [1-1]", "cablewright.tmp.pof");
    EXPECT_EQ(usual.argv, (std::vector<std::string>{"vantor_pgm", "-c", "USB-1 [1-1]", "-m", "jtag",
                                                    "-o", "p;cablewright.tmp.pof"}));
    EXPECT_EQ(usual.line, "vantor_pgm -c \"USB-1 [1-1]\" -m jtag -o \"p;cablewright.tmp.pof\"");

    const std::string cable = "odd \"name\" \\";
    EXPECT_EQ(programmer_command(cable, "x.pof").line,
              R"(vantor_pgm -c "odd \"name\" \\" -m jtag -o "p;x.pof")");
    const std::string path(10000, 'p');
    std::vector<std::string> expected = {"vantor_pgm", "-c", cable,      "-m",
                                         "jtag",       "-o", "p;" + path};
    EXPECT_EQ(programmer_command(cable, path).argv, expected);
}

// One message for each way the programmer's process can end. An exit status that looks like a
// Ctrl-C's is the programmer's own failure: the user's keys reach the run itself.
TEST(ReportProgrammerEnd, NamesHowTheProgrammerEnded) {
    struct Case {
        ProcessOutcome outcome;
        int exit_status;
        bool ok;
        std::string message;
    };
    const Case cases[] = {
        {ProcessOutcome::kFinished, 0, true, ""},
        {ProcessOutcome::kFinished, 2, false, "The programmer failed with exit status 2\n"},
        {ProcessOutcome::kFinished, 130, false, "The programmer failed with exit status 130\n"},
        {ProcessOutcome::kFinished, 131, false, "The programmer failed with exit status 131\n"},
        {ProcessOutcome::kFinished, 143, false, "The programmer failed with exit status 143\n"},
        {ProcessOutcome::kNotStarted, 0, false, "Unable to start the programmer\n"},
        {ProcessOutcome::kTimedOut, 0, false,
         "The programmer did not finish within 60 seconds and was stopped\n"},
        {ProcessOutcome::kUnstoppable, 0, false, "The programmer could not be stopped\n"},
        {ProcessOutcome::kWaitFailed, 0, false, "Unable to collect the programmer's exit status\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        arm_interrupt_guard();
        ProcessResult result;
        result.outcome = c.outcome;
        result.exit_status = c.exit_status;
        testing::internal::CaptureStderr();
        EXPECT_EQ(report_programmer_end(result), c.ok);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
        EXPECT_FALSE(interrupt_requested());
        finish_interrupt_guard();
    }
}

}  // namespace
