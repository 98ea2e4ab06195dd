// The programmer holds the terminal's foreground while it runs, so the user's Ctrl-C goes to it
// alone; the run then honours that interrupt as its own once the cable is back.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>

#include "tests/bench_fixture.h"

namespace {

struct TerminalRun {
    std::string screen;
    int status = -1;  // exit status; -1 when it did not exit by itself
};

// Runs child as the session leader of a new pseudo-terminal and types Ctrl-C once `when` has
// been on the screen for delay_ms.
TerminalRun run_on_terminal(const ChildSpec& child, const std::string& when, int delay_ms) {
    TerminalRun run;
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        return run;
    }
    const std::string terminal = ptsname(master);
    std::vector<std::string> words{child.program};
    words.insert(words.end(), child.args.begin(), child.args.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(&word[0]);
    }
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        setsid();
        int slave = open(terminal.c_str(), O_RDWR);  // becomes the controlling terminal
        termios modes{};
        tcgetattr(slave, &modes);
        modes.c_lflag |= ISIG;
        modes.c_cc[VINTR] = 3;
        tcsetattr(slave, TCSANOW, &modes);
        for (int fd = 0; fd <= 2; ++fd) {
            dup2(slave, fd);
        }
        close(slave);
        close(master);
        for (const auto& [key, value] : child.env) {
            setenv(key.c_str(), value.c_str(), 1);
        }
        if (chdir(child.folder.c_str()) != 0) {
            _exit(126);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    const auto start = std::chrono::steady_clock::now();
    auto seen = start;
    bool typed = false;
    bool triggered = false;
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(60)) {
        pollfd fd{master, POLLIN, 0};
        if (poll(&fd, 1, 20) > 0) {
            char buffer[4096];
            ssize_t got = read(master, buffer, sizeof buffer);
            if (got <= 0 && errno != EINTR) {
                break;  // every holder of the terminal is gone
            }
            if (got > 0) {
                run.screen.append(buffer, static_cast<std::size_t>(got));
            }
        }
        if (!triggered && run.screen.find(when) != std::string::npos) {
            triggered = true;
            seen = std::chrono::steady_clock::now();
        }
        if (triggered && !typed &&
            std::chrono::steady_clock::now() - seen >= std::chrono::milliseconds(delay_ms)) {
            typed = write(master, "\x03", 1) == 1;
        }
    }
    kill(pid, SIGKILL);  // only if still there after the deadline
    int status = 0;
    waitpid(pid, &status, 0);
    close(master);
    if (WIFEXITED(status)) {
        run.status = WEXITSTATUS(status);
    }
    return run;
}

// What the terminal shows in the end: a line rewritten after a carriage return (the countdown
// during a mode switch, erased again) keeps only its last form; lines end in "\n".
std::string shown(const std::string& screen) {
    std::string text;
    std::size_t start = 0;
    while (start < screen.size()) {
        std::size_t end = screen.find("\r\n", start);
        if (end == std::string::npos) {
            end = screen.size();
        }
        std::string line = screen.substr(start, end - start);
        std::size_t last_return = line.rfind('\r');
        text += (last_return == std::string::npos ? line : line.substr(last_return + 1)) + "\n";
        start = end + 2;
    }
    return text;
}

using Terminal = BenchTest;

TEST_F(Terminal, CtrlCTakenByTheProgrammerEndsTheRunSafely) {
    RomImage rom = cable_rom(3, 2, "101-0042", true);
    RomImage file = cable_rom(4, 2, "101-####", true);
    int id = add_cable("USB-1", &rom);
    change_settings([](BenchSettings& s) { s.programmer = {ProgrammerMode::kHang, 30}; });
    ChildSpec child = cablewright_child({"-c", "USB-1", write_pof("new.pof", file)});
    const auto start = std::chrono::steady_clock::now();
    TerminalRun r = run_on_terminal(child, "vantor_pgm -c", 500);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(r.status, 8) << r.screen;
    // The programmer got the Ctrl-C, not the run: its failure comes first, then the run's
    // acknowledgement.
    EXPECT_NE(shown(r.screen).find("The programmer failed with exit status 130\n"
                                   "Stopping safely: the cable is returned to normal mode first\n"
                                   "Interrupted\n"),
              std::string::npos)
        << r.screen;
    EXPECT_LT(std::chrono::duration_cast<std::chrono::seconds>(took).count(), 20);
    CableRecord after = cable(id);
    EXPECT_FALSE(after.select_mode);
    EXPECT_EQ(after.rom, rom);
    EXPECT_FALSE(temp_file_left());
}

}  // namespace
