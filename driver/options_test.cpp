#include "driver/options.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const char* const kUsage =
    "Usage: cablewright [--cable <cable>] [--force] [--dry-run] <filename.pof>\n"
    "Try 'cablewright --help' for more information.\n";

struct Parsed {
    bool ok;
    Options options;
    std::string err;
};

Parsed parse(std::vector<const char*> args) {
    args.insert(args.begin(), "cablewright");
    Parsed parsed;
    testing::internal::CaptureStderr();
    parsed.ok = parse_command_line(static_cast<int>(args.size()), args.data(), parsed.options);
    parsed.err = testing::internal::GetCapturedStderr();
    return parsed;
}

TEST(CommandLine, GoodWalks) {
    struct Case {
        std::vector<const char*> args;
        std::optional<std::string> cable, file, serial;
        bool debug, force, dry_run;
    };
    using S = std::optional<std::string>;
    const S none;
    const Case cases[] = {
        {{}, none, none, none, false, false, false},
        {{"-c", "USB-1", "-S", "A-0042", "new.pof"},
         S("USB-1"),
         S("new.pof"),
         S("A-0042"),
         false,
         false,
         false},
        {{"new.pof", "-S", "A-0042", "-c", "USB-1"},
         S("USB-1"),
         S("new.pof"),
         S("A-0042"),
         false,
         false,
         false},
        {{"-c", "-f", "new.pof"}, S("-f"), S("new.pof"), none, false, false, false},
        {{"--CABLE", "x", "--cable", "y", "a.pof"}, S("y"), S("a.pof"), none, false, false, false},
        {{"--FORCE", "-D", "-N", ".pof"}, none, S(".pof"), none, true, true, true},
        {{"-s", "12", "--Dry-Run", "x.pof"}, none, S("x.pof"), S("12"), false, false, true},
        {{"-c", "My Cable [USB-1]"}, S("My Cable [USB-1]"), none, none, false, false, false},
        {{"--debug", "--force"}, none, none, none, true, true, false},
    };
    for (const Case& c : cases) {
        std::string trace;
        for (const char* a : c.args) {
            trace += std::string(a) + " ";
        }
        SCOPED_TRACE(trace);
        Parsed p = parse(c.args);
        ASSERT_TRUE(p.ok);
        EXPECT_EQ(p.err, "");
        EXPECT_EQ(p.options.cable, c.cable);
        EXPECT_EQ(p.options.file, c.file);
        EXPECT_EQ(p.options.serial, c.serial);
        EXPECT_EQ(p.options.debug, c.debug);
        EXPECT_EQ(p.options.force, c.force);
        EXPECT_EQ(p.options.dry_run, c.dry_run);
    }
}

TEST(CommandLine, Misuse) {
    const std::string only_pof = std::string("Only .pof files are supported\n") + kUsage;
    struct Case {
        std::vector<const char*> args;
        std::string err;
    };
    const Case cases[] = {
        {{"a.pof", "b.pof"}, kUsage},
        {{"a.txt", "b.pof"}, only_pof},         // the first name is tested before misuse
        {{"a.pof", "b.txt", "c.pof"}, kUsage},  // the walk ends at the second positional
        {{"new.POF"}, only_pof},
        {{"pof"}, only_pof},
        {{"x.pof "}, only_pof},
        {{"-"}, only_pof},  // a lone dash is a file name
        {{"new.pof", "--serial"}, std::string("Option --serial needs a value\n") + kUsage},
        {{"--cable"}, std::string("Option --cable needs a value\n") + kUsage},
        {{"a.txt", "-C"}, std::string("Option -C needs a value\n") + kUsage},
        {{"-x", "a.pof"}, std::string("Unknown option -x\n") + kUsage},
        {{"--forse", "new.pof"}, std::string("Unknown option --forse\n") + kUsage},
        // The unknown word ends the walk; the bad file name before it goes unmentioned.
        {{"a.txt", "--cable=", "--x", "b.pof"}, std::string("Unknown option --x\n") + kUsage},
        {{"-c=USB-1"}, std::string("Unknown option -c=USB-1\n") + kUsage},
        {{"--help=x"}, std::string("Unknown option --help=x\n") + kUsage},
        {{"--list", "a.pof"}, std::string("Option --list cannot be used with a file\n") + kUsage},
        {{"-l", "-S", "A-1"}, std::string("Option --list cannot be used with --serial\n") + kUsage},
        {{"-f", "-L"}, std::string("Option --list cannot be used with --force\n") + kUsage},
        {{"--list", "-n"}, std::string("Option --list cannot be used with --dry-run\n") + kUsage},
        {{"--json", "a.pof"}, std::string("Option --json cannot be used with a file\n") + kUsage},
        {{"--list", "a.txt"}, only_pof},
        {{"--leave-select-mode", "a.pof"},
         std::string("Option --leave-select-mode cannot be used with a file\n") + kUsage},
        {{"-S", "A-1", "--leave-select-mode"},
         std::string("Option --leave-select-mode cannot be used with --serial\n") + kUsage},
        {{"--LEAVE-SELECT-MODE", "-f"},
         std::string("Option --leave-select-mode cannot be used with --force\n") + kUsage},
        {{"--leave-select-mode", "--dry-run"},
         std::string("Option --leave-select-mode cannot be used with --dry-run\n") + kUsage},
        {{"--leave-select-mode", "--json"},
         std::string("Option --leave-select-mode cannot be used with --json\n") + kUsage},
        {{"-l", "--leave-select-mode"},
         std::string("Option --list cannot be used with --leave-select-mode\n") + kUsage},
        {{"--leave-select"}, std::string("Unknown option --leave-select\n") + kUsage},
        {{"--list", "--log", "h.jsonl"},
         std::string("Option --list cannot be used with --log\n") + kUsage},
        {{"-l", "--LOG=h.jsonl"},
         std::string("Option --list cannot be used with --log\n") + kUsage},
        {{"a.pof", "--log"}, std::string("Option --log needs a value\n") + kUsage},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front());
        Parsed p = parse(c.args);
        EXPECT_FALSE(p.ok);
        EXPECT_EQ(p.err, c.err);
    }
}

