#include <signal.h>

#include "tests/bench_fixture.h"

namespace {

using HarnessPosix = BenchTest;

// A process that ignores SIGCHLD has its children reaped for it, so waitpid fails with ECHILD
// for good: the run must end with that failure instead of retrying for ever.
TEST_F(HarnessPosix, FailedWaitEndsTheRunWithAFailure) {
    struct sigaction ignore {};
    struct sigaction old {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(sigaction(SIGCHLD, &ignore, &old), 0);
    ChildRun r = run_child(cablewright_child({"a.txt"}));
    sigaction(SIGCHLD, &old, nullptr);
    EXPECT_TRUE(r.started);
    EXPECT_EQ(r.failure.rfind("waitpid failed: ", 0), 0u) << r.failure;
    EXPECT_EQ(r.err,
              "Only .pof files are supported\n"
              "Usage: cablewright [--cable <cable>] [--force] [--dry-run] <filename.pof>\n"
              "Try 'cablewright --help' for more information.\n");
}

}  // namespace
