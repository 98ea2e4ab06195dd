#include "driver/options.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <vector>

#include "driver/help.h"

namespace {

namespace fs = std::filesystem;

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

// The options a line sets, written out field by field: what a row of the tables below expects.
// Absent values and false flags are left out, so that a new option changes no existing row.
std::string described(const Options& o) {
    std::string text;
    auto value = [&](const char* name, const std::optional<std::string>& v) {
        text += v ? std::string(" ") + name + "=" + *v : "";
    };
    auto flag = [&](const char* name, bool set) { text += set ? std::string(" ") + name : ""; };
    value("cable", o.cable);
    value("file", o.file);
    value("serial", o.serial);
    value("log", o.log);
    value("jobs", o.jobs);
    value("batch", o.batch);
    value("serials", o.serials);
    value("history", o.history);
    flag("debug", o.debug);
    flag("force", o.force);
    flag("dry-run", o.dry_run);
    flag("help", o.help);
    flag("version", o.version);
    flag("list", o.list);
    flag("json", o.json);
    flag("leave-select-mode", o.leave_select_mode);
    flag("all", o.all);
    return text.empty() ? text : text.substr(1);
}

TEST(CommandLine, GoodWalks) {
    struct Case {
        std::vector<const char*> args;
        const char* options;
    };
    const Case cases[] = {
        {{}, ""},
        {{"-c", "USB-1", "-S", "A-0042", "new.pof"}, "cable=USB-1 file=new.pof serial=A-0042"},
        {{"new.pof", "-S", "A-0042", "-c", "USB-1"}, "cable=USB-1 file=new.pof serial=A-0042"},
        {{"-c", "-f", "new.pof"}, "cable=-f file=new.pof"},
        {{"--CABLE", "x", "--cable", "y", "a.pof"}, "cable=y file=a.pof"},
        {{"--FORCE", "-D", "-N", ".pof"}, "file=.pof debug force dry-run"},
        {{"-s", "12", "--Dry-Run", "x.pof"}, "file=x.pof serial=12 dry-run"},
        {{"-c", "My Cable [USB-1]"}, "cable=My Cable [USB-1]"},
        {{"--debug", "--force", "a.pof"}, "file=a.pof debug force"},
        {{"--debug"}, "debug"},
        // Help and version win over everything, before any misuse answer and the file-name test,
        // wherever they stand.
        {{"--help"}, "help"},
        {{"-H"}, "help"},
        {{"--version"}, "version"},
        {{"-v"}, "version"},
        {{"--version", "-h"}, "help version"},
        {{"a.txt", "b.txt", "--forse", "--HELP"}, "help"},
        {{"--cable", "-V"}, "cable=-V"},
        // A value option's value is no word of its own.
        {{"-c", "--help", "a.pof"}, "cable=--help file=a.pof"},
        {{"-S", "-V", "-c", "-h", "a.pof"}, "cable=-h file=a.pof serial=-V"},
        {{"--cable=USB-1 [1-1]", "--SERIAL=A=1", "a.pof"},
         "cable=USB-1 [1-1] file=a.pof serial=A=1"},
        // Empty names stay valid: an empty serial format needs an empty serial.
        {{"--cable=", "--serial=", "a.pof"}, "cable= file=a.pof serial="},
        {{"--list"}, "list"},
        {{"-l", "--JSON", "-c", "USB-1", "-d"}, "cable=USB-1 debug list json"},
        {{"--json", "-d", "-c", "A"}, "cable=A debug json"},
        {{"-x.pof"}, "file=-x.pof"},
        // Leaving select mode takes a cable and --debug only.
        {{"--leave-select-mode"}, "leave-select-mode"},
        {{"--Leave-Select-Mode", "-c", "USB-1 [1-1]", "-d"},
         "cable=USB-1 [1-1] debug leave-select-mode"},
        // --log takes the next word whatever it looks like, in any letter case, or its "=" value.
        {{"--log", "h.jsonl", "a.pof"}, "file=a.pof log=h.jsonl"},
        {{"--LOG", "--help"}, "log=--help"},
        {{"--Log=h", "-n", "a.pof"}, "file=a.pof log=h dry-run"},
        {{"--log", "pof", "a.pof"}, "file=a.pof log=pof"},
        {{"--log=a=b", "--log", "later"}, "log=later"},
        {{"--log", "h.jsonl", "-h"}, "help"},
        {{"a.pof"}, "file=a.pof"},
        // A station takes what shapes each cable's update, and a JSON document of its own.
        {{"-A", "-f", "-n", "-d", "--json", "--log", "h", "a.pof"},
         "file=a.pof log=h debug force dry-run json all"},
        {{"--all", "--jobs", "0001024", "a.pof"}, "file=a.pof jobs=0001024 all"},
        {{"a.pof", "--JOBS=1", "-a"}, "file=a.pof jobs=1 all"},
        {{"--batch", "0123abcd", "-c", "A", "a.pof"}, "cable=A file=a.pof batch=0123abcd"},
        {{"--batch=x", "--list"}, "batch=x list"},
        {{"-a", "--serials", "A-0100..A-0199", "--log=h", "a.pof"},
         "file=a.pof log=h serials=A-0100..A-0199 all"},
        {{"--serials=B-9..A-1", "--log", "h", "a.pof"}, "file=a.pof log=h serials=B-9..A-1"},
        // A report's --serial is a filter, not a serial to give.
        {{"--history", "h", "-S", "A-1", "-c", "U", "--json"}, "cable=U serial=A-1 history=h json"},
    };
    for (const Case& c : cases) {
        std::string trace;
        for (const char* a : c.args) {
            trace += std::string(a) + " ";
        }
        SCOPED_TRACE(trace);
        Parsed p = parse(c.args);
        ASSERT_TRUE(p.ok) << p.err;
        EXPECT_EQ(p.err, "");
        EXPECT_EQ(described(p.options), c.options);
    }
}

TEST(CommandLine, Misuse) {
    const std::string only_pof = std::string("Only .pof files are supported\n") + kUsage;
    const std::string one_file =
        std::string("Only one file can be programmed at a time\n") + kUsage;
    const std::string log_pof = std::string("Option --log cannot name a POF file\n") + kUsage;
    auto all_with = [](const char* option) {
        return std::string("Option --all cannot be used with ") + option + "\n" + kUsage;
    };
    const std::string jobs_range =
        std::string("Option --jobs needs a whole number from 1 to 1024\n") + kUsage;
    auto needs_file = [](const char* option) {
        return std::string("Option ") + option + " needs a file to program\n" + kUsage;
    };
    struct Case {
        std::vector<const char*> args;
        std::string err;
    };
    const Case cases[] = {
        // The first name's test, a value missing at the end, more than one file: in that order.
        {{"a.pof", "b.pof"}, one_file},
        {{"a.txt", "b.pof"}, "Only .pof files are supported\n" + one_file},
        {{"a.pof", "b.txt", "c.pof"}, one_file},  // later names are not tested
        {{"a.txt", "-c"},
         std::string("Only .pof files are supported\nOption -c needs a value\n") + kUsage},
        {{"a.txt", "b.pof", "-S"},
         "Only .pof files are supported\nOption -S needs a value\n" + one_file},
        {{"a.pof", "b.pof", "--forse"}, std::string("Unknown option --forse\n") + kUsage},
        {{"a.txt", "--forse"}, std::string("Unknown option --forse\n") + kUsage},
        {{"new.POF"}, only_pof},
        {{"pof"}, only_pof},
        {{"x.pof "}, only_pof},
        {{"-"}, only_pof},  // a lone dash is a file name
        {{"new.pof", "--serial"}, std::string("Option --serial needs a value\n") + kUsage},
        {{"--cable"}, std::string("Option --cable needs a value\n") + kUsage},
        {{"a.txt", "-C"},
         std::string("Only .pof files are supported\nOption -C needs a value\n") + kUsage},
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
        // Of two modes, the listing is checked first, then leaving select mode.
        {{"a.pof", "--leave-select-mode", "-l"},
         std::string("Option --list cannot be used with --leave-select-mode\n") + kUsage},
        {{"--json", "a.pof", "--leave-select-mode"},
         std::string("Option --leave-select-mode cannot be used with a file\n") + kUsage},
        {{"--leave-select"}, std::string("Unknown option --leave-select\n") + kUsage},
        {{"--list", "--log", "h.jsonl"},
         std::string("Option --list cannot be used with --log\n") + kUsage},
        {{"-l", "--LOG=h.jsonl"},
         std::string("Option --list cannot be used with --log\n") + kUsage},
        {{"a.pof", "--log"}, std::string("Option --log needs a value\n") + kUsage},
        {{"--log=", "a.pof"}, std::string("Option --log needs a value\n") + kUsage},
        {{"--log", "", "-c", "A"}, std::string("Option --log needs a value\n") + kUsage},
        {{"--log", "zan.pof", "a.pof"}, log_pof},
        {{"-c", "A", "--LOG=Zan.Pof"}, log_pof},
        {{"--list", "--log="}, std::string("Option --list cannot be used with --log\n") + kUsage},
        // What only shapes an update needs a file; the first such option is named in long form.
        {{"-c", "BL", "-S", "A-0042"}, needs_file("--serial")},
        {{"-n", "-f", "--serial=A"}, needs_file("--dry-run")},
        {{"--json", "-F"}, needs_file("--force")},
        {{"--log", "h.jsonl", "--serial="}, needs_file("--serial")},
        // A station: every cable, one file; the first misuse on the line is the one named.
        {{"--all"}, needs_file("--all")},
        {{"-f", "-a"}, needs_file("--force")},
        {{"--all", "-c", "A", "a.pof"}, all_with("--cable")},
        {{"-S", "A-1", "-a", "a.pof"}, all_with("--serial")},
        {{"--list", "--all"}, all_with("--list")},
        {{"a.pof", "--leave-select-mode", "-a"}, all_with("--leave-select-mode")},
        {{"-a", "--batch", "x", "a.pof"}, all_with("--batch")},
        // Several station misuses: the first on the line is named.
        {{"-a", "--serial", "A-1", "--cable", "B", "a.pof"}, all_with("--serial")},
        {{"--jobs", "0", "-c", "B", "-a", "a.pof"}, jobs_range},
        {{"-a", "-c", "B", "--jobs", "0", "a.pof"}, all_with("--cable")},
        {{"--jobs", "2", "a.pof"},
         std::string("Option --jobs cannot be used without --all\n") + kUsage},
        {{"-a", "--jobs", "0", "a.pof"}, jobs_range},
        {{"-a", "--jobs=1025", "a.pof"}, jobs_range},
        {{"-a", "--jobs", "+4", "a.pof"}, jobs_range},
        {{"-a", "--jobs=", "a.pof"}, jobs_range},
        {{"-a", "--jobs", "99999999999999999999", "a.pof"}, jobs_range},
        {{"-a", "a.pof", "--jobs"}, std::string("Option --jobs needs a value\n") + kUsage},
        {{"-a", "--history", "h", "a.pof"}, all_with("--history")},
        // Serials from a range, taken through the history.
        {{"--serials", "A-0100", "--log", "h", "a.pof"},
         std::string("Option --serials needs FIRST..LAST\n") + kUsage},
        {{"--serials=A..B..C", "--log", "h", "a.pof"},
         std::string("Option --serials needs FIRST..LAST\n") + kUsage},
        {{"--serials", "A-0199..A-0100", "--log", "h", "a.pof"},
         std::string("Serial range A-0199..A-0100 is empty\n") + kUsage},
        {{"--serials", "A-0100..A-0199", "a.pof"},
         std::string("Option --serials needs --log\n") + kUsage},
        {{"--serials", "A-1..A-2", "-S", "A-1", "--log", "h", "a.pof"},
         std::string("Option --serials cannot be used with --serial\n") + kUsage},
        {{"--serials", "A-1..A-2", "--log", "h"}, needs_file("--serials")},
        // A report reads a history and nothing else.
        {{"--history", "h", "a.pof"},
         std::string("Option --history cannot be used with a file\n") + kUsage},
        {{"--history", "h", "-f"},
         std::string("Option --history cannot be used with --force\n") + kUsage},
        {{"--list", "--history", "h"},
         std::string("Option --history cannot be used with --list\n") + kUsage},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front());
        Parsed p = parse(c.args);
        EXPECT_FALSE(p.ok);
        EXPECT_EQ(p.err, c.err);
    }
}

// A history appended to the file to program would spoil it, whatever the history is called.
TEST(CommandLine, LogNamingTheFileToProgram) {
    const fs::path folder =
        fs::temp_directory_path() / ("cw_options_" + std::to_string(std::rand()));
    fs::create_directories(folder);
    const std::string pof = (folder / "new.pof").string();
    const std::string link = (folder / "history").string();
    std::FILE* f = std::fopen(pof.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    fs::create_hard_link(pof, link);
    Parsed same = parse({"--log", link.c_str(), pof.c_str()});
    EXPECT_FALSE(same.ok);
    EXPECT_EQ(same.err, std::string("Option --log cannot name a POF file\n") + kUsage);
    const std::string other = (folder / "other").string();
    EXPECT_TRUE(parse({"--log", other.c_str(), pof.c_str()}).ok);
    fs::remove_all(folder);
}

// Read in terminals, often narrow ones; the option rows are made from the option table.
TEST(HelpScreen, FitsEightyColumns) {
    std::istringstream lines(help_text());
    for (std::string line; std::getline(lines, line);) {
        EXPECT_LE(line.size(), 80u) << line;
    }
}

}  // namespace
