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

// One message for each way the programmer's process can end. A programmer that held the
// terminal and was ended by SIGINT or SIGQUIT took the user's interrupt, which the run then
// honours.
TEST(ReportProgrammerEnd, NamesHowTheProgrammerEnded) {
    struct Case {
        ProcessOutcome outcome;
        int exit_status;
        bool held_terminal;
        bool ok;
        std::string message;
        bool interrupted;
        int end_signal = 0;
    };
    const std::string ack = "Stopping safely: the cable is returned to normal mode first\n";
    const Case cases[] = {
        {ProcessOutcome::kFinished, 0, true, true, "", false},
        {ProcessOutcome::kFinished, 2, false, false, "The programmer failed with exit status 2\n",
         false},
        {ProcessOutcome::kFinished, 130, false, false,
         "The programmer failed with exit status 130\n", false},
        {ProcessOutcome::kFinished, 143, true, false,
         "The programmer failed with exit status 143\n", false},
        {ProcessOutcome::kFinished, 130, true, false,
         "The programmer failed with exit status 130\n" + ack, true, 2},
        {ProcessOutcome::kFinished, 131, true, false,
         "The programmer failed with exit status 131\n" + ack, true, 3},
        // Its own exit status that happens to look like a signal's.
        {ProcessOutcome::kFinished, 130, true, false,
         "The programmer failed with exit status 130\n", false},
        {ProcessOutcome::kFinished, 131, true, false,
         "The programmer failed with exit status 131\n", false},
        {ProcessOutcome::kNotStarted, 0, false, false, "Unable to start the programmer\n", false},
        {ProcessOutcome::kTimedOut, 0, false, false,
         "The programmer did not finish within 60 seconds and was stopped\n", false},
        {ProcessOutcome::kUnstoppable, 0, false, false, "The programmer could not be stopped\n",
         false},
        {ProcessOutcome::kWaitFailed, 0, false, false,
         "Unable to collect the programmer's exit status\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        arm_interrupt_guard();
        ProcessResult result;
        result.outcome = c.outcome;
        result.exit_status = c.exit_status;
        result.held_terminal = c.held_terminal;
        result.end_signal = c.end_signal;
        testing::internal::CaptureStderr();
        EXPECT_EQ(report_programmer_end(result), c.ok);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
        EXPECT_EQ(interrupt_requested(), c.interrupted);
        finish_interrupt_guard();
    }
}

}  // namespace
