#include "driver/help.h"

#include <cstdio>

// Kept within 80 columns: it is read in a terminal, often a narrow one.
const char* help_text() {
    return "Usage: cablewright [--cable <cable>] [--serial <serial>] [--force] [--dry-run]\n"
           "                   [--debug] [--json] [--log <history>] [<file.pof>]\n"
           "       cablewright --list [--cable <cable>] [--json]\n"
           "       cablewright --leave-select-mode [--cable <cable>] [--debug]\n"
           "       cablewright --help | --version\n"
           "\n"
           "Shows the ROM of a USB JTAG download cable, or updates the cable's ZAN logic\n"
           "from a POF file while keeping the cable's identity. Without --cable it uses the\n"
           "one suitable cable attached.\n"
           "\n"
           "Options:\n"
           "  -c, --cable <cable>    use the cable of this name (also --cable=<cable>)\n"
           "  -S, --serial <serial>  serial number for a blank cable, in the file's format\n"
           "                         ('#' stands for a digit; also --serial=<serial>)\n"
           "  -f, --force            program even when the file is not newer or unsigned\n"
           "  -n, --dry-run          stop after showing the merged image; change nothing\n"
           "  -d, --debug            also dump the cable's image when fix-ups changed it\n"
           "  -l, --list             list the attached cables and what their ROMs hold\n"
           "      --json             print one JSON document instead of dumps and lines\n"
           "                         (when showing a cable, or with --list)\n"
           "      --log <history>    append the run's start and end records, JSON Lines,\n"
           "                         to this file (also --log=<history>)\n"
           "      --leave-select-mode\n"
           "                         switch a cable that a stopped run left in select\n"
           "                         mode back to normal mode, then show its ROM\n"
           "  -h, --help             print this help and exit\n"
           "  -V, --version          print the version and exit\n"
           "\n"
           "Exit status: 0 done, 8 refused or failed, 12 no cable chosen or the named\n"
           "cable not found, 16 misuse of the command line.\n"
           "\n"
           "Examples:\n"
           "  cablewright --list                    list the attached cables\n"
           "  cablewright -c \"USB-1 [1-1]\" new.pof  update that cable from new.pof\n"
           "\n"
           "Dumps go to standard output, messages to standard error.\n"
           "See the manual page cablewright(1) for more: 'man cablewright'.\n";
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
