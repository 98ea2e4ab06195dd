#include "driver/help.h"

#include <cstdio>
#include <string>

#include "driver/option_table.h"

namespace {

// Help text starts in this column; a shorter option column ends with two spaces at least.
constexpr std::size_t kHelpColumn = 25;

// Kept within 80 columns: it is read in a terminal, often a narrow one.
const char kBeforeOptions[] =
    "Usage: cablewright [--cable <cable>] [--serial <serial>] [--force] [--dry-run]\n"
    "                   [--debug] [--json] [--log <history>] [<file.pof>]\n"
    "       cablewright [--cable <cable>] --serials <first..last> --log <history>\n"
    "                   [--force] [--dry-run] [--debug] [--json] <file.pof>\n"
    "       cablewright --all [--force] [--dry-run] [--debug] [--json] [--jobs <n>]\n"
    "                   [--log <history> [--serials <first..last>]] <file.pof>\n"
    "       cablewright --list [--cable <cable>] [--json]\n"
    "       cablewright --leave-select-mode [--cable <cable>] [--debug]\n"
    "                   [--log <history>]\n"
    "       cablewright --history <history> [--cable <cable>] [--serial <serial>]\n"
    "                   [--json]\n"
    "       cablewright --help | --version\n"
    "\n"
    "Shows the ROM of a USB JTAG download cable, or updates the cable's ZAN logic\n"
    "from a POF file while keeping the cable's identity. Without --cable it uses the\n"
    "one suitable cable attached; with --all it updates every suitable cable at once.\n"
    "\n"
    "Options:\n";

const char kAfterOptions[] =
    "\n"
    "Exit status: 0 done, 8 refused or failed, 12 no cable chosen or the named\n"
    "cable not found, 16 misuse of the command line.\n"
    "\n"
    "Examples:\n"
    "  cablewright --list                    list the attached cables\n"
    "  cablewright -c \"USB-1 [1-1]\" new.pof  update that cable from new.pof\n"
    "  cablewright --all --serials A-0100..A-0199 --log line.jsonl new.pof\n"
    "                                        every cable; serials for blank ones\n"
    "  cablewright --history line.jsonl      which serial went onto which cable\n"
    "\n"
    "Dumps go to standard output, messages to standard error.\n"
    "See the manual page cablewright(1) for more: 'man cablewright'.\n";

// "  -c, --cable <cable>    use the cable ...": the forms, then the help text in its column, on a
// line of its own when the forms leave no room; continuation lines are indented to that column.
std::string option_lines(const OptionRow& row) {
    std::string line = row.letter != 0 ? std::string("  -") + row.letter + ", " : "      ";
    line += row.name;
    if (row.value_name != nullptr) {
        line += std::string(" ") + row.value_name;
    }
    line += line.size() + 2 <= kHelpColumn ? std::string(kHelpColumn - line.size(), ' ')
                                           : "\n" + std::string(kHelpColumn, ' ');
    for (const char* c = row.help; *c != '\0'; ++c) {
        line += *c == '\n' ? "\n" + std::string(kHelpColumn, ' ') : std::string(1, *c);
    }
    return line + "\n";
}

}  // namespace

const char* help_text() {
    static const std::string text = [] {
        std::string all = kBeforeOptions;
        for (const OptionRow& row : option_rows()) {
            all += option_lines(row);
        }
        return all + kAfterOptions;
    }();
    return text.c_str();
}

void print_help() {
    std::fputs(help_text(), stdout);
}

const char* tool_version() {
    return CW_VERSION;
}

void print_version() {
    std::printf("cablewright %s\n", tool_version());
}
