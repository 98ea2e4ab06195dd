// The countdown during the mode switches, seen through a pseudo-terminal: it shows there, it
// leaves the screen exactly as a run without it would, and it never reaches a pipe.
#include <fcntl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/bench_fixture.h"

namespace {

struct TerminalRun {
    int status = -1;
    std::string terminal;  // everything written to standard error, a terminal
};

// Runs child with standard error on a raw pseudo-terminal (no line-end translation), standard
// input and output on /dev/null.
TerminalRun run_on_terminal(const ChildSpec& child) {
    TerminalRun run;
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        ADD_FAILURE() << "no pseudo-terminal";
        return run;
    }
    std::string slave_name = ptsname(master);
    pid_t pid = fork();
    if (pid == 0) {
        setsid();
        int slave = open(slave_name.c_str(), O_RDWR);
        termios mode{};
        tcgetattr(slave, &mode);
        cfmakeraw(&mode);
        tcsetattr(slave, TCSANOW, &mode);
        int null_fd = open("/dev/null", O_RDWR);
        dup2(null_fd, STDIN_FILENO);
        dup2(null_fd, STDOUT_FILENO);
        dup2(slave, STDERR_FILENO);
        close(master);
        for (const auto& [key, value] : child.env) {
            setenv(key.c_str(), value.c_str(), 1);
        }
        if (chdir(child.folder.c_str()) != 0) {
            _exit(126);
        }
        std::vector<char*> argv{const_cast<char*>(child.program.c_str())};
        for (const std::string& arg : child.args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        execv(child.program.c_str(), argv.data());
        _exit(127);
    }
    // The read fails (EIO) once the last holder of the terminal has closed it.
    char buffer[4096];
    ssize_t got = 0;
    while ((got = read(master, buffer, sizeof buffer)) > 0) {
        run.terminal.append(buffer, static_cast<std::size_t>(got));
    }
    close(master);
    int status = 0;
    if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
        run.status = WEXITSTATUS(status);
    }
    return run;
}

// What a terminal shows after text: carriage returns, backspaces and overwriting applied,
// trailing blanks of each line dropped.
std::string screen(const std::string& text) {
    std::vector<std::string> lines(1);
    std::size_t column = 0;
    for (char c : text) {
        std::string& line = lines.back();
        if (c == '\n') {
            lines.emplace_back();
            column = 0;
        } else if (c == '\r') {
            column = 0;
        } else if (c == '\b') {
            column -= column > 0 ? 1 : 0;
        } else {
            if (column >= line.size()) {
                line.resize(column + 1, ' ');
            }
            line[column++] = c;
        }
    }
    std::string shown;
    for (std::string& line : lines) {
        line.erase(line.find_last_not_of(' ') + 1);
        shown += line + "\n";
    }
    return shown;
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

using TerminalProgress = BenchTest;

TEST_F(TerminalProgress, CountdownShowsOnATerminalOnly) {
    RomImage rom = cable_rom(3, 2, "AB-07", true);
    add_cable("USB-1 [1-1]", &rom);
    add_cable("USB-1 [1-2]", &rom);
    std::string file = write_pof("new.pof", cable_rom(4, 2, "AB-##", true));

    TerminalRun seen = run_on_terminal(cablewright_child({"-c", "USB-1 [1-1]", file}));
    ChildRun piped = cablewright({"-c", "USB-1 [1-2]", file});
    EXPECT_EQ(seen.status, 0);
    EXPECT_EQ(piped.status, 0);

    for (const char* what : {"\rWaiting for the cable to enter select mode (3 s)",
                             "\rWaiting for the cable to enter select mode (1 s)",
                             "\rWaiting for the cable to leave select mode (2 s)"}) {
        EXPECT_NE(seen.terminal.find(what), std::string::npos) << what;
    }
    EXPECT_EQ(piped.err.find("Waiting"), std::string::npos);
    EXPECT_EQ(screen(seen.terminal), screen(replaced(piped.err, "USB-1 [1-2]", "USB-1 [1-1]")));
}

}  // namespace
