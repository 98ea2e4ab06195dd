// Ordinary events that used to end an update halfway: dispositions inherited from whoever started
// the program, a file size limit, standard streams that are closed, full or read by nobody (other
// signals than Ctrl-C are among the interrupts). Each ends with the cable in normal mode, no
// temporary file left and an honest status.
#include <string>

#include "tests/bench_fixture.h"

namespace {

const char* const kCable = "USB-1";
const std::string kLostOutput = "Unable to write to standard output\n";

class Safety : public BenchTest {
  protected:
    // An update of a cable with hardware id `id` from version 3 to 4, run through /bin/sh's
    // script, in which "$0" "$@" is cablewright with its arguments.
    ChildSpec update_through_shell(const std::string& script, std::uint16_t id = 2) {
        rom_ = cable_rom(3, id, "101-0042", true);
        file_ = cable_rom(4, id, "101-####", true);
        id_ = add_cable(kCable, &rom_);
        ChildSpec child = cablewright_child({"-c", kCable, write_pof("new.pof", file_)});
        child.args.insert(child.args.begin(), {"-c", script, child.program});
        child.program = "/bin/sh";
        return child;
    }

    // The cable is in normal mode, holds `programmed ? merged : old` ROM, and no file is left.
    void expect_safe_end(bool programmed) {
        CableRecord after = cable(id_);
        EXPECT_FALSE(after.select_mode);
        EXPECT_EQ(after.rom, programmed ? merged_image(rom_, file_) : rom_);
        EXPECT_FALSE(temp_file_left());
    }

    RomImage rom_;
    RomImage file_;
    int id_ = 0;
};

// Takes the "status N\n" line a script printed last on standard error off err.
int reported_status(std::string& err) {
    const std::size_t at = err.rfind("status ");
    if (at == std::string::npos) {
        return -1;
    }
    int status = std::stoi(err.substr(at + 7));
    err.erase(at);
    return status;
}

// Dispositions and limits inherited from whoever started the program neither stop nor spoil
// the update. Standard output that nobody reads, or that cannot take more: before the temporary
// file the run stops with nothing changed; afterwards nothing stops it.
TEST_F(Safety, InheritedSettingsAndUnwritableOutputNeverLeaveTheCableHalfway) {
    struct Case {
        const char* label;
        std::string script;
        bool reported;  // the script reports the status last on standard error
        int status;
        bool programmed;
        std::string err_tail;  // after the POF line
    };
    const std::string finished = std::string(kUsb1CommandLine) + "Finished\n";
    const Case cases[] = {
        // A background job of a script: the user's Ctrl-C is not meant for it.
        {"interrupt ignored", "trap '' INT; exec \"$0\" \"$@\"", false, 0, true, finished},
        // The programmer's end must still be seen and its status read.
        {"child signal ignored", "exec env --ignore-signal=CHLD \"$0\" \"$@\"", false, 0, true,
         finished},
        {"file size limit", "ulimit -f 1; exec \"$0\" \"$@\"", false, 8, false,
         "Unable to write cablewright.tmp.pof\n"},
        {"full disk", "\"$0\" \"$@\" >/dev/full; echo \"status $?\" >&2", true, 8, false,
         kLostOutput},
        // The reader is gone before the first write, as with `| head -1` on a long dump.
        {"reader gone", "{ sleep 1; \"$0\" \"$@\"; echo \"status $?\" >&2; } | true", true, 8,
         false, kLostOutput},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TearDown();
        SetUp();
        ChildSpec child = update_through_shell(c.script);
        child.input = "\n\n";
        // Only the ignored one may arrive: it must change nothing.
        child.interrupt_when = c.label == cases[0].label ? "Merged ROM contents:" : "";
        child.interrupt_delay_ms = 1000;
        ChildRun r = run(child);
        EXPECT_EQ(c.reported ? reported_status(r.err) : r.status, c.status);
        EXPECT_EQ(r.err, update_head(kCable, rom_, file_) + c.err_tail);
        expect_safe_end(c.programmed);
    }
}

// The reader dies with the temporary file in place, like `| tee log` taking a Ctrl-C. The run
// goes on; the programmer, which writes to the same pipe, may end by its own SIGPIPE.
TEST_F(Safety, ReaderGoneInSelectModeLeavesTheCableSafe) {
    ChildSpec child = update_through_shell(
        "{ \"$0\" \"$@\"; echo \"status $?\" >&2; } | sed '/Please change/q' >/dev/null", 1);
    child.input = "\n\n";
    ChildRun r = run(child);
    const int status = reported_status(r.err);
    const bool programmed = status == 0;
    EXPECT_EQ(r.err,
              update_head(kCable, rom_, file_) + kUsb1CommandLine +
                  (programmed ? "Finished\n" : "The programmer failed with exit status 141\n"));
    EXPECT_EQ(status, programmed ? 0 : 8);
    // A programmer that died on its last words may or may not have written the ROM.
    CableRecord after = cable(id_);
    EXPECT_FALSE(after.select_mode);
    EXPECT_TRUE(after.rom == merged_image(rom_, file_) || (!programmed && after.rom == rom_));
    EXPECT_FALSE(temp_file_left());
}

TEST_F(Safety, ShowRunOnAFullDiskFails) {
    ChildRun r = run(update_through_shell("exec \"$0\" \"$1\" \"$2\" >/dev/full"));  // -c USB-1
    EXPECT_EQ(r.status, 8);
    EXPECT_EQ(r.err,
              std::string("Reprogramming cable ") + kCable + "\n" + cable_line(rom_) + kLostOutput);
}

// With standard output and error closed, no file the client library opens may take their
// descriptors and receive the run's dumps and messages.
TEST_F(Safety, ClosedStandardStreamsAreNotTakenByFiles) {
    ChildSpec child = update_through_shell("exec \"$0\" \"$@\" >&- 2>&-");
    ChildRun r = run(child);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    expect_safe_end(true);
}

}  // namespace