// Every new word beside the old ones: help and version win over everything, the "=" forms and
// the listing words fill their fields.
TEST(CommandLine, FrontDoorWords) {
    struct Case {
        std::vector<const char*> args;
        bool help, version, list, json;
        std::optional<std::string> cable, serial, file;
    };
    using S = std::optional<std::string>;
    const S none;
    const Case cases[] = {
        {{"--help"}, true, false, false, false, none, none, none},
        {{"-H"}, true, false, false, false, none, none, none},
        {{"--version"}, false, true, false, false, none, none, none},
        {{"-v"}, false, true, false, false, none, none, none},
        {{"--version", "-h"}, true, true, false, false, none, none, none},
        // Before any misuse answer and the file-name test, wherever they stand.
        {{"a.txt", "b.txt", "--forse", "--HELP"}, true, false, false, false, none, none, none},
        {{"--cable", "-V"}, false, false, false, false, S("-V"), none, none},
        // A value option's value is no word of its own.
        {{"-c", "--help", "a.pof"}, false, false, false, false, S("--help"), none, S("a.pof")},
        {{"-S", "-V", "-c", "-h"}, false, false, false, false, S("-h"), S("-V"), none},
        {{"--cable=USB-1 [1-1]", "--SERIAL=A=1", "a.pof"},
         false,
         false,
         false,
         false,
         S("USB-1 [1-1]"),
         S("A=1"),
         S("a.pof")},
        {{"--cable=", "--serial="}, false, false, false, false, S(""), S(""), none},
        {{"--list"}, false, false, true, false, none, none, none},
        {{"-l", "--JSON", "-c", "USB-1", "-d"}, false, false, true, true, S("USB-1"), none, none},
        {{"--json", "-f", "-n", "-S", "A"}, false, false, false, true, none, S("A"), none},
        {{"-x.pof"}, false, false, false, false, none, none, S("-x.pof")},
    };
    for (const Case& c : cases) {
        std::string trace;
        for (const char* a : c.args) {
            trace += std::string(a) + " ";
        }
        SCOPED_TRACE(trace);
        Parsed p = parse(c.args);
        ASSERT_TRUE(p.ok);
        EXPECT_EQ(p.err, "");
        EXPECT_EQ(p.options.help, c.help);
        EXPECT_EQ(p.options.version, c.version);
        EXPECT_EQ(p.options.list, c.list);
        EXPECT_EQ(p.options.json, c.json);
        EXPECT_EQ(p.options.cable, c.cable);
        EXPECT_EQ(p.options.serial, c.serial);
        EXPECT_EQ(p.options.file, c.file);
    }
}

TEST(CommandLine, LeaveSelectModeTakesACableAndDebugOnly) {
    for (std::vector<const char*> args : {std::vector<const char*>{"--leave-select-mode"},
                                          {"--Leave-Select-Mode", "-c", "USB-1 [1-1]", "-d"}}) {
        Parsed p = parse(args);
        ASSERT_TRUE(p.ok) << p.err;
        EXPECT_TRUE(p.options.leave_select_mode);
        EXPECT_FALSE(p.options.file);
    }
}

// --log takes the next word whatever it looks like, in any letter case, or its "=" value; help
// and version win over it.
TEST(CommandLine, LogFile) {
    struct Case {
        std::vector<const char*> args;
        std::optional<std::string> log;
        bool help;
    };
    using S = std::optional<std::string>;
    const Case cases[] = {
        {{"--log", "h.jsonl", "a.pof"}, S("h.jsonl"), false},
        {{"--LOG", "--help"}, S("--help"), false},
        {{"--Log=", "-n", "a.pof"}, S(""), false},
        {{"--log=a=b", "--log", "later"}, S("later"), false},
        {{"--log", "h.jsonl", "-h"}, std::nullopt, true},
        {{"a.pof"}, std::nullopt, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front());
        Parsed p = parse(c.args);
        ASSERT_TRUE(p.ok) << p.err;
        EXPECT_EQ(p.options.log, c.log);
        EXPECT_EQ(p.options.help, c.help);
    }
}

}  // namespace
