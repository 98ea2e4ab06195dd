#include "driver/options.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const char* const kUsage =
    "Usage: cablewright [--cable <cable>] [--force] [--dry-run] <filename.pof>\n";

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
        {{"new.pof", "--serial"}, kUsage},      // a value option standing last is positional
        {{"--cable"}, only_pof},
        {{"new.POF"}, only_pof},
        {{"pof"}, only_pof},
        {{"x.pof "}, only_pof},
        {{"-x", "a.pof"}, only_pof},  // unknown dash words are positionals
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front());
        Parsed p = parse(c.args);
        EXPECT_FALSE(p.ok);
        EXPECT_EQ(p.err, c.err);
    }
}

}  // namespace
