// cablebench: sets up and inspects benches of simulated cables for the stand-in linkhub_client
// library and the simulated programmer.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sim/bench_commands.h"
#include "sim/tool_args.h"

namespace {

constexpr char kHelp[] =
    "Usage: cablebench COMMAND [ARGUMENTS]\n"
    "\n"
    "A bench is a directory of simulated cables that the stand-in linkhub_client library\n"
    "serves to cablewright and vantor_pgm through LINKHUB_BENCH. DIR may be left out of every\n"
    "command; LINKHUB_BENCH names the bench then.\n"
    "\n"
    "  init [DIR]                       create a bench\n"
    "  add [DIR] NAME [ROM]             add a cable; ROM is one of\n"
    "        --blank                      a ROM never written (reads \"empty\")\n"
    "        --rom HEX                    exactly these 256 bytes (512 hex digits)\n"
    "        --version N --hwid N --kind N --serial S --product P --signature|--no-signature\n"
    "                                     these fields (defaults 1, 2, 0, A-0001, USB-KestrelII,\n"
    "                                     signature present)\n"
    "        --count N                    N such cables at once, named NAME-1 to NAME-N\n"
    "  remove [DIR] NAME                remove a cable\n"
    "  fault [DIR] NAME KIND VALUE [--once] [--after N]\n"
    "        KIND find, lock, rom-read, set-parameter or name: the library call returns the\n"
    "             error code VALUE (0 removes the fault); --once: only the next such call;\n"
    "             --after N: the next N such calls still succeed\n"
    "        KIND rom-reply: the ROM query answers the text VALUE\n"
    "        KIND usable, virtual-hw: the record words at offsets 8 and 24 (defaults 1, 0)\n"
    "        KIND select: select mode 0 or 1\n"
    "        KIND rom: the ROM as 512 hex digits, or \"empty\"\n"
    "  clear [DIR] NAME                 remove a cable's faults, restore its record words\n"
    "  set [DIR] KEY VALUE              change a bench setting:\n"
    "        wait_scale_percent N         library waits last N% of their timeout (default 100)\n"
    "        server_after_attempts N      the first N hardware lists of each process time out\n"
    "        message \"LEVEL TEXT\"         add a library message, sent once per process at its\n"
    "                                     first list or find (TEXT: \\\\ and \\xHH escapes)\n"
    "        programmer MODE              how vantor_pgm behaves: normal, exit N, hang SECONDS,\n"
    "                                     segv, abort, skip-rom, wrong-byte OFFSET\n"
    "  unset [DIR] KEY                  restore a setting's default (message: drop all)\n"
    "  show [DIR]                       print the settings and every cable with its ROM dump\n"
    "  hold [DIR] NAME SECONDS          hold the cable's chain lock for SECONDS\n"
    "  make-pof FILE [--version N --hwid N --kind N --serial-format F --product P\n"
    "                 --signature|--no-signature]\n"
    "                                   write a valid POF file (defaults 2, 2, 0, A-####,\n"
    "                                   USB-KestrelII, signature present)\n"
    "\n"
    "Exit status: 0 done, 1 failed, 2 wrong usage. Messages go to standard error.\n";

struct Command {
    const char* name;
    int (*run)(const Arguments& args);
};

constexpr Command kCommands[] = {
    {"init", command_init},         {"add", command_add},     {"remove", command_remove},
    {"fault", command_fault},       {"clear", command_clear}, {"set", command_set},
    {"unset", command_unset},       {"show", command_show},   {"hold", command_hold},
    {"make-pof", command_make_pof},
};

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kHelp, stdout);
        return kToolOk;
    }
    if (argc < 2) {
        std::fputs(kHelp, stderr);
        return kToolUsage;
    }
    for (const Command& command : kCommands) {
        if (std::strcmp(argv[1], command.name) == 0) {
            return command.run(Arguments(argv + 2, argv + argc));
        }
    }
    std::fprintf(stderr, "cablebench: unknown command \"%s\" (see cablebench --help)\n", argv[1]);
    return kToolUsage;
}
