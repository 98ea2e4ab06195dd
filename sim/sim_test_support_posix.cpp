#include "sim/sim_test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

namespace {

std::string read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "cw-sim-XXXXXX").string();
    // Never the pattern itself on failure: that one name would be shared by every suite.
    char* made = ::mkdtemp(pattern.data());
    EXPECT_NE(made, nullptr) << pattern << ": " << std::strerror(errno);
    path_ = made != nullptr ? pattern : "";
}

TempDir::~TempDir() {
    if (!path_.empty()) {
        std::error_code error;
        std::filesystem::remove_all(path_, error);
    }
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    had_value_ = old != nullptr;
    old_value_ = had_value_ ? old : "";
    if (value != nullptr) {
        ::setenv(name, value, 1);
    } else {
        ::unsetenv(name);
    }
}

ScopedEnv::~ScopedEnv() {
    if (had_value_) {
        ::setenv(name_.c_str(), old_value_.c_str(), 1);
    } else {
        ::unsetenv(name_.c_str());
    }
}

ChildGuard::~ChildGuard() {
    kill_now();
}

void ChildGuard::kill_now() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
    }
}

bool readable_within(int fd, int timeout_ms) {
    pollfd watched{fd, POLLIN, 0};
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        int ready = ::poll(&watched, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
        if (ready >= 0 || errno != EINTR) {
            return ready > 0;
        }
    }
}

ProcessResult run_process(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                          const std::string& cwd, int timeout_ms) {
    TempDir capture;
    std::string out_path = capture.path() + "/out";
    std::string err_path = capture.path() + "/err";
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int in = ::open("/dev/null", O_RDONLY);
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::dup2(in, 0);
        for (const std::string& entry : env) {
            ::putenv(const_cast<char*>(entry.c_str()));
        }
        if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) {
            ::_exit(126);
        }
        std::vector<char*> args;
        for (const std::string& arg : argv) {
            args.push_back(const_cast<char*>(arg.c_str()));
        }
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ProcessResult result;
    if (pid < 0) {
        ADD_FAILURE() << "fork failed: " << std::strerror(errno);
        return result;
    }
    // Only an interrupted wait is retried: any other failure would repeat for ever.
    int status = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (bool killed = false;;) {
        pid_t got = ::waitpid(pid, &status, killed ? 0 : WNOHANG);
        if (got == pid) {
            break;
        }
        if (got < 0 && errno != EINTR) {
            ADD_FAILURE() << "waitpid failed: " << std::strerror(errno);
            ::kill(pid, SIGKILL);
            return result;
        }
        if (got == 0 && std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            killed = true;
        } else if (got == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    result.exited = WIFEXITED(status);
    result.status = result.exited ? WEXITSTATUS(status) : -1;
    result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    result.out = read_all(out_path);
    result.err = read_all(err_path);
    return result;
}

std::string sim_program(const char* name) {
    return std::string(CW_SIM_BIN_DIR) + "/" + name;
}

TestBench::TestBench() {
    ::setenv("LINKHUB_BENCH", dir.path().c_str(), 1);
    EXPECT_TRUE(create_bench(dir.path()));
}

int TestBench::add(const std::string& name, const RomImage* rom) {
    CableRecord record;
    record.name = name;
    record.rom_written = rom != nullptr;
    if (rom != nullptr) {
        record.rom = *rom;
    }
    int id = -1;
    EXPECT_TRUE(add_cable(path(), record, &id));
    return id;
}

CableRecord TestBench::load(int id) const {
    CableRecord record;
    EXPECT_EQ(load_cable(path(), id, record), LoadResult::kLoaded);
    return record;
}

void TestBench::set(void (*change)(BenchSettings&)) const {
    BenchSettings settings;
    ASSERT_TRUE(load_settings(path(), settings));
    change(settings);
    ASSERT_TRUE(save_settings(path(), settings));
}
